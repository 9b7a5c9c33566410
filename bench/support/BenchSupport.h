#pragma once

#include "app/Dialogs.h"

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// What the benchmark programs share.

// CPU time (user and system) this process has used so far.
qint64 processCpuMicroseconds();
inline double cpuSeconds()
{
    return double(processCpuMicroseconds()) / 1e6;
}

// The offscreen platform warns about window calls it cannot honour; that is
// noise in a benchmark's figures, not a finding.
void quietOffscreenWarnings();

// Answers Yes to every question and cancels every file dialog.
class YesDialogs : public Dialogs
{
public:
    bool askYesNo(const QString&) override { return true; }
    void inform(const QString&) override {}
    std::optional<QString> chooseOpenFile(const QString&) override { return std::nullopt; }
    std::optional<QString> chooseSaveFile(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
};

// The middle of the figures (the mean of the two middle ones for an even
// count); NaN when there are none.
double median(std::vector<double> values);

// This process's resident memory now.
qint64 residentKiB();

// The machine's load averages over 1, 5 and 15 minutes, as /proc/loadavg gives them.
QByteArray machineLoadAverage();

// A program run to its end in a process of its own, its standard output kept.
struct ChildRun
{
    bool ran = false;
    int exitStatus = -1;
    double seconds = 0;
    // The child's peak resident memory.
    long peakKiB = 0;
    QByteArray output;
};
ChildRun runChild(const QString& program, const QStringList& arguments);

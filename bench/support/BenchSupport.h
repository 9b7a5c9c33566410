#pragma once

#include "app/Dialogs.h"

#include <QtGlobal>

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

#pragma once

#include "app/UtilityApp.h"
#include "core/Dialogs.h"

#include <QApplication>
#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cmath>
#include <functional>
#include <optional>
#include <vector>

class MainWindow;
class QLabel;

// What the benchmark programs share.

// --- The benchmark program itself

// Sets the platform to offscreen unless the caller chose one. BenchApplication
// names it as its first base, so it is made before QApplication reads the
// platform: figures are taken headless by default.
struct HeadlessByDefault
{
    HeadlessByDefault();
};

// A benchmark's application: headless unless the caller chose a platform, and
// without the offscreen platform's warnings about window calls it cannot
// honour, which are noise in the figures, not findings.
class BenchApplication : private HeadlessByDefault, public QApplication
{
public:
    BenchApplication(int& argc, char** argv);
    // The arguments after the program's name.
    QStringList options() const { return arguments().mid(1); }
};

// Says on standard error which link could not connect; the program's exit
// status: 0 when both did.
int linksExitStatus(bool tcpConnected, bool ptyConnected);

// --- Time, CPU and memory of this process

// CPU time (user and system) this process has used so far.
qint64 processCpuMicroseconds();
inline double cpuSeconds()
{
    return double(processCpuMicroseconds()) / 1e6;
}

// Lets the event loop run for ms milliseconds.
void runEventLoopFor(int ms);

// Counts how often the event loop woke from sleep: a wait that sleeps wakes
// only for its own events, a spinning one never sleeps at all.
class WakeCounter
{
public:
    WakeCounter();
    ~WakeCounter();
    Q_DISABLE_COPY(WakeCounter)
    qint64 wakes() const { return m_wakes; }

private:
    QMetaObject::Connection m_connection;
    qint64 m_wakes = 0;
};

// Wall time, CPU of this process and event-loop wake-ups over a stretch.
struct CpuWindow
{
    bool ok = false;
    qint64 wallNs = 0;
    // As % of one core.
    double cpuPercent = NAN;
    double wakesPerSecond = NAN;

    double wallMs() const { return double(wallNs) / 1e6; }
};

// Takes the figures of a CpuWindow from the moment it is made.
class CpuMeter
{
public:
    CpuMeter();
    CpuWindow read() const;

private:
    WakeCounter m_wakes;
    QElapsedTimer m_wall;
    qint64 m_cpuBefore = 0;
};

// Runs body (returning whether it did its job) and takes its figures.
template <typename Body> CpuWindow measureCpu(Body&& body)
{
    const CpuMeter meter;
    const bool ok = body();
    CpuWindow window = meter.read();
    window.ok = ok;
    return window;
}

// This process's resident memory now.
qint64 residentKiB();

// The machine's load averages over 1, 5 and 15 minutes, as /proc/loadavg gives them.
QByteArray machineLoadAverage();

// The middle of the figures (the mean of the two middle ones for an even
// count); NaN when there are none.
double median(std::vector<double> values);

// --- The simulated reader in a process of its own

// The karvel-reader-sim program built beside the benchmarks.
QString simulatedReaderProgram();

// karvel-reader-sim run as a person would run it, listening on free ports of
// 127.0.0.1 and printing nothing but where it listens.
class ReaderProcess
{
public:
    ReaderProcess() = default;
    Q_DISABLE_COPY(ReaderProcess)
    ~ReaderProcess();

    // Starts program with options and waits until it has said where it
    // listens: a port for each of its readers, and its pseudo-terminal when
    // options ask for "--pty".
    bool start(const QString& program, const QStringList& options = {}, int readers = 1);

    // The first reader's TCP port; the pseudo-terminal also reaches that reader.
    quint16 port() const { return m_ports.value(0); }
    const QList<quint16>& ports() const { return m_ports; }
    QString ptyPath() const { return m_ptyPath; }
    qint64 processId() const { return m_process.processId(); }
    // CPU (user and system) the reader process has used so far, in seconds.
    double cpuSeconds() const;
    // A line on the reader's standard input, such as "echo wrong".
    void command(const QByteArray& line);

private:
    QProcess m_process;
    QList<quint16> m_ports;
    QString m_ptyPath;
};

// --- The bare client

// A link to the reader with nothing but system calls: what the link itself
// allows, for the utility's figures to be set against.
class BareLink
{
public:
    BareLink() = default;
    Q_DISABLE_COPY(BareLink)
    ~BareLink();

    // 127.0.0.1 at port, each write sent at once (no Nagle delay).
    bool openTcp(quint16 port);
    // The pseudo-terminal at path, in raw mode.
    bool openPty(const QString& path);

    // All of bytes, in as many writes as it takes.
    bool send(QByteArrayView bytes);
    // Up to max bytes into buffer, waiting at most timeoutMs for the first;
    // 0 on a time-out or a closed link.
    qsizetype receive(char* buffer, qsizetype max, int timeoutMs);
    // Throws away whatever has arrived, without waiting.
    void discardPending();
    // The next reply line without its CR, within timeoutMs; nothing on a
    // time-out or a closed link.
    std::optional<QByteArray> readLine(int timeoutMs);

private:
    int m_fd = -1;
    // Received bytes not yet taken as a line.
    QByteArray m_unread;
};

// --- The utility

// Answers every question Yes and a file dialog with the file set here, or
// Cancel where none is; keeps the messages it was shown. Nothing is on screen.
class BenchDialogs : public Dialogs
{
public:
    std::optional<QString> fileToOpen;
    std::optional<QString> fileToSave;
    QStringList messages;

    bool askYesNo(const QString&, Answer) override { return true; }
    void inform(const QString& text) override { messages << text; }
    std::optional<QString> chooseOpenFile(const QString&) override { return fileToOpen; }
    std::optional<QString> chooseSaveFile(const QString&, const QString&, const QString&) override
    {
        return fileToSave;
    }
};

// The utility as it is after start-up, its dialogs answered by BenchDialogs.
struct StartedUtility
{
    // The serial port the pseudo-terminal stands in for.
    static constexpr int kPtyPort = 3;

    BenchDialogs dialogs;
    UtilityApp app{&dialogs};

    StartedUtility() { app.start(); }
    MainWindow& main() { return app.main(); }

    // Connects as a user would in the communications window: 127.0.0.1 and
    // port over TCP, or the pseudo-terminal at ptyPath as serial port 3.
    // True when the menu then shows the link connected.
    bool connect(bool tcp, quint16 port, const QString& ptyPath);
    // Disconnect, in the communications window.
    void disconnect();
};

// The moments a label's text changed, as a user watching it sees them: it
// looks at the label whenever the event loop hands out an event, so it adds
// no wake-ups of its own to the figures.
class LabelWatch : public QObject
{
public:
    struct Change
    {
        QString text;
        // On the clock given, and this process's CPU by then.
        qint64 ns;
        qint64 cpuMicroseconds;
    };

    LabelWatch(const QLabel& label, const QElapsedTimer& clock);
    ~LabelWatch() override;
    const QList<Change>& changes() const { return m_changes; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const QLabel& m_label;
    const QElapsedTimer& m_clock;
    QString m_shown;
    QList<Change> m_changes;
};

// --- Tables of figures

// A figure with its decimals and unit; "n/a" where there is none (NaN).
QByteArray figureText(double value, int decimals, const char* unit = "");
QByteArray yesNo(bool yes);
// Utility over bare client for each round, as " 1.02 0.98".
QByteArray roundRatios(const std::vector<double>& utility, const std::vector<double>& bare);

// A table with a column of labels and a column of figures for each link:
// TCP on 127.0.0.1 and the pseudo-terminal.
class LinkTable
{
public:
    explicit LinkTable(int labelWidth) : m_labelWidth(labelWidth) {}

    // The links' names over their columns, and a rule.
    void printHeader() const;
    // A line of its own over the rows that follow.
    void printHeading(const QByteArray& text) const;
    void printRow(const char* label, const QByteArray& tcp, const QByteArray& pty) const;
    // A row of figures taken from each link's with get, or "no link" for a link
    // that did not connect.
    template <typename Figures, typename Get>
    void printRow(const char* label, const Figures& tcp, const Figures& pty, Get get) const
    {
        printRow(label, tcp.connected ? get(tcp) : QByteArray("no link"),
                 pty.connected ? get(pty) : QByteArray("no link"));
    }

private:
    static constexpr int kColumnWidth = 16;
    int m_labelWidth;
};

// --- Child programs run to their end

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

// Each reader of PORTS served by one of JOBS threads, each thread taking the next port
// until none is left, as the utility's jobs do; how long it took and how many succeeded.
struct ThreadedRun
{
    double seconds = 0;
    int succeeded = 0;
};
ThreadedRun runOnThreads(const QList<quint16>& ports, int jobs,
                         const std::function<bool(quint16)>& reader);

// The readers file the utility's --readers takes: a line 127.0.0.1:PORT per reader.
bool writeReadersFile(const QString& path, const QList<quint16>& ports);

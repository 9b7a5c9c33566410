// Figures for the command channel against the simulated reader, over TCP on
// 127.0.0.1 and over a pseudo-terminal: CPU while a reply is awaited and
// while idle, round-trip latency, and the time of a whole programming run.
// It reports; it never judges a figure.
//
//   bench_command_channel [--quick]
#include "BenchSupport.h"
#include "SimPty.h"
#include "SimReader.h"
#include "SimTcpServer.h"
#include "app/CommandMenu.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/UtilityApp.h"
#include "comm/CommandChannel.h"
#include "comm/CommunicationsWindow.h"
#include "program/ProgrammingCommands.h"
#include "program/ProgressWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

const QByteArray kVersionReply = "KARVEL READER SIM V1.00";
// Reply time-outs that never happen are worth a note, not a crash: cap the
// number of exchanges so a broken link still ends the run quickly.
constexpr int kMaxFailedExchanges = 5;

struct Plan
{
    bool quick = false;
    int waitMs = 5000;    // silent reply and idle link
    int exchanges = 1000; // round trips per link
    int programRuns = 20;
    int warmUpExchanges = 20;
};

Plan planFor(bool quick)
{
    if (!quick)
        return {};
    return {true, 1000, 100, 5, 5};
}

// Every prompt is answered Yes; nothing is shown.
// One started utility and a simulated reader it reaches over TCP or over a
// pseudo-terminal standing in for a serial port, set up as the tests do.
struct Rig
{
    static constexpr int kPtyPort = 3;

    YesDialogs dialogs;
    sim::SimReader reader;
    sim::SimTcpServer server{reader};
    sim::SimPty pty{reader};
    UtilityApp app{&dialogs};

    Rig() { app.start(); }

    MainWindow& main() { return app.main(); }
    CommandChannel& channel() { return app.main().channel(); }

    bool connect(bool tcp)
    {
        CommunicationsWindow& comm = main().communications();
        if (tcp) {
            if (!server.listen())
                return false;
            comm.tcpOption->setChecked(true);
            comm.addressBox->setText(QStringLiteral("127.0.0.1"));
            comm.tcpPortBox->setText(QString::number(server.port()));
        } else {
            if (!pty.open())
                return false;
            app.portNames().setOverride(kPtyPort, pty.slavePath());
            comm.serialOption->setChecked(true);
            comm.portOptions[kPtyPort - 1]->setChecked(true);
        }
        emit comm.connectButton->clicked();
        return main().menu().connectionLabel->text() == QLatin1String("Connected");
    }
};

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// Counts how often the event loop woke from sleep: a wait that sleeps wakes
// only for its own events, a spinning one never sleeps at all.
class WakeCounter
{
public:
    WakeCounter()
    {
        if (auto* dispatcher = QAbstractEventDispatcher::instance())
            m_connection = QObject::connect(dispatcher, &QAbstractEventDispatcher::awake,
                                            [this] { ++m_wakes; });
    }
    ~WakeCounter() { QObject::disconnect(m_connection); }
    qint64 wakes() const { return m_wakes; }

private:
    QMetaObject::Connection m_connection;
    qint64 m_wakes = 0;
};

struct CpuWindow
{
    double cpuPercent = NAN;
    qint64 wallMs = 0;
    double wakesPerSecond = NAN;
    bool ok = false;
};

template <typename Body> CpuWindow measureCpu(Body&& body)
{
    CpuWindow window;
    WakeCounter counter;
    QElapsedTimer wall;
    const qint64 cpuBefore = processCpuMicroseconds();
    wall.start();
    window.ok = body();
    const qint64 wallNs = wall.nsecsElapsed();
    const qint64 cpuUsed = processCpuMicroseconds() - cpuBefore;
    window.wallMs = wallNs / 1000000;
    if (wallNs > 0) {
        window.cpuPercent = 100.0 * double(cpuUsed) * 1000.0 / double(wallNs);
        window.wakesPerSecond = double(counter.wakes()) * 1e9 / double(wallNs);
    }
    return window;
}

CpuWindow silentReplyWait(Rig& rig, const Plan& plan)
{
    rig.reader.setSilentOn("V");
    rig.channel().SendReaderCommand("V");
    if (plan.quick) {
        // The reply timer's own action, only sooner; the full time-out is fixed.
        QTimer::singleShot(plan.waitMs, Qt::PreciseTimer, &rig.main(),
                           [&rig] { rig.app.state().ReplyTimedOut = true; });
    }
    const CpuWindow window = measureCpu([&rig] {
        QByteArray reply;
        bool timedOut = false;
        rig.channel().ReadReaderLine(reply, timedOut);
        return timedOut && reply.isEmpty();
    });
    rig.reader.clearOverrides();
    return window;
}

CpuWindow idleLink(const Plan& plan)
{
    return measureCpu([&plan] {
        runEventLoopFor(plan.waitMs);
        return true;
    });
}

struct Distribution
{
    double median = NAN;
    double p90 = NAN;
    double min = NAN;
    double max = NAN;
    int count = 0;
    int failed = 0;
};

Distribution describe(std::vector<double> samples, int failed)
{
    Distribution d;
    d.failed = failed;
    d.count = int(samples.size());
    if (samples.empty())
        return d;
    std::sort(samples.begin(), samples.end());
    const size_t n = samples.size();
    d.median = n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2.0;
    // Nearest rank.
    d.p90 = samples[size_t(std::ceil(0.9 * double(n))) - 1];
    d.min = samples.front();
    d.max = samples.back();
    return d;
}

bool versionExchange(Rig& rig)
{
    QByteArray reply;
    bool timedOut = false;
    rig.channel().SendReaderCommand("V");
    rig.channel().ReadReaderLine(reply, timedOut);
    return !rig.app.state().SendFailed && !timedOut && reply == kVersionReply;
}

Distribution roundTrips(Rig& rig, const Plan& plan)
{
    for (int i = 0; i < plan.warmUpExchanges; ++i)
        versionExchange(rig);
    std::vector<double> micros;
    micros.reserve(size_t(plan.exchanges));
    int failed = 0;
    QElapsedTimer clock;
    for (int i = 0; i < plan.exchanges && failed < kMaxFailedExchanges; ++i) {
        clock.start();
        const bool ok = versionExchange(rig);
        const qint64 ns = clock.nsecsElapsed();
        if (ok)
            micros.push_back(double(ns) / 1000.0);
        else
            ++failed;
    }
    return describe(std::move(micros), failed);
}

Distribution programmingRuns(Rig& rig, const Plan& plan)
{
    ProgressWindow& window = rig.main().programming();
    MainWindow::bringToFront(&window);
    std::vector<double> millis;
    int failed = 0;
    QElapsedTimer clock;
    for (int run = 0; run < plan.programRuns && failed < kMaxFailedExchanges; ++run) {
        rig.reader.clearRecord();
        clock.start();
        window.programReader();
        const qint64 ns = clock.nsecsElapsed();
        const bool complete =
            window.progressPane->toPlainText().endsWith(QLatin1String("Programming Complete\n")) &&
            rig.reader.commands().size() == kProgrammingSteps;
        if (complete)
            millis.push_back(double(ns) / 1e6);
        else
            ++failed;
    }
    return describe(std::move(millis), failed);
}

struct LinkFigures
{
    bool connected = false;
    CpuWindow silent;
    CpuWindow idle;
    Distribution roundTrip;
    Distribution programming;
};

LinkFigures measureLink(bool tcp, const Plan& plan)
{
    LinkFigures figures;
    auto rig = std::make_unique<Rig>();
    figures.connected = rig->connect(tcp);
    if (!figures.connected)
        return figures;
    // Let the connection's own events settle before anything is counted.
    runEventLoopFor(200);
    figures.silent = silentReplyWait(*rig, plan);
    runEventLoopFor(50);
    figures.idle = idleLink(plan);
    figures.roundTrip = roundTrips(*rig, plan);
    figures.programming = programmingRuns(*rig, plan);
    rig.reset();
    // Objects the rig left for deferred deletion go now, not during the next link's figures.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return figures;
}

constexpr int kLabelWidth = 50;
constexpr int kColumnWidth = 16;

QByteArray cell(double value, int decimals, const char* unit = "")
{
    if (std::isnan(value))
        return "n/a";
    return QByteArray::number(value, 'f', decimals) + unit;
}

void printRow(const char* label, const QByteArray& tcp, const QByteArray& pty)
{
    std::printf("%-*s%*s%*s\n", kLabelWidth, label, kColumnWidth, tcp.constData(), kColumnWidth,
                pty.constData());
}

template <typename Get>
void printRow(const char* label, const LinkFigures& tcp, const LinkFigures& pty, Get get)
{
    printRow(label, tcp.connected ? get(tcp) : QByteArray("no link"),
             pty.connected ? get(pty) : QByteArray("no link"));
}

QByteArray okOrNot(bool ok)
{
    return ok ? "yes" : "NO";
}

void printTable(const Plan& plan, const LinkFigures& tcp, const LinkFigures& pty)
{
    const QByteArray waitS = QByteArray::number(plan.waitMs / 1000.0, 'f', 1);
    std::printf("Command channel against the simulated reader (%s run, platform %s)\n",
                plan.quick ? "quick" : "full", qPrintable(QGuiApplication::platformName()));
    std::printf("CPU is user+sys of the whole process, as %% of one core.\n\n");
    printRow("", "TCP 127.0.0.1", "pty");
    std::printf("%s\n", QByteArray(kLabelWidth + 2 * kColumnWidth, '-').constData());

    const QByteArray silentLabel = "CPU, ReadReaderLine waiting " + waitS + " s for no reply";
    printRow(silentLabel.constData(), tcp, pty,
             [](const LinkFigures& f) { return cell(f.silent.cpuPercent, 3, " %"); });
    printRow("  wait lasted (ms)", tcp, pty,
             [](const LinkFigures& f) { return QByteArray::number(f.silent.wallMs); });
    printRow("  event-loop wake-ups per second", tcp, pty,
             [](const LinkFigures& f) { return cell(f.silent.wakesPerSecond, 1); });
    printRow("  ended as a time-out", tcp, pty,
             [](const LinkFigures& f) { return okOrNot(f.silent.ok); });

    const QByteArray idleLabel = "CPU, idle " + waitS + " s with the link open";
    printRow(idleLabel.constData(), tcp, pty,
             [](const LinkFigures& f) { return cell(f.idle.cpuPercent, 3, " %"); });
    printRow("  event-loop wake-ups per second", tcp, pty,
             [](const LinkFigures& f) { return cell(f.idle.wakesPerSecond, 1); });

    const QByteArray tripLabel =
        "Round trip \"V\" + reply, " + QByteArray::number(plan.exchanges) + " exchanges";
    std::printf("%s\n", tripLabel.constData());
    printRow("  median (us)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.roundTrip.median, 1); });
    printRow("  p90 (us)", tcp, pty, [](const LinkFigures& f) { return cell(f.roundTrip.p90, 1); });
    printRow("  min (us)", tcp, pty, [](const LinkFigures& f) { return cell(f.roundTrip.min, 1); });
    printRow("  max (us)", tcp, pty, [](const LinkFigures& f) { return cell(f.roundTrip.max, 1); });
    printRow("  failed exchanges", tcp, pty,
             [](const LinkFigures& f) { return QByteArray::number(f.roundTrip.failed); });

    const QByteArray runLabel = "Programming run, " + QByteArray::number(kProgrammingSteps) +
                                " commands, " + QByteArray::number(plan.programRuns) + " runs";
    std::printf("%s\n", runLabel.constData());
    printRow("  median (ms)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.programming.median, 2); });
    printRow("  p90 (ms)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.programming.p90, 2); });
    printRow("  min (ms)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.programming.min, 2); });
    printRow("  max (ms)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.programming.max, 2); });
    printRow("  incomplete runs", tcp, pty,
             [](const LinkFigures& f) { return QByteArray::number(f.programming.failed); });
}

} // namespace

int main(int argc, char** argv)
{
    // Figures are taken headless unless the caller chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    quietOffscreenWarnings();

    bool quick = false;
    const QStringList arguments = application.arguments().mid(1);
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--quick")) {
            quick = true;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick]\n"
                         "  --quick  1 s waits, 100 exchanges and 5 programming runs\n",
                         argv[0]);
            return argument == QLatin1String("--help") ? 0 : 2;
        }
    }
    const Plan plan = planFor(quick);

    const LinkFigures tcp = measureLink(true, plan);
    const LinkFigures pty = measureLink(false, plan);
    printTable(plan, tcp, pty);
    if (!tcp.connected || !pty.connected) {
        std::fprintf(stderr, "\nCould not connect:%s%s\n", tcp.connected ? "" : " TCP",
                     pty.connected ? "" : " pty");
        return 1;
    }
    return 0;
}

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
#include "app/MainWindow.h"
#include "comm/CommandChannel.h"
#include "program/ProgrammingCommands.h"
#include "program/ProgressWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

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

// A simulated reader in this process, reached over TCP or over a
// pseudo-terminal standing in for a serial port, and a started utility, set
// up as the tests do.
struct Rig
{
    sim::SimReader reader;
    sim::SimTcpServer server{reader};
    sim::SimPty pty{reader};
    StartedUtility utility;

    MainWindow& main() { return utility.main(); }
    CommandChannel& channel() { return utility.main().channel(); }

    bool connect(bool tcp)
    {
        if (tcp ? !server.listen() : !pty.open())
            return false;
        return utility.connect(tcp, server.port(), pty.slavePath());
    }
};

CpuWindow silentReplyWait(Rig& rig, const Plan& plan)
{
    rig.reader.setSilentOn("V");
    rig.channel().sendReaderCommand("V");
    if (plan.quick) {
        // The reply timer's own action, only sooner; the full time-out is fixed.
        QTimer::singleShot(plan.waitMs, Qt::PreciseTimer, &rig.main(),
                           [&rig] { rig.channel().replyDeadline().expire(); });
    }
    const CpuWindow window = measureCpu([&rig] {
        const auto [reply, timedOut] = rig.channel().readReaderLine();
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
    d.median = median(samples);
    // Nearest rank.
    d.p90 = samples[size_t(std::ceil(0.9 * double(n))) - 1];
    d.min = samples.front();
    d.max = samples.back();
    return d;
}

bool versionExchange(Rig& rig)
{
    rig.channel().sendReaderCommand("V");
    const auto [reply, timedOut] = rig.channel().readReaderLine();
    return !rig.utility.app.state().sendFailed && !timedOut && reply == kVersionReply;
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

// The rows of one distribution: median, p90, min and max in unit, then the
// count of failures.
void printDistribution(const LinkTable& table, const LinkFigures& tcp, const LinkFigures& pty,
                       Distribution LinkFigures::*distribution, const char* unit, int decimals,
                       const char* failedLabel)
{
    const auto printFigure = [&](const char* name, double Distribution::*figure) {
        const QByteArray label = "  " + QByteArray(name) + " (" + unit + ")";
        table.printRow(label.constData(), tcp, pty, [&](const LinkFigures& f) {
            return figureText((f.*distribution).*figure, decimals);
        });
    };
    printFigure("median", &Distribution::median);
    printFigure("p90", &Distribution::p90);
    printFigure("min", &Distribution::min);
    printFigure("max", &Distribution::max);
    table.printRow(failedLabel, tcp, pty, [&](const LinkFigures& f) {
        return QByteArray::number((f.*distribution).failed);
    });
}

void printTable(const Plan& plan, const LinkFigures& tcp, const LinkFigures& pty)
{
    const QByteArray waitS = QByteArray::number(plan.waitMs / 1000.0, 'f', 1);
    std::printf("Command channel against the simulated reader (%s run, platform %s)\n",
                plan.quick ? "quick" : "full", qPrintable(QGuiApplication::platformName()));
    std::printf("CPU is user+sys of the whole process, as %% of one core.\n\n");
    const LinkTable table(50);
    table.printHeader();

    const QByteArray silentLabel = "CPU, readReaderLine waiting " + waitS + " s for no reply";
    table.printRow(silentLabel.constData(), tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.silent.cpuPercent, 3, " %"); });
    table.printRow("  wait lasted (ms)", tcp, pty, [](const LinkFigures& f) {
        return QByteArray::number(f.silent.wallNs / 1000000);
    });
    table.printRow("  event-loop wake-ups per second", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.silent.wakesPerSecond, 1); });
    table.printRow("  ended as a time-out", tcp, pty,
                   [](const LinkFigures& f) { return yesNo(f.silent.ok); });

    const QByteArray idleLabel = "CPU, idle " + waitS + " s with the link open";
    table.printRow(idleLabel.constData(), tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.idle.cpuPercent, 3, " %"); });
    table.printRow("  event-loop wake-ups per second", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.idle.wakesPerSecond, 1); });

    const QByteArray tripLabel =
        "Round trip \"V\" + reply, " + QByteArray::number(plan.exchanges) + " exchanges";
    table.printHeading(tripLabel);
    printDistribution(table, tcp, pty, &LinkFigures::roundTrip, "us", 1, "  failed exchanges");

    const QByteArray runLabel = "Programming run, " + QByteArray::number(kProgrammingSteps) +
                                " commands, " + QByteArray::number(plan.programRuns) + " runs";
    table.printHeading(runLabel);
    printDistribution(table, tcp, pty, &LinkFigures::programming, "ms", 2, "  incomplete runs");
}

} // namespace

int main(int argc, char** argv)
{
    BenchApplication application(argc, argv);

    bool quick = false;
    for (const QString& argument : application.options()) {
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
    return linksExitStatus(tcp.connected, pty.connected);
}

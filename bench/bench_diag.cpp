// Figures for the terminal and the loopback test against karvel-reader-sim run
// as its own process, over TCP on 127.0.0.1 and over its pseudo-terminal:
// the rate at which the terminal takes in and draws a flood, CPU while the
// terminal is open and idle, and the whole echo test through the window and
// through a bare client on plain sockets and file descriptors, the passes
// timed apart from the fixed pause; then the whole echo test through the
// window against a reader that answers every character wrongly, so that every
// character adds a line to the list. It reports; it never judges a figure.
//
//   bench_diag [--quick] [--sim PATH]
#include "BenchSupport.h"
#include "app/CommandMenu.h"
#include "app/MainWindow.h"
#include "diag/EchoTest.h"
#include "diag/LoopbackWindow.h"
#include "diag/TerminalGrid.h"
#include "diag/TerminalScreen.h"
#include "diag/TerminalWindow.h"
#include "widgets/ClickLabel.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListView>
#include <QRegularExpression>
#include <QTimer>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

namespace {

struct Plan
{
    bool quick = false;
    qint64 floodBytes = 16 * 1024 * 1024;
    int idleMs = 5000;
    int passes = echotest::kPasses;
};

struct Flood
{
    double bytesPerSecond = NAN;
    double cpuPercent = NAN;
    bool complete = false;
    bool lastCellRight = false;
};

// Runs body inside a terminal run opened from the menu; body gets a function
// that ends the run.
void inTerminalRun(StartedUtility& utility, const std::function<void(std::function<void()>)>& body)
{
    CommandMenu& menu = utility.main().menu();
    QTimer::singleShot(0, &utility.main(),
                       [&] { body([&] { emit menu.communicationsEntry->clicked(); }); });
    emit menu.terminalEntry->clicked();
}

Flood measureFlood(StartedUtility& utility, ReaderProcess& reader, const Plan& plan)
{
    Flood flood;
    TerminalWindow& terminal = utility.main().terminal();
    std::optional<CpuMeter> meter;
    QTimer poll;
    poll.setInterval(1);
    inTerminalRun(utility, [&](std::function<void()> end) {
        QObject::connect(&poll, &QTimer::timeout, &poll, [&, end] {
            const bool done = terminal.receivedCount() >= plan.floodBytes;
            if (!done && meter->read().wallNs < 60'000'000'000)
                return;
            // Drawn, not only taken in.
            terminal.screen->drawPending();
            const CpuWindow figures = meter->read();
            flood.complete = done;
            flood.bytesPerSecond = double(terminal.receivedCount()) * 1e9 / double(figures.wallNs);
            flood.cpuPercent = figures.cpuPercent;
            poll.stop();
            end();
        });
        meter.emplace();
        reader.command("stream 0 " + QByteArray::number(plan.floodBytes));
        poll.start();
    });
    // The stream is the byte values 0 to 255 over and over; the last one drawn shows it.
    const TerminalGrid& grid = terminal.grid();
    int column = grid.cursorColumn() - 1;
    int row = grid.cursorRow();
    const TerminalGrid::Cell& last = grid.cellAt(column, row);
    flood.lastCellRight = last.code == std::uint8_t((plan.floodBytes - 1) & 0xff);
    return flood;
}

CpuWindow measureIdle(StartedUtility& utility, const Plan& plan)
{
    CpuWindow idle;
    inTerminalRun(utility, [&](std::function<void()> end) {
        QTimer::singleShot(200, Qt::PreciseTimer, &utility.main(), [&, end] {
            auto meter = std::make_shared<CpuMeter>();
            QTimer::singleShot(plan.idleMs, Qt::PreciseTimer, &utility.main(), [&, end, meter] {
                idle = meter->read();
                end();
            });
        });
    });
    return idle;
}

struct EchoRun
{
    double passSeconds = NAN;
    double pauseSeconds = NAN;
    // CPU of the utility's process during the passes: the cost of a round
    // trip on this side, much less disturbed by other load than wall time.
    double passCpuSeconds = NAN;
    qint64 characters = 0;
    int faults = 0;
    bool complete = false;
    // Resident memory the run left behind (the list's lines), in MiB.
    double residentGrowthMiB = NAN;
    // Lines added per second while the list held its first tenth of the
    // run's lines, and while it held its last tenth.
    double firstTenthLinesPerSecond = NAN;
    double lastTenthLinesPerSecond = NAN;
    // The same two stretches as CPU of this process per line, which other
    // programs on the machine disturb much less than wall time.
    double firstTenthCpuPerLine = NAN;
    double lastTenthCpuPerLine = NAN;
};

// When the passes began, as the counter under the list tells it: it first
// shows a count when that many characters have gone out, so the passes began
// that many round trips earlier, at the pace the counter then kept to its
// next count.
struct PassStart
{
    qint64 ns = 0;
    qint64 cpuMicroseconds = 0;
};

std::optional<PassStart> passStartFromCounter(const QList<LabelWatch::Change>& counter,
                                              qint64 endNs, qint64 endCpuMicroseconds,
                                              qint64 characters)
{
    // The count a change shows, as the user reads it; the counter is cleared at the start.
    const auto shownCount = [](const LabelWatch::Change& change) {
        return QString(change.text).remove(QRegularExpression(QStringLiteral("\\D"))).toLongLong();
    };
    QList<LabelWatch::Change> counts;
    for (const LabelWatch::Change& change : counter) {
        if (shownCount(change) > 0)
            counts.append(change);
    }
    if (counts.isEmpty())
        return std::nullopt;
    const LabelWatch::Change& first = counts.first();
    // The count is shown as its character is sent, so one fewer round trip is done.
    const qint64 done = shownCount(first) - 1;
    const bool hasNext = counts.size() > 1;
    const qint64 nextNs = hasNext ? counts[1].ns : endNs;
    const qint64 nextCpu = hasNext ? counts[1].cpuMicroseconds : endCpuMicroseconds;
    const qint64 nextDone = hasNext ? shownCount(counts[1]) - 1 : characters;
    if (nextDone <= done)
        return std::nullopt;
    const double trips = double(done) / double(nextDone - done);
    PassStart start;
    start.ns = first.ns - qint64(trips * double(nextNs - first.ns));
    start.cpuMicroseconds =
        first.cpuMicroseconds - qint64(trips * double(nextCpu - first.cpuMicroseconds));
    return start;
}

// The whole test through the window, shown as the user sees it.
EchoRun windowEcho(StartedUtility& utility, const Plan& plan)
{
    EchoRun run;
    LoopbackWindow& window = utility.main().loopbackTest();
    MainWindow::bringToFront(&window);
    echotest::Timing timing;
    timing.passes = plan.passes;
    window.setTiming(timing);
    // Lines of an earlier run go first, so the growth is this run's.
    window.clearList();
    runEventLoopFor(100);
    const qint64 residentBefore = residentKiB();
    QElapsedTimer clock;
    const QAbstractItemModel* list = window.resultList->model();
    const LabelWatch counter(*window.sentCounter, clock);
    // When the list showed how many lines, and the CPU used by then.
    struct Shown
    {
        qint64 ns;
        qint64 cpuUs;
        int lines;
    };
    QList<Shown> shown;
    const auto counting = QObject::connect(list, &QAbstractItemModel::rowsInserted, [&] {
        shown.append({clock.nsecsElapsed(), processCpuMicroseconds(), list->rowCount()});
    });
    clock.start();
    window.startTest();
    const qint64 endNs = clock.nsecsElapsed();
    const qint64 endCpu = processCpuMicroseconds();
    QObject::disconnect(counting);
    run.characters = qint64(plan.passes) * echotest::kCodesPerPass;
    const PassStart passStart =
        passStartFromCounter(counter.changes(), endNs, endCpu, run.characters)
            .value_or(PassStart{endNs, endCpu});
    run.passCpuSeconds = double(endCpu - passStart.cpuMicroseconds) / 1e6;
    if (shown.size() > 2) {
        const Shown& end = shown.constLast();
        auto firstReaching = [&](int lines) {
            for (const Shown& sample : shown) {
                if (sample.lines >= lines)
                    return sample;
            }
            return end;
        };
        const Shown tenth = firstReaching(end.lines / 10);
        const Shown ninth = firstReaching(end.lines - end.lines / 10);
        run.firstTenthLinesPerSecond = double(tenth.lines) * 1e9 / double(tenth.ns - passStart.ns);
        run.firstTenthCpuPerLine =
            double(tenth.cpuUs - passStart.cpuMicroseconds) / double(tenth.lines);
        if (end.lines > ninth.lines) {
            run.lastTenthLinesPerSecond =
                double(end.lines - ninth.lines) * 1e9 / double(end.ns - ninth.ns);
            run.lastTenthCpuPerLine =
                double(end.cpuUs - ninth.cpuUs) / double(end.lines - ninth.lines);
        }
    }
    // The view has laid out and drawn every line.
    runEventLoopFor(200);
    run.residentGrowthMiB = double(residentKiB() - residentBefore) / 1024.0;
    run.pauseSeconds = double(passStart.ns) / 1e9;
    run.passSeconds = double(endNs - passStart.ns) / 1e9;
    // The first line, a line for each fault, the end line, then lines in words.
    const auto line = [list](int row) { return list->index(row, 0).data().toString(); };
    int end = list->rowCount() - 1;
    while (end > 0 && !line(end).endsWith(QStringLiteral(": end of test")))
        --end;
    run.faults = end - 1;
    run.complete = end > 0 && line(end) == echotest::endLine(run.characters);
    return run;
}

// The echo test with nothing but system calls: what the link itself allows.
EchoRun bareEcho(bool tcp, const ReaderProcess& reader, const Plan& plan)
{
    EchoRun run;
    BareLink link;
    if (!(tcp ? link.openTcp(reader.port()) : link.openPty(reader.ptyPath())))
        return run;
    const echotest::Timing timing;
    QElapsedTimer clock;
    clock.start();
    link.send(kAttentionSequence);
    ::usleep(useconds_t(timing.pauseMs(tcp)) * 1000);
    link.discardPending();
    link.send(QByteArrayView(&echotest::kEchoCommand, 1));
    const qint64 passStartNs = clock.nsecsElapsed();
    const qint64 passStartCpu = processCpuMicroseconds();
    for (int pass = 0; pass < plan.passes; ++pass) {
        for (int code = 0; code < echotest::kCodesPerPass; ++code) {
            const char sent = char(code);
            if (!link.send(QByteArrayView(&sent, 1))) {
                ++run.faults;
                return run;
            }
            char echo = 0;
            if (link.receive(&echo, 1, timing.echoMs(tcp)) != 1 || echo != sent)
                ++run.faults;
            ++run.characters;
        }
    }
    const qint64 endNs = clock.nsecsElapsed();
    run.passCpuSeconds = double(processCpuMicroseconds() - passStartCpu) / 1e6;
    run.pauseSeconds = double(passStartNs) / 1e9;
    run.passSeconds = double(endNs - passStartNs) / 1e9;
    run.complete = run.characters == qint64(plan.passes) * echotest::kCodesPerPass;
    return run;
}

struct LinkFigures
{
    bool connected = false;
    Flood flood;
    CpuWindow idle;
    EchoRun window;
    EchoRun wrong;
    EchoRun bare;
};

LinkFigures measureLink(bool tcp, const QString& simProgram, const Plan& plan)
{
    LinkFigures figures;
    // A fresh reader for each link, so nothing of one link's run reaches the other.
    ReaderProcess reader;
    if (!reader.start(simProgram, {QStringLiteral("--pty")}))
        return figures;
    {
        auto utility = std::make_unique<StartedUtility>();
        figures.connected = utility->connect(tcp, reader.port(), reader.ptyPath());
        if (!figures.connected)
            return figures;
        runEventLoopFor(200);
        figures.flood = measureFlood(*utility, reader, plan);
        // Whatever of the flood is still on its way drains before the next figures.
        runEventLoopFor(500);
        figures.idle = measureIdle(*utility, plan);
        figures.window = windowEcho(*utility, plan);
        reader.command("echo wrong");
        figures.wrong = windowEcho(*utility, plan);
        reader.command("echo right");
        utility->disconnect();
        utility.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    figures.bare = bareEcho(tcp, reader, plan);
    return figures;
}

// The rows of a run with its own pause: the pause, the passes, and a round
// trip's time and CPU.
void printEchoRows(const LinkTable& table, const LinkFigures& tcp, const LinkFigures& pty,
                   const char* who, EchoRun LinkFigures::*echo)
{
    const auto printFigure = [&](const char* name, auto get) {
        const QByteArray label = "  " + QByteArray(who) + ": " + name;
        table.printRow(label.constData(), tcp, pty,
                       [&](const LinkFigures& f) { return get(f.*echo); });
    };
    printFigure("pause (s)", [](const EchoRun& run) { return figureText(run.pauseSeconds, 2); });
    printFigure("passes (s)", [](const EchoRun& run) { return figureText(run.passSeconds, 2); });
    printFigure("round trip (us)", [](const EchoRun& run) {
        return figureText(run.passSeconds * 1e6 / double(run.characters), 1);
    });
    printFigure("CPU per round trip (us)", [](const EchoRun& run) {
        return figureText(run.passCpuSeconds * 1e6 / double(run.characters), 1);
    });
}

void printTable(const Plan& plan, const LinkFigures& tcp, const LinkFigures& pty)
{
    std::printf("Terminal and loopback test against karvel-reader-sim in its own process "
                "(%s run)\n",
                plan.quick ? "quick" : "full");
    std::printf("CPU is user+sys of the utility's process only, as %% of one core.\n\n");
    const LinkTable table(52);
    table.printHeader();

    table.printHeading("Terminal flood of " + QByteArray::number(plan.floodBytes) + " bytes");
    table.printRow("  taken in and drawn (MB/s)", tcp, pty, [](const LinkFigures& f) {
        return figureText(f.flood.bytesPerSecond / 1e6, 2);
    });
    table.printRow("  CPU during the flood", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.flood.cpuPercent, 1, " %"); });
    table.printRow("  every byte arrived, last cell right", tcp, pty, [](const LinkFigures& f) {
        return yesNo(f.flood.complete && f.flood.lastCellRight);
    });

    table.printHeading("Terminal open and idle, " +
                       QByteArray::number(plan.idleMs / 1000.0, 'f', 1) + " s");
    table.printRow("  CPU", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.idle.cpuPercent, 3, " %"); });
    table.printRow("  event-loop wake-ups per second", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.idle.wakesPerSecond, 1); });

    table.printHeading("Echo test, " + QByteArray::number(plan.passes) +
                       " passes of 256 characters");
    printEchoRows(table, tcp, pty, "window", &LinkFigures::window);
    table.printRow("  window: fault lines, ended with full count", tcp, pty,
                   [](const LinkFigures& f) {
                       return QByteArray::number(f.window.faults) + ", " + yesNo(f.window.complete);
                   });
    table.printRow("  window: resident memory growth (MiB)", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.window.residentGrowthMiB, 1); });
    // The start of the passes as the counter dates it, so any wait before its
    // first count is in it: the judge waits once on the echo of 128, which
    // reads as the late echo of 127, before it lists such echoes at once.
    table.printRow("  every echo wrong: pause and early waits (s)", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.wrong.pauseSeconds, 2); });
    table.printRow("  every echo wrong: passes (s)", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.wrong.passSeconds, 2); });
    table.printRow("  every echo wrong: lines in the list", tcp, pty, [](const LinkFigures& f) {
        return QByteArray::number(f.wrong.faults) + ", " + yesNo(f.wrong.complete);
    });
    table.printRow("  every echo wrong: lines per second", tcp, pty, [](const LinkFigures& f) {
        return figureText(double(f.wrong.faults) / f.wrong.passSeconds, 0);
    });
    table.printRow(
        "  every echo wrong: lines/s, first tenth of the list", tcp, pty,
        [](const LinkFigures& f) { return figureText(f.wrong.firstTenthLinesPerSecond, 0); });
    table.printRow(
        "  every echo wrong: lines/s, last tenth of the list", tcp, pty,
        [](const LinkFigures& f) { return figureText(f.wrong.lastTenthLinesPerSecond, 0); });
    table.printRow(
        "  every echo wrong: CPU per line (us), first tenth", tcp, pty,
        [](const LinkFigures& f) { return figureText(f.wrong.firstTenthCpuPerLine, 1); });
    table.printRow("  every echo wrong: CPU per line (us), last tenth", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.wrong.lastTenthCpuPerLine, 1); });
    table.printRow(
        "  every echo wrong: CPU per round trip (us)", tcp, pty, [](const LinkFigures& f) {
            return figureText(f.wrong.passCpuSeconds * 1e6 / double(f.wrong.characters), 1);
        });
    table.printRow("  every echo wrong: resident memory growth (MiB)", tcp, pty,
                   [](const LinkFigures& f) { return figureText(f.wrong.residentGrowthMiB, 1); });
    table.printRow("  passes, every echo wrong / good reader", tcp, pty, [](const LinkFigures& f) {
        return figureText(f.wrong.passSeconds / f.window.passSeconds, 2);
    });
    printEchoRows(table, tcp, pty, "bare client", &LinkFigures::bare);
    table.printRow("  bare client: faults, complete", tcp, pty, [](const LinkFigures& f) {
        return QByteArray::number(f.bare.faults) + ", " + yesNo(f.bare.complete);
    });
    table.printRow("  passes, window / bare client", tcp, pty, [](const LinkFigures& f) {
        return figureText(f.window.passSeconds / f.bare.passSeconds, 2);
    });
    // Other programs on the machine slow both sides of every round trip; this says how busy it was.
    std::printf("Load average at the end: %s\n", machineLoadAverage().constData());
}

} // namespace

int main(int argc, char** argv)
{
    BenchApplication application(argc, argv);

    Plan plan;
    QString simProgram = simulatedReaderProgram();
    const QStringList arguments = application.options();
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--quick")) {
            plan = {true, 2 * 1024 * 1024, 1000, 20};
        } else if (arguments[i] == QLatin1String("--sim") && i + 1 < arguments.size()) {
            simProgram = arguments[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--sim PATH]\n"
                         "  --quick  2 MB flood, 1 s idle, 20 echo passes\n"
                         "  --sim    the karvel-reader-sim program (default: beside this one)\n",
                         argv[0]);
            return arguments[i] == QLatin1String("--help") ? 0 : 2;
        }
    }

    const LinkFigures tcp = measureLink(true, simProgram, plan);
    const LinkFigures pty = measureLink(false, simProgram, plan);
    printTable(plan, tcp, pty);
    return linksExitStatus(tcp.connected, pty.connected);
}

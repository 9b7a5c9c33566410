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
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/UtilityApp.h"
#include "comm/CommunicationsWindow.h"
#include "diag/EchoLog.h"
#include "diag/EchoTest.h"
#include "diag/LoopbackWindow.h"
#include "diag/TerminalGrid.h"
#include "diag/TerminalScreen.h"
#include "diag/TerminalWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
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

// karvel-reader-sim as its own process, offering TCP and its pseudo-terminal.
class SimProcess
{
public:
    bool start(const QString& program)
    {
        m_process.setProgram(program);
        m_process.setArguments({"--tcp-port", "0", "--pty", "--quiet"});
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while ((m_port == 0 || m_ptyPath.isEmpty()) && clock.elapsed() < 5000) {
            if (!m_process.canReadLine() && !m_process.waitForReadyRead(1000))
                continue;
            while (m_process.canReadLine()) {
                const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
                if (line.startsWith("listening on 127.0.0.1:"))
                    m_port = quint16(line.section(':', 1).toUInt());
                else if (line.startsWith("pseudo-terminal: "))
                    m_ptyPath = line.section(": ", 1);
            }
        }
        return m_port != 0 && !m_ptyPath.isEmpty();
    }
    ~SimProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
    }
    void command(const QByteArray& line)
    {
        m_process.write(line + '\n');
        m_process.waitForBytesWritten(1000);
    }
    quint16 port() const { return m_port; }
    QString ptyPath() const { return m_ptyPath; }

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_ptyPath;
};

struct Rig
{
    static constexpr int kPtyPort = 3;
    YesDialogs dialogs;
    UtilityApp app{&dialogs};

    Rig() { app.start(); }
    MainWindow& main() { return app.main(); }

    bool connect(bool tcp, const SimProcess& sim)
    {
        CommunicationsWindow& comm = main().communications();
        if (tcp) {
            comm.tcpOption->setChecked(true);
            comm.addressBox->setText(QStringLiteral("127.0.0.1"));
            comm.tcpPortBox->setText(QString::number(sim.port()));
        } else {
            app.portNames().setOverride(kPtyPort, sim.ptyPath());
            comm.serialOption->setChecked(true);
            comm.portOptions[kPtyPort - 1]->setChecked(true);
        }
        emit comm.connectButton->clicked();
        return main().menu().connectionLabel->text() == QLatin1String("Connected");
    }
    void disconnect() { emit main().communications().disconnectButton->clicked(); }
};

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

struct Flood
{
    double bytesPerSecond = NAN;
    double cpuPercent = NAN;
    bool complete = false;
    bool lastCellRight = false;
};

struct Idle
{
    double cpuPercent = NAN;
    double wakesPerSecond = NAN;
};

// Runs body inside a terminal run opened from the menu; body gets a function
// that ends the run.
void inTerminalRun(Rig& rig, const std::function<void(std::function<void()>)>& body)
{
    CommandMenu& menu = rig.main().menu();
    QTimer::singleShot(0, &rig.main(),
                       [&] { body([&] { emit menu.communicationsEntry->clicked(); }); });
    emit menu.terminalEntry->clicked();
}

Flood measureFlood(Rig& rig, SimProcess& sim, const Plan& plan)
{
    Flood flood;
    TerminalWindow& terminal = rig.main().terminal();
    QElapsedTimer clock;
    qint64 cpuBefore = 0;
    QTimer poll;
    poll.setInterval(1);
    inTerminalRun(rig, [&](std::function<void()> end) {
        QObject::connect(&poll, &QTimer::timeout, &poll, [&, end] {
            const bool done = terminal.receivedCount() >= plan.floodBytes;
            if (!done && clock.elapsed() < 60000)
                return;
            // Drawn, not only taken in.
            terminal.screen->drawPending();
            const qint64 ns = clock.nsecsElapsed();
            flood.complete = done;
            flood.bytesPerSecond = double(terminal.receivedCount()) * 1e9 / double(ns);
            flood.cpuPercent =
                100.0 * double(processCpuMicroseconds() - cpuBefore) * 1000.0 / double(ns);
            poll.stop();
            end();
        });
        cpuBefore = processCpuMicroseconds();
        clock.start();
        sim.command("stream 0 " + QByteArray::number(plan.floodBytes));
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

Idle measureIdle(Rig& rig, const Plan& plan)
{
    Idle idle;
    inTerminalRun(rig, [&](std::function<void()> end) {
        QTimer::singleShot(200, Qt::PreciseTimer, &rig.main(), [&, end] {
            auto counter = std::make_shared<WakeCounter>();
            const qint64 cpuBefore = processCpuMicroseconds();
            auto clock = std::make_shared<QElapsedTimer>();
            clock->start();
            QTimer::singleShot(
                plan.idleMs, Qt::PreciseTimer, &rig.main(), [&, end, counter, clock, cpuBefore] {
                    const double ns = double(clock->nsecsElapsed());
                    idle.cpuPercent =
                        100.0 * double(processCpuMicroseconds() - cpuBefore) * 1000.0 / ns;
                    idle.wakesPerSecond = double(counter->wakes()) * 1e9 / ns;
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

// The whole test through the window, shown as the user sees it.
EchoRun windowEcho(Rig& rig, const Plan& plan)
{
    EchoRun run;
    LoopbackWindow& window = rig.main().loopbackTest();
    MainWindow::bringToFront(&window);
    echotest::Timing timing;
    timing.passes = plan.passes;
    window.setTiming(timing);
    // Lines of an earlier run go first, so the growth is this run's.
    window.clearList();
    runEventLoopFor(100);
    const qint64 residentBefore = residentKiB();
    QElapsedTimer clock;
    qint64 passStartNs = 0;
    qint64 passStartCpu = 0;
    const auto connection = QObject::connect(&window, &LoopbackWindow::passesStarted, &window, [&] {
        passStartNs = clock.nsecsElapsed();
        passStartCpu = processCpuMicroseconds();
    });
    // When the view was told of how many lines, and the CPU used by then.
    struct Shown
    {
        qint64 ns;
        qint64 cpuUs;
        int lines;
    };
    QList<Shown> shown;
    const auto counting = QObject::connect(&window.log, &EchoLog::linesShown, &window, [&] {
        shown.append({clock.nsecsElapsed(), processCpuMicroseconds(), window.log.rowCount()});
    });
    clock.start();
    window.startTest();
    const qint64 endNs = clock.nsecsElapsed();
    run.passCpuSeconds = double(processCpuMicroseconds() - passStartCpu) / 1e6;
    QObject::disconnect(connection);
    QObject::disconnect(counting);
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
        run.firstTenthLinesPerSecond = double(tenth.lines) * 1e9 / double(tenth.ns - passStartNs);
        run.firstTenthCpuPerLine = double(tenth.cpuUs - passStartCpu) / double(tenth.lines);
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
    run.pauseSeconds = double(passStartNs) / 1e9;
    run.passSeconds = double(endNs - passStartNs) / 1e9;
    run.characters = qint64(plan.passes) * echotest::kCodesPerPass;
    const QAbstractItemModel* list = window.resultList->model();
    const int lines = list->rowCount();
    run.faults = lines - 2;
    run.complete = lines >= 2 &&
                   list->index(lines - 1, 0).data().toString() == echotest::endLine(run.characters);
    return run;
}

// The echo test with nothing but system calls: what the link itself allows.
class BareLink
{
public:
    ~BareLink()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool openTcp(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd < 0)
            return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    bool openPty(const QString& path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_fd < 0)
            return false;
        termios attributes{};
        if (::tcgetattr(m_fd, &attributes) != 0)
            return false;
        ::cfmakeraw(&attributes);
        return ::tcsetattr(m_fd, TCSANOW, &attributes) == 0;
    }
    bool write(const char* bytes, size_t size)
    {
        return ::write(m_fd, bytes, size) == ssize_t(size);
    }
    void discard()
    {
        char buffer[4096];
        pollfd ready{m_fd, POLLIN, 0};
        while (::poll(&ready, 1, 0) > 0 && (ready.revents & POLLIN)) {
            if (::read(m_fd, buffer, sizeof buffer) <= 0)
                return;
        }
    }
    // One byte within timeoutMs, or nothing.
    std::optional<char> readOne(int timeoutMs)
    {
        pollfd ready{m_fd, POLLIN, 0};
        if (::poll(&ready, 1, timeoutMs) <= 0)
            return std::nullopt;
        char byte = 0;
        if (::read(m_fd, &byte, 1) != 1)
            return std::nullopt;
        return byte;
    }

private:
    int m_fd = -1;
};

EchoRun bareEcho(bool tcp, const SimProcess& sim, const Plan& plan)
{
    EchoRun run;
    BareLink link;
    if (!(tcp ? link.openTcp(sim.port()) : link.openPty(sim.ptyPath())))
        return run;
    const echotest::Timing timing;
    QElapsedTimer clock;
    clock.start();
    link.write(kAttentionSequence.constData(), kAttentionSequence.size());
    ::usleep(useconds_t(timing.pauseMs(tcp)) * 1000);
    link.discard();
    link.write(&echotest::kEchoCommand, 1);
    const qint64 passStartNs = clock.nsecsElapsed();
    const qint64 passStartCpu = processCpuMicroseconds();
    for (int pass = 0; pass < plan.passes; ++pass) {
        for (int code = 0; code < echotest::kCodesPerPass; ++code) {
            const char sent = char(code);
            if (!link.write(&sent, 1)) {
                ++run.faults;
                return run;
            }
            const std::optional<char> echo = link.readOne(timing.echoMs(tcp));
            if (!echo || *echo != sent)
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
    Idle idle;
    EchoRun window;
    EchoRun wrong;
    EchoRun bare;
};

LinkFigures measureLink(bool tcp, const QString& simProgram, const Plan& plan)
{
    LinkFigures figures;
    // A fresh reader for each link, so nothing of one link's run reaches the other.
    SimProcess sim;
    if (!sim.start(simProgram))
        return figures;
    {
        auto rig = std::make_unique<Rig>();
        figures.connected = rig->connect(tcp, sim);
        if (!figures.connected)
            return figures;
        runEventLoopFor(200);
        figures.flood = measureFlood(*rig, sim, plan);
        // Whatever of the flood is still on its way drains before the next figures.
        runEventLoopFor(500);
        figures.idle = measureIdle(*rig, plan);
        figures.window = windowEcho(*rig, plan);
        sim.command("echo wrong");
        figures.wrong = windowEcho(*rig, plan);
        sim.command("echo right");
        rig->disconnect();
        rig.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    figures.bare = bareEcho(tcp, sim, plan);
    return figures;
}

constexpr int kLabelWidth = 52;
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

QByteArray yesNo(bool ok)
{
    return ok ? "yes" : "NO";
}

// Other programs on the machine slow both sides of every round trip; the figures say how busy it
// was.
QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "n/a";
    return file.readLine().trimmed();
}

void printTable(const Plan& plan, const LinkFigures& tcp, const LinkFigures& pty)
{
    std::printf("Terminal and loopback test against karvel-reader-sim in its own process "
                "(%s run)\n",
                plan.quick ? "quick" : "full");
    std::printf("CPU is user+sys of the utility's process only, as %% of one core.\n\n");
    printRow("", "TCP 127.0.0.1", "pty");
    std::printf("%s\n", QByteArray(kLabelWidth + 2 * kColumnWidth, '-').constData());

    const QByteArray floodLabel =
        "Terminal flood of " + QByteArray::number(plan.floodBytes) + " bytes";
    std::printf("%s\n", floodLabel.constData());
    printRow("  taken in and drawn (MB/s)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.flood.bytesPerSecond / 1e6, 2); });
    printRow("  CPU during the flood", tcp, pty,
             [](const LinkFigures& f) { return cell(f.flood.cpuPercent, 1, " %"); });
    printRow("  every byte arrived, last cell right", tcp, pty,
             [](const LinkFigures& f) { return yesNo(f.flood.complete && f.flood.lastCellRight); });

    const QByteArray idleLabel =
        "Terminal open and idle, " + QByteArray::number(plan.idleMs / 1000.0, 'f', 1) + " s";
    std::printf("%s\n", idleLabel.constData());
    printRow("  CPU", tcp, pty,
             [](const LinkFigures& f) { return cell(f.idle.cpuPercent, 3, " %"); });
    printRow("  event-loop wake-ups per second", tcp, pty,
             [](const LinkFigures& f) { return cell(f.idle.wakesPerSecond, 1); });

    const QByteArray echoLabel =
        "Echo test, " + QByteArray::number(plan.passes) + " passes of 256 characters";
    std::printf("%s\n", echoLabel.constData());
    printRow("  window: pause (s)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.window.pauseSeconds, 2); });
    printRow("  window: passes (s)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.window.passSeconds, 2); });
    printRow("  window: round trip (us)", tcp, pty, [](const LinkFigures& f) {
        return cell(f.window.passSeconds * 1e6 / double(f.window.characters), 1);
    });
    printRow("  window: CPU per round trip (us)", tcp, pty, [](const LinkFigures& f) {
        return cell(f.window.passCpuSeconds * 1e6 / double(f.window.characters), 1);
    });
    printRow("  window: fault lines, ended with full count", tcp, pty, [](const LinkFigures& f) {
        return QByteArray::number(f.window.faults) + ", " + yesNo(f.window.complete);
    });
    printRow("  window: resident memory growth (MiB)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.window.residentGrowthMiB, 1); });
    printRow("  every echo wrong: passes (s)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.wrong.passSeconds, 2); });
    printRow("  every echo wrong: lines in the list", tcp, pty, [](const LinkFigures& f) {
        return QByteArray::number(f.wrong.faults) + ", " + yesNo(f.wrong.complete);
    });
    printRow("  every echo wrong: lines per second", tcp, pty, [](const LinkFigures& f) {
        return cell(double(f.wrong.faults) / f.wrong.passSeconds, 0);
    });
    printRow("  every echo wrong: lines/s, first tenth of the list", tcp, pty,
             [](const LinkFigures& f) { return cell(f.wrong.firstTenthLinesPerSecond, 0); });
    printRow("  every echo wrong: lines/s, last tenth of the list", tcp, pty,
             [](const LinkFigures& f) { return cell(f.wrong.lastTenthLinesPerSecond, 0); });
    printRow("  every echo wrong: CPU per line (us), first tenth", tcp, pty,
             [](const LinkFigures& f) { return cell(f.wrong.firstTenthCpuPerLine, 1); });
    printRow("  every echo wrong: CPU per line (us), last tenth", tcp, pty,
             [](const LinkFigures& f) { return cell(f.wrong.lastTenthCpuPerLine, 1); });
    printRow("  every echo wrong: CPU per round trip (us)", tcp, pty, [](const LinkFigures& f) {
        return cell(f.wrong.passCpuSeconds * 1e6 / double(f.wrong.characters), 1);
    });
    printRow("  every echo wrong: resident memory growth (MiB)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.wrong.residentGrowthMiB, 1); });
    printRow("  passes, every echo wrong / good reader", tcp, pty, [](const LinkFigures& f) {
        return cell(f.wrong.passSeconds / f.window.passSeconds, 2);
    });
    printRow("  bare client: pause (s)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.bare.pauseSeconds, 2); });
    printRow("  bare client: passes (s)", tcp, pty,
             [](const LinkFigures& f) { return cell(f.bare.passSeconds, 2); });
    printRow("  bare client: round trip (us)", tcp, pty, [](const LinkFigures& f) {
        return cell(f.bare.passSeconds * 1e6 / double(f.bare.characters), 1);
    });
    printRow("  bare client: CPU per round trip (us)", tcp, pty, [](const LinkFigures& f) {
        return cell(f.bare.passCpuSeconds * 1e6 / double(f.bare.characters), 1);
    });
    printRow("  bare client: faults, complete", tcp, pty, [](const LinkFigures& f) {
        return QByteArray::number(f.bare.faults) + ", " + yesNo(f.bare.complete);
    });
    printRow("  passes, window / bare client", tcp, pty, [](const LinkFigures& f) {
        return cell(f.window.passSeconds / f.bare.passSeconds, 2);
    });
    std::printf("Load average at the end: %s\n", loadAverage().constData());
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    quietOffscreenWarnings();

    Plan plan;
    QString simProgram = QCoreApplication::applicationDirPath() + "/../sim/karvel-reader-sim";
    const QStringList arguments = application.arguments().mid(1);
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
    if (!tcp.connected || !pty.connected) {
        std::fprintf(stderr, "\nCould not connect:%s%s\n", tcp.connected ? "" : " TCP",
                     pty.connected ? "" : " pty");
        return 1;
    }
    return 0;
}

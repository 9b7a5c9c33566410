// Figures for the transaction upload: karvel-reader-sim runs as its own
// process with a filled log; the utility uploads it through the utilities
// window ("Upload Stored Data") over TCP on 127.0.0.1 and over the sim's
// pseudo-terminal, and a bare client written with plain sockets and file
// descriptors does the same exchange against the same process. Also the CPU
// the utility takes while a reply is awaited. It reports; it never judges.
//
//   bench_upload [--quick] [--records N] [--rounds N] [--sim PATH]
#include "BenchSupport.h"
#include "app/CommandMenu.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/UtilityApp.h"
#include "comm/CommandChannel.h"
#include "comm/CommunicationsWindow.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
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

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr int kReplyTimeoutMs = 5000;

struct Plan
{
    int records = 10000;
    int rounds = 5;
    int waitMs = 5000;
    QString simPath;
};

struct Run
{
    bool ok = false;
    double ms = NAN;
    double cpuPercent = NAN;
};

template <typename Body> Run timed(Body&& body)
{
    Run run;
    QElapsedTimer wall;
    const qint64 cpuBefore = processCpuMicroseconds();
    wall.start();
    run.ok = body();
    const qint64 ns = wall.nsecsElapsed();
    run.ms = double(ns) / 1e6;
    run.cpuPercent = 100.0 * double(processCpuMicroseconds() - cpuBefore) * 1000.0 / double(ns);
    return run;
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The simulated reader as a separate program, as a person would run it.
class ReaderProcess
{
public:
    bool start(const Plan& plan)
    {
        m_process.setProgram(plan.simPath);
        m_process.setArguments({QStringLiteral("--tcp-port"), QStringLiteral("0"),
                                QStringLiteral("--pty"), QStringLiteral("--quiet"),
                                QStringLiteral("--records"), QString::number(plan.records)});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (!m_process.waitForStarted(5000))
            return false;
        const QDeadlineTimer deadline(10000);
        while ((port == 0 || ptyPath.isEmpty()) && !deadline.hasExpired()) {
            if (!m_process.canReadLine() &&
                !m_process.waitForReadyRead(int(deadline.remainingTime())))
                return false;
            while (m_process.canReadLine()) {
                const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
                if (line.startsWith(QLatin1String("listening on 127.0.0.1:")))
                    port = quint16(line.section(QLatin1Char(':'), -1).toUInt());
                else if (line.startsWith(QLatin1String("pseudo-terminal: ")))
                    ptyPath = line.section(QLatin1String(": "), 1);
            }
        }
        return port != 0 && !ptyPath.isEmpty();
    }
    ~ReaderProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

    quint16 port = 0;
    QString ptyPath;

private:
    QProcess m_process;
};

// Answers the save prompt with a fixed path.
class SaveToDialogs : public Dialogs
{
public:
    QString path;
    bool askYesNo(const QString&) override { return true; }
    void inform(const QString&) override {}
    std::optional<QString> chooseOpenFile(const QString&) override { return std::nullopt; }
    std::optional<QString> chooseSaveFile(const QString&, const QString&, const QString&) override
    {
        return path;
    }
};

// One started utility connected to the reader process, set up as a person would.
struct Utility
{
    static constexpr int kPtyPort = 3;

    SaveToDialogs dialogs;
    UtilityApp app{&dialogs};

    Utility() { app.start(); }

    bool connect(bool tcp, const ReaderProcess& reader)
    {
        CommunicationsWindow& comm = app.main().communications();
        if (tcp) {
            comm.tcpOption->setChecked(true);
            comm.addressBox->setText(QStringLiteral("127.0.0.1"));
            comm.tcpPortBox->setText(QString::number(reader.port));
        } else {
            app.portNames().setOverride(kPtyPort, reader.ptyPath);
            comm.serialOption->setChecked(true);
            comm.portOptions[kPtyPort - 1]->setChecked(true);
        }
        emit comm.connectButton->clicked();
        if (app.main().menu().connectionLabel->text() != QLatin1String("Connected"))
            return false;
        emit app.main().menu().utilitiesEntry->clicked();
        // Let the connection's own events settle before anything is counted.
        runEventLoopFor(100);
        return true;
    }
};

Run utilityUpload(bool tcp, const ReaderProcess& reader, const QString& path, int records)
{
    Utility utility;
    if (!utility.connect(tcp, reader))
        return {};
    utility.dialogs.path = path;
    UtilitiesWindow& window = utility.app.main().readerUtilities();
    const QString done = QStringLiteral("Upload complete,  %1 transactions received ").arg(records);
    return timed([&] {
        emit window.uploadButton->clicked();
        return window.statusText() == done;
    });
}

// The reader's side of the exchange, done with plain file descriptors.
class BareClient
{
public:
    explicit BareClient(int fd) : m_fd(fd) {}
    ~BareClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool send(const char* bytes, size_t size)
    {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, bytes, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            bytes += n;
            size -= size_t(n);
        }
        return true;
    }

    // One reply line without its CR; nothing on time-out or a closed link.
    std::optional<std::string> readLine()
    {
        for (;;) {
            const size_t cr = m_buffer.find('\r');
            if (cr != std::string::npos) {
                std::string line = m_buffer.substr(0, cr);
                m_buffer.erase(0, cr + 1);
                return line;
            }
            pollfd pfd{m_fd, POLLIN, 0};
            const int ready = ::poll(&pfd, 1, kReplyTimeoutMs);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return std::nullopt;
            char chunk[4096];
            const ssize_t n = ::read(m_fd, chunk, sizeof chunk);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                return std::nullopt;
            m_buffer.append(chunk, size_t(n));
        }
    }

private:
    int m_fd;
    std::string m_buffer;
};

int openTcp(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int openPty(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios attributes{};
    if (::tcgetattr(fd, &attributes) == 0) {
        ::cfmakeraw(&attributes);
        ::tcsetattr(fd, TCSANOW, &attributes);
    }
    return fd;
}

// "\r\r", "lr" answered "OK", then "l" until "END", each record written to the file with CR LF.
bool bareUpload(BareClient& client, const QString& path, int records)
{
    if (!client.send("\r\r", 2) || !client.send("lr\r", 3) || client.readLine() != "OK")
        return false;
    const int file =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return false;
    int count = 0;
    bool ok = false;
    for (;;) {
        if (!client.send("l\r", 2))
            break;
        std::optional<std::string> line = client.readLine();
        if (!line)
            break;
        if (*line == "END") {
            ok = count == records;
            break;
        }
        line->append("\r\n");
        if (::write(file, line->data(), line->size()) != ssize_t(line->size()))
            break;
        ++count;
    }
    ::close(file);
    return ok;
}

Run bareRun(bool tcp, const ReaderProcess& reader, const QString& path, int records)
{
    const int fd = tcp ? openTcp(reader.port) : openPty(reader.ptyPath);
    if (fd < 0)
        return {};
    BareClient client(fd);
    if (tcp) {
        // Give the reader time to take this client in place of the last one.
        ::usleep(50000);
    }
    return timed([&] { return bareUpload(client, path, records); });
}

// ReadReaderLine waiting for the reply to a restart, which never comes.
Run silentWait(bool tcp, const ReaderProcess& reader, const Plan& plan)
{
    Utility utility;
    if (!utility.connect(tcp, reader))
        return {};
    CommandChannel& channel = utility.app.main().channel();
    channel.SendReaderCommand(QByteArray("\0X", 2));
    if (plan.waitMs < kReplyTimeoutMs) {
        // The reply timer's own action, only sooner; the full time-out is fixed.
        QTimer::singleShot(plan.waitMs, Qt::PreciseTimer, &utility.app.main(),
                           [&utility] { utility.app.state().ReplyTimedOut = true; });
    }
    return timed([&] {
        QByteArray reply;
        bool timedOut = false;
        channel.ReadReaderLine(reply, timedOut);
        return timedOut && reply.isEmpty();
    });
}

struct LinkFigures
{
    std::vector<double> utilityMs, bareMs, utilityCpu, bareCpu;
    int failed = 0;
    bool sameFiles = true;
    Run wait;
};

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void measureRound(bool tcp, const ReaderProcess& reader, const Plan& plan, const QDir& dir,
                  LinkFigures& figures)
{
    const QString utilityPath = dir.filePath(QStringLiteral("utility.txt"));
    const QString barePath = dir.filePath(QStringLiteral("bare.txt"));
    const Run utility = utilityUpload(tcp, reader, utilityPath, plan.records);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const Run bare = bareRun(tcp, reader, barePath, plan.records);
    if (!utility.ok || !bare.ok) {
        ++figures.failed;
        return;
    }
    figures.utilityMs.push_back(utility.ms);
    figures.bareMs.push_back(bare.ms);
    figures.utilityCpu.push_back(utility.cpuPercent);
    figures.bareCpu.push_back(bare.cpuPercent);
    const QByteArray written = fileBytes(utilityPath);
    figures.sameFiles = figures.sameFiles && !written.isEmpty() && written == fileBytes(barePath);
}

void printLink(const char* name, const LinkFigures& f, const Plan& plan)
{
    const double utility = median(f.utilityMs);
    const double bare = median(f.bareMs);
    // CPU time this process spent on one record, in microseconds.
    const auto cpuPerRecord = [&plan](double ms, double percent) {
        return 1000.0 * ms * percent / 100.0 / plan.records;
    };
    std::printf("%s\n", name);
    std::printf("  utility upload, median of %zu (ms)        %10.1f   %6.1f us a record, "
                "CPU %5.1f us a record\n",
                f.utilityMs.size(), utility, 1000.0 * utility / plan.records,
                cpuPerRecord(utility, median(f.utilityCpu)));
    std::printf("  bare client upload, median of %zu (ms)    %10.1f   %6.1f us a record, "
                "CPU %5.1f us a record\n",
                f.bareMs.size(), bare, 1000.0 * bare / plan.records,
                cpuPerRecord(bare, median(f.bareCpu)));
    std::printf("  ratio utility / bare                     %10.2f   (rounds:", utility / bare);
    for (size_t i = 0; i < f.utilityMs.size(); ++i)
        std::printf(" %.2f", f.utilityMs[i] / f.bareMs[i]);
    std::printf(")\n");
    std::printf("  files byte for byte the same             %10s\n", f.sameFiles ? "yes" : "NO");
    std::printf("  failed rounds                            %10d\n", f.failed);
    std::printf("  CPU waiting %.1f s for a reply (%% core)  %10.3f   (%s)\n", f.wait.ms / 1000.0,
                f.wait.cpuPercent, f.wait.ok ? "ended as a time-out" : "did NOT time out");
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    quietOffscreenWarnings();

    Plan plan;
    plan.simPath =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/karvel-reader-sim");
    const QStringList arguments = application.arguments().mid(1);
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        bool ok = true;
        if (argument == QLatin1String("--quick")) {
            plan.records = 1000;
            plan.rounds = 1;
            plan.waitMs = 1000;
        } else if (argument == QLatin1String("--records") && i + 1 < arguments.size()) {
            plan.records = arguments.at(++i).toInt(&ok);
            ok = ok && plan.records >= 0 && plan.records <= 99999;
        } else if (argument == QLatin1String("--rounds") && i + 1 < arguments.size()) {
            plan.rounds = arguments.at(++i).toInt(&ok);
            ok = ok && plan.rounds >= 1;
        } else if (argument == QLatin1String("--sim") && i + 1 < arguments.size()) {
            plan.simPath = arguments.at(++i);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--records N] [--rounds N] [--sim PATH]\n"
                         "  --quick    1000 records, one round, 1 s wait\n"
                         "  --records  records in the reader's log (default 10000)\n"
                         "  --rounds   rounds on each link (default 5)\n"
                         "  --sim      the karvel-reader-sim program\n",
                         argv[0]);
            return argument == QLatin1String("--help") ? 0 : 2;
        }
    }

    ReaderProcess reader;
    if (!reader.start(plan)) {
        std::fprintf(stderr, "could not start %s\n", qPrintable(plan.simPath));
        return 1;
    }
    const QByteArray loadBefore = machineLoadAverage();
    QTemporaryDir dir;
    LinkFigures tcp;
    LinkFigures pty;
    // Alternated, so that a busy spell on the machine lands on both sides.
    for (int round = 0; round < plan.rounds; ++round) {
        measureRound(true, reader, plan, QDir(dir.path()), tcp);
        measureRound(false, reader, plan, QDir(dir.path()), pty);
    }
    tcp.wait = silentWait(true, reader, plan);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    pty.wait = silentWait(false, reader, plan);

    std::printf("Transaction upload of %d records from karvel-reader-sim (own process), "
                "platform %s\n",
                plan.records, qPrintable(QGuiApplication::platformName()));
    std::printf("CPU is user+sys of this process, as %% of one core.\n");
    std::printf("Load average before: %s, after: %s (2 cores)\n\n", loadBefore.constData(),
                machineLoadAverage().constData());
    printLink("TCP 127.0.0.1", tcp, plan);
    printLink("pseudo-terminal", pty, plan);
    return tcp.failed + pty.failed == 0 ? 0 : 1;
}

#include "BenchSupport.h"

#include "app/CommandMenu.h"
#include "app/MainWindow.h"
#include "comm/CommunicationsWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <thread>

extern char** environ;

HeadlessByDefault::HeadlessByDefault()
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

BenchApplication::BenchApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (text.startsWith(QLatin1String("This plugin does not support")))
                return;
            previous(type, context, text);
        });
}

int linksExitStatus(bool tcpConnected, bool ptyConnected)
{
    if (tcpConnected && ptyConnected)
        return 0;
    std::fprintf(stderr, "\nCould not connect:%s%s\n", tcpConnected ? "" : " TCP",
                 ptyConnected ? "" : " pty");
    return 1;
}

qint64 processCpuMicroseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto micros = [](const timeval& t) { return qint64(t.tv_sec) * 1000000 + t.tv_usec; };
    return micros(usage.ru_utime) + micros(usage.ru_stime);
}

void runEventLoopFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

WakeCounter::WakeCounter()
{
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        m_connection =
            QObject::connect(dispatcher, &QAbstractEventDispatcher::awake, [this] { ++m_wakes; });
}

WakeCounter::~WakeCounter()
{
    QObject::disconnect(m_connection);
}

CpuMeter::CpuMeter()
{
    m_cpuBefore = processCpuMicroseconds();
    m_wall.start();
}

CpuWindow CpuMeter::read() const
{
    CpuWindow window;
    window.wallNs = m_wall.nsecsElapsed();
    const qint64 cpuUsed = processCpuMicroseconds() - m_cpuBefore;
    if (window.wallNs > 0) {
        window.cpuPercent = 100.0 * double(cpuUsed) * 1000.0 / double(window.wallNs);
        window.wakesPerSecond = double(m_wakes.wakes()) * 1e9 / double(window.wallNs);
    }
    return window;
}

qint64 residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (sysconf(_SC_PAGESIZE) / 1024) : 0;
}

QByteArray machineLoadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "unknown";
    const QList<QByteArray> fields = file.readAll().split(' ');
    return fields.mid(0, 3).join(' ');
}

double median(std::vector<double> values)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

QString simulatedReaderProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/karvel-reader-sim");
}

ReaderProcess::~ReaderProcess()
{
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(1000);
}

bool ReaderProcess::start(const QString& program, const QStringList& options, int readers)
{
    QStringList arguments{QStringLiteral("--tcp-port"), QStringLiteral("0"),
                          QStringLiteral("--quiet")};
    if (readers > 1)
        arguments << QStringLiteral("--readers") << QString::number(readers);
    m_process.setProgram(program);
    m_process.setArguments(arguments + options);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start();
    if (!m_process.waitForStarted(5000))
        return false;
    const bool wantsPty = options.contains(QStringLiteral("--pty"));
    const auto told = [&] {
        return m_ports.size() == readers && (!wantsPty || !m_ptyPath.isEmpty());
    };
    // A thousand readers take a while to open their ports.
    const QDeadlineTimer deadline(20000);
    while (!told() && !deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        while (m_process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(m_process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("listening on 127.0.0.1:")))
                m_ports << quint16(line.section(QLatin1Char(':'), -1).toUInt());
            else if (line.startsWith(QLatin1String("pseudo-terminal: ")))
                m_ptyPath = line.section(QLatin1String(": "), 1);
        }
    }
    return told();
}

double ReaderProcess::cpuSeconds() const
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(processId()));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name in brackets; utime and stime are fields 14 and 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

void ReaderProcess::command(const QByteArray& line)
{
    m_process.write(line + '\n');
    m_process.waitForBytesWritten(1000);
}

BareLink::~BareLink()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool BareLink::openTcp(quint16 port)
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
    return ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

bool BareLink::openPty(const QString& path)
{
    m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0)
        return false;
    termios attributes{};
    if (::tcgetattr(m_fd, &attributes) != 0)
        return false;
    ::cfmakeraw(&attributes);
    return ::tcsetattr(m_fd, TCSANOW, &attributes) == 0;
}

bool BareLink::send(QByteArrayView bytes)
{
    const char* next = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, next, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        next += n;
        left -= n;
    }
    return true;
}

qsizetype BareLink::receive(char* buffer, qsizetype max, int timeoutMs)
{
    pollfd ready{m_fd, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0)
        return 0;
    const ssize_t n = ::read(m_fd, buffer, size_t(max));
    return n > 0 ? n : 0;
}

void BareLink::discardPending()
{
    char buffer[4096];
    while (receive(buffer, sizeof buffer, 0) > 0) {
    }
}

std::optional<QByteArray> BareLink::readLine(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const qsizetype cr = m_unread.indexOf('\r');
        if (cr >= 0) {
            const QByteArray line = m_unread.left(cr);
            m_unread.remove(0, cr + 1);
            return line;
        }
        char chunk[4096];
        const qsizetype n = receive(chunk, sizeof chunk, int(deadline.remainingTime()));
        if (n == 0)
            return std::nullopt;
        m_unread.append(chunk, n);
    }
}

bool StartedUtility::connect(bool tcp, quint16 port, const QString& ptyPath)
{
    CommunicationsWindow& comm = main().communications();
    if (tcp) {
        comm.tcpOption->setChecked(true);
        comm.addressBox->setText(QStringLiteral("127.0.0.1"));
        comm.tcpPortBox->setText(QString::number(port));
    } else {
        app.portNames().setOverride(kPtyPort, ptyPath);
        comm.serialOption->setChecked(true);
        comm.portOptions[kPtyPort - 1]->setChecked(true);
    }
    emit comm.connectButton->clicked();
    return main().menu().connectionLabel->text() == QLatin1String("Connected");
}

void StartedUtility::disconnect()
{
    emit main().communications().disconnectButton->clicked();
}

LabelWatch::LabelWatch(const QLabel& label, const QElapsedTimer& clock)
    : m_label(label), m_clock(clock), m_shown(label.text())
{
    QCoreApplication::instance()->installEventFilter(this);
}

LabelWatch::~LabelWatch()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool LabelWatch::eventFilter(QObject*, QEvent*)
{
    if (m_label.text() != m_shown) {
        m_shown = m_label.text();
        m_changes.append({m_shown, m_clock.nsecsElapsed(), processCpuMicroseconds()});
    }
    return false;
}

QByteArray figureText(double value, int decimals, const char* unit)
{
    if (std::isnan(value))
        return "n/a";
    return QByteArray::number(value, 'f', decimals) + unit;
}

QByteArray yesNo(bool yes)
{
    return yes ? "yes" : "NO";
}

QByteArray roundRatios(const std::vector<double>& utility, const std::vector<double>& bare)
{
    QByteArray text;
    for (size_t i = 0; i < std::min(utility.size(), bare.size()); ++i)
        text += ' ' + QByteArray::number(utility[i] / bare[i], 'f', 2);
    return text;
}

void LinkTable::printHeader() const
{
    printRow("", "TCP 127.0.0.1", "pty");
    std::printf("%s\n", QByteArray(m_labelWidth + 2 * kColumnWidth, '-').constData());
}

void LinkTable::printHeading(const QByteArray& text) const
{
    std::printf("%s\n", text.constData());
}

void LinkTable::printRow(const char* label, const QByteArray& tcp, const QByteArray& pty) const
{
    std::printf("%-*s%*s%*s\n", m_labelWidth, label, kColumnWidth, tcp.constData(), kColumnWidth,
                pty.constData());
}

ChildRun runChild(const QString& program, const QStringList& arguments)
{
    ChildRun run;
    QTemporaryFile output;
    if (!output.open())
        return run;
    QList<QByteArray> words{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        words << argument.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output.handle(), 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    // wait4 gives this child's own figures, not those of every child so far.
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.ran = WIFEXITED(status);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKiB = usage.ru_maxrss;
    output.seek(0);
    run.output = output.readAll();
    return run;
}

ThreadedRun runOnThreads(const QList<quint16>& ports, int jobs,
                         const std::function<bool(quint16)>& reader)
{
    std::atomic<qsizetype> next{0};
    std::atomic<int> succeeded{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> workers;
    for (int i = 0; i < jobs; ++i)
        workers.emplace_back([&] {
            for (qsizetype index = next++; index < ports.size(); index = next++)
                succeeded += reader(ports.at(index)) ? 1 : 0;
        });
    for (std::thread& worker : workers)
        worker.join();
    return {double(clock.nsecsElapsed()) / 1e9, succeeded};
}

bool writeReadersFile(const QString& path, const QList<quint16>& ports)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    for (quint16 port : ports)
        file.write("127.0.0.1:" + QByteArray::number(port) + '\n');
    return file.flush();
}

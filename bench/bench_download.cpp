// Figures for the firmware download against karvel-reader-sim run as its own
// process, over TCP on 127.0.0.1 and over the pseudo-terminal it offers: the
// utility's real download path (the download window) beside a bare protocol
// client written with plain file descriptors, in the same run against the same
// reader process. It reports; it never judges a figure.
//
//   bench_download [--quick] [--short-pauses] [--memory-mib N]
//
// --short-pauses runs the fixed pause after the attention sequence at 1/100 of
// its length, for the utility and the bare client alike; the block phase does
// not contain it either way.
#include "BenchSupport.h"
#include "app/CommandMenu.h"
#include "app/Dialogs.h"
#include "app/MainWindow.h"
#include "app/UtilityApp.h"
#include "comm/CommunicationsWindow.h"
#include "comm/Link.h"
#include "firmware/DownloadWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
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
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int kPtyPort = 3;

// Answers the open-file dialog with the image under test; nothing is shown.
class BenchDialogs : public Dialogs
{
public:
    QString image;
    QStringList messages;
    bool askYesNo(const QString&) override { return true; }
    void inform(const QString& text) override { messages << text; }
    std::optional<QString> chooseOpenFile(const QString&) override { return image; }
    std::optional<QString> chooseSaveFile(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
};

double processCpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name in brackets; utime and stime are fields 14 and 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK));
}

struct Run
{
    bool ok = false;
    double wholeMs = 0;
    double blockMs = 0;
    double cpuS = 0;
    double readerCpuS = 0;
    qint64 peakKiB = 0;
    QString note;
};

// The reader process: its TCP port and its pseudo-terminal.
struct Reader
{
    QProcess process;
    quint16 port = 0;
    QString pty;

    bool start(const QString& program)
    {
        process.setProgram(program);
        process.setArguments({"--tcp-port", "0", "--pty", "--quiet"});
        process.start();
        if (!process.waitForStarted(5000))
            return false;
        QElapsedTimer clock;
        clock.start();
        QByteArray out;
        while ((port == 0 || pty.isEmpty()) && clock.elapsed() < 5000) {
            process.waitForReadyRead(500);
            out += process.readAllStandardOutput();
            const QRegularExpressionMatch listening =
                QRegularExpression("listening on 127.0.0.1:(\\d+)").match(QString::fromLatin1(out));
            if (listening.hasMatch())
                port = quint16(listening.captured(1).toUInt());
            const QRegularExpressionMatch terminal =
                QRegularExpression("pseudo-terminal: (\\S+)").match(QString::fromLatin1(out));
            if (terminal.hasMatch())
                pty = terminal.captured(1);
        }
        return port != 0 && !pty.isEmpty();
    }
    ~Reader()
    {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
    }
};

// The utility, connected as a user would connect it, downloading through its window.
Run utilityDownload(Reader& reader, bool tcp, const QString& image, double pauseScale)
{
    Run run;
    BenchDialogs dialogs;
    dialogs.image = image;
    UtilityApp app(&dialogs);
    app.start();
    MainWindow& main = app.main();
    CommunicationsWindow& comm = main.communications();
    if (tcp) {
        comm.tcpOption->setChecked(true);
        comm.addressBox->setText(QStringLiteral("127.0.0.1"));
        comm.tcpPortBox->setText(QString::number(reader.port));
    } else {
        app.portNames().setOverride(kPtyPort, reader.pty);
        comm.serialOption->setChecked(true);
        comm.portOptions[kPtyPort - 1]->setChecked(true);
    }
    emit comm.connectButton->clicked();
    if (main.menu().connectionLabel->text() != QLatin1String("Connected")) {
        run.note = QStringLiteral("no link");
        return run;
    }
    emit main.menu().flashEntry->clicked();
    DownloadWindow& window = main.flashDownload();
    window.setTimeScale(pauseScale, 1.0);
    window.selectFile();

    QElapsedTimer whole;
    QElapsedTimer blocks;
    qint64 blockNs = 0;
    QObject::connect(&window, &DownloadWindow::handshakeDone, [&blocks] { blocks.start(); });
    QObject::connect(&window, &DownloadWindow::transferDone,
                     [&blocks, &blockNs] { blockNs = blocks.nsecsElapsed(); });
    QTimer sampler;
    sampler.setInterval(20);
    QObject::connect(&sampler, &QTimer::timeout,
                     [&run] { run.peakKiB = std::max(run.peakKiB, residentKiB()); });
    sampler.start();
    const double readerCpu = processCpuSeconds(reader.process.processId());
    const double cpu = cpuSeconds();
    whole.start();
    window.startDownload();
    run.wholeMs = double(whole.nsecsElapsed()) / 1e6;
    run.cpuS = cpuSeconds() - cpu;
    run.readerCpuS = processCpuSeconds(reader.process.processId()) - readerCpu;
    run.peakKiB = std::max(run.peakKiB, residentKiB());
    run.blockMs = double(blockNs) / 1e6;
    run.ok = dialogs.messages == QStringList{QStringLiteral("Download complete")};
    if (!run.ok)
        run.note = dialogs.messages.join(QLatin1Char('|'));
    emit comm.disconnectButton->clicked();
    return run;
}

// Bare client: plain descriptors, blocking writes, poll() for every reply.
class BareClient
{
public:
    ~BareClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool openTcp(quint16 port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        m_tcp = true;
        return ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    bool openSerial(const QString& path)
    {
        m_fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        if (m_fd < 0)
            return false;
        termios attributes{};
        ::tcgetattr(m_fd, &attributes);
        ::cfmakeraw(&attributes);
        ::cfsetspeed(&attributes, B9600);
        return ::tcsetattr(m_fd, TCSANOW, &attributes) == 0;
    }

    bool send(const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }
    // Up to max bytes, waiting at most timeoutMs for the first.
    QByteArray receive(int max, int timeoutMs)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        QByteArray bytes(max, '\0');
        const ssize_t n = ::read(m_fd, bytes.data(), size_t(max));
        return n > 0 ? bytes.left(n) : QByteArray();
    }
    bool expect(char wanted, int timeoutMs)
    {
        const QByteArray got = receive(m_tcp ? 64 : 1, timeoutMs);
        return !got.isEmpty() && got.at(0) == wanted;
    }

    bool download(const QString& path, double pauseScale, qint64& blockNs)
    {
        const int file = ::open(path.toLocal8Bit().constData(), O_RDONLY);
        if (file < 0)
            return false;
        const off_t size = ::lseek(file, 0, SEEK_END);
        ::lseek(file, 0, SEEK_SET);
        const qint64 dataLength = qint64(size) - 44;
        bool ok = send(kAttentionSequence);
        ::usleep(useconds_t((m_tcp ? 3000 : 2000) * pauseScale * 1000));
        if (!m_tcp)
            ::tcflush(m_fd, TCIFLUSH);
        ok = ok && send("B");
        QByteArray reply;
        while (ok && reply != "TK") {
            const QByteArray got = receive(64, 10000);
            ok = !got.isEmpty() && reply.size() < 2;
            reply += got;
        }
        QElapsedTimer clock;
        clock.start();
        char block[52];
        for (qint64 sent = 0; ok && sent < dataLength;) {
            const int length = int(std::min<qint64>(50, dataLength - sent));
            ok = ::read(file, block + 1, size_t(length)) == length;
            block[0] = char(length);
            char check = 0;
            for (int i = 1; i <= length; ++i)
                check ^= block[i];
            block[length + 1] = check;
            ok = ok && send(QByteArray(block, length + 2)) && expect('K', 10000);
            sent += length;
        }
        QByteArray ending(1, '\0');
        QByteArray trailer(44, '\0');
        ok = ok && ::read(file, trailer.data(), 44) == 44;
        ending += trailer + QDate::currentDate().toString(QStringLiteral("MMddyyyy")).toLatin1();
        ok = ok && send(ending) && expect('B', 10000);
        blockNs = clock.nsecsElapsed();
        ::close(file);
        return ok;
    }

private:
    int m_fd = -1;
    bool m_tcp = false;
};

Run bareDownload(Reader& reader, bool tcp, const QString& image, double pauseScale)
{
    Run run;
    BareClient client;
    if (!(tcp ? client.openTcp(reader.port) : client.openSerial(reader.pty))) {
        run.note = QStringLiteral("no link");
        return run;
    }
    const double readerCpu = processCpuSeconds(reader.process.processId());
    const double cpu = cpuSeconds();
    QElapsedTimer whole;
    whole.start();
    qint64 blockNs = 0;
    run.ok = client.download(image, pauseScale, blockNs);
    run.wholeMs = double(whole.nsecsElapsed()) / 1e6;
    run.cpuS = cpuSeconds() - cpu;
    run.readerCpuS = processCpuSeconds(reader.process.processId()) - readerCpu;
    run.blockMs = double(blockNs) / 1e6;
    return run;
}

bool writeImage(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk(1 << 16, '\0');
    for (int i = 0; i < chunk.size(); ++i)
        chunk[i] = char((i * 37 + 11) & 0xff);
    for (qint64 written = 0; written < size; written += chunk.size())
        file.write(chunk.constData(), std::min<qint64>(chunk.size(), size - written));
    return file.error() == QFileDevice::NoError;
}

struct Series
{
    std::vector<double> whole, block, cpu, readerCpu;
    int failed = 0;
    QString note;
    void add(const Run& run)
    {
        if (!run.ok) {
            ++failed;
            note = run.note;
            return;
        }
        whole.push_back(run.wholeMs);
        block.push_back(run.blockMs);
        cpu.push_back(run.cpuS);
        readerCpu.push_back(run.readerCpuS);
    }
};

void printSeries(const char* link, const Series& utility, const Series& bare)
{
    std::printf("\n%s, 256 KiB image, median of %zu runs, taken in turns\n", link,
                utility.whole.size());
    std::printf("  %-34s%14s%14s%10s\n", "", "utility", "bare client", "ratio");
    auto row = [](const char* label, double a, double b, int decimals) {
        std::printf("  %-34s%14.*f%14.*f%10.2f\n", label, decimals, a, decimals, b,
                    b > 0 ? a / b : 0.0);
    };
    auto best = [](const std::vector<double>& v) {
        return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
    };
    row("whole run (ms)", median(utility.whole), median(bare.whole), 1);
    row("block phase, TK to final B (ms)", median(utility.block), median(bare.block), 1);
    // Other work on a shared machine only ever adds time: the best run shows the path itself.
    row("  best run, whole (ms)", best(utility.whole), best(bare.whole), 1);
    row("  best run, block phase (ms)", best(utility.block), best(bare.block), 1);
    row("CPU of this process (s)", median(utility.cpu), median(bare.cpu), 3);
    row("CPU of the reader process (s)", median(utility.readerCpu), median(bare.readerCpu), 3);
    if (utility.failed || bare.failed)
        std::printf("  FAILED runs: utility %d (%s), bare %d (%s)\n", utility.failed,
                    qPrintable(utility.note), bare.failed, qPrintable(bare.note));
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    quietOffscreenWarnings();

    bool quick = false;
    double pauseScale = 1.0;
    std::optional<qint64> largeMiB;
    const QStringList arguments = application.arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--quick")) {
            quick = true;
        } else if (argument == QLatin1String("--memory-mib") && i + 1 < arguments.size()) {
            largeMiB = arguments[++i].toLongLong();
        } else if (argument == QLatin1String("--short-pauses")) {
            pauseScale = 0.01;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--quick] [--short-pauses] [--memory-mib N]\n"
                         "  --quick         1 run per link and an 8 MiB image for memory\n"
                         "  --short-pauses  pause after the attention sequence at 1/100\n"
                         "  --memory-mib N  size of the image for the memory figure\n",
                         argv[0]);
            return argument == QLatin1String("--help") ? 0 : 2;
        }
    }
    const int runs = quick ? 1 : 7;
    const qint64 largeSize = largeMiB.value_or(quick ? 8 : 64) << 20;

    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small.bin"));
    const QString large = dir.filePath(QStringLiteral("large.bin"));
    if (!writeImage(small, 256 << 10) || !writeImage(large, largeSize)) {
        std::fprintf(stderr, "cannot write the images\n");
        return 1;
    }
    Reader reader;
    if (!reader.start(QStringLiteral(KARVEL_SIM_PATH))) {
        std::fprintf(stderr, "cannot start %s\n", KARVEL_SIM_PATH);
        return 1;
    }

    std::printf("Firmware download against karvel-reader-sim (pid %lld), %s pauses\n",
                qint64(reader.process.processId()),
                pauseScale < 1.0 ? "1/100-length" : "full-length");
    std::printf("Utility: the download window's real path. Bare client: plain descriptors,\n"
                "one write per block, poll() for each reply. Both send one write per block.\n");

    const qint64 baseKiB = residentKiB();
    qint64 smallPeakKiB = 0;
    for (const bool tcp : {true, false}) {
        Series utility, bare;
        for (int i = 0; i < runs; ++i) {
            const Run u = utilityDownload(reader, tcp, small, pauseScale);
            smallPeakKiB = std::max(smallPeakKiB, u.peakKiB);
            utility.add(u);
            bare.add(bareDownload(reader, tcp, small, pauseScale));
        }
        printSeries(tcp ? "TCP 127.0.0.1" : "pseudo-terminal", utility, bare);
    }

    const Run largeRun = utilityDownload(reader, true, large, 0.01);
    std::printf("\nMemory of this process (resident), utility path over TCP\n");
    std::printf("  before any download            %8lld KiB\n", baseKiB);
    std::printf("  peak, 256 KiB image            %8lld KiB\n", smallPeakKiB);
    std::printf("  peak, %lld MiB image             %8lld KiB  (%s, %.1f s, %.3f CPU s)\n",
                largeSize >> 20, largeRun.peakKiB, largeRun.ok ? "complete" : "FAILED",
                largeRun.wholeMs / 1000, largeRun.cpuS);
    return 0;
}

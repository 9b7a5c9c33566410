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
#include "app/MainWindow.h"
#include "comm/Link.h"
#include "firmware/DownloadWindow.h"
#include "widgets/ClickLabel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

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

// The utility, connected as a user would connect it, downloading through its window.
Run utilityDownload(ReaderProcess& reader, bool tcp, const QString& image, double pauseScale)
{
    Run run;
    StartedUtility utility;
    utility.dialogs.fileToOpen = image;
    if (!utility.connect(tcp, reader.port(), reader.ptyPath())) {
        run.note = QStringLiteral("no link");
        return run;
    }
    MainWindow& main = utility.main();
    emit main.menu().flashEntry->clicked();
    DownloadWindow& window = main.flashDownload();
    window.setTimeScale(pauseScale, 1.0);
    window.selectFile();

    QElapsedTimer whole;
    // The status line first shows progress when the reader has taken the first
    // block: the block phase as a user sees it begin.
    const LabelWatch status(*window.statusLine, whole);
    QTimer sampler;
    sampler.setInterval(20);
    QObject::connect(&sampler, &QTimer::timeout,
                     [&run] { run.peakKiB = std::max(run.peakKiB, residentKiB()); });
    sampler.start();
    const double readerCpu = reader.cpuSeconds();
    const double cpu = cpuSeconds();
    whole.start();
    window.startDownload();
    // "Download complete" is shown as the reader acknowledges the end of the image.
    const qint64 wholeNs = whole.nsecsElapsed();
    run.wholeMs = double(wholeNs) / 1e6;
    run.cpuS = cpuSeconds() - cpu;
    run.readerCpuS = reader.cpuSeconds() - readerCpu;
    run.peakKiB = std::max(run.peakKiB, residentKiB());
    for (const LabelWatch::Change& change : status.changes()) {
        if (change.text.startsWith(QLatin1String("Downloading - "))) {
            run.blockMs = double(wholeNs - change.ns) / 1e6;
            break;
        }
    }
    run.ok = utility.dialogs.messages == QStringList{QStringLiteral("Download complete")};
    if (!run.ok)
        run.note = utility.dialogs.messages.join(QLatin1Char('|'));
    utility.disconnect();
    return run;
}

// The first byte of what comes within timeoutMs is the one wanted: serial
// reads one byte at a time, TCP everything that has come.
bool expectReply(BareLink& link, bool tcp, char wanted, int timeoutMs)
{
    char got[64];
    return link.receive(got, tcp ? 64 : 1, timeoutMs) > 0 && got[0] == wanted;
}

// The download with plain descriptors: blocking writes, one write per block,
// poll() for every reply. blockNs is the block phase, "TK" to the final "B".
bool bareDownload(BareLink& link, bool tcp, const QString& path, double pauseScale, qint64& blockNs)
{
    const int file = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (file < 0)
        return false;
    const off_t size = ::lseek(file, 0, SEEK_END);
    ::lseek(file, 0, SEEK_SET);
    const qint64 dataLength = qint64(size) - 44;
    bool ok = link.send(kAttentionSequence);
    ::usleep(useconds_t((tcp ? 3000 : 2000) * pauseScale * 1000));
    if (!tcp)
        link.discardPending();
    ok = ok && link.send("B");
    QByteArray reply;
    while (ok && reply != "TK") {
        char got[64];
        const qsizetype n = link.receive(got, sizeof got, 10000);
        ok = n > 0 && reply.size() < 2;
        reply.append(got, n);
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
        ok = ok && link.send(QByteArrayView(block, length + 2)) &&
             expectReply(link, tcp, 'K', 10000);
        sent += length;
    }
    QByteArray ending(1, '\0');
    QByteArray trailer(44, '\0');
    ok = ok && ::read(file, trailer.data(), 44) == 44;
    ending += trailer + QDate::currentDate().toString(QStringLiteral("MMddyyyy")).toLatin1();
    ok = ok && link.send(ending) && expectReply(link, tcp, 'B', 10000);
    blockNs = clock.nsecsElapsed();
    ::close(file);
    return ok;
}

Run bareRun(ReaderProcess& reader, bool tcp, const QString& image, double pauseScale)
{
    Run run;
    BareLink link;
    if (!(tcp ? link.openTcp(reader.port()) : link.openPty(reader.ptyPath()))) {
        run.note = QStringLiteral("no link");
        return run;
    }
    const double readerCpu = reader.cpuSeconds();
    const double cpu = cpuSeconds();
    QElapsedTimer whole;
    whole.start();
    qint64 blockNs = 0;
    run.ok = bareDownload(link, tcp, image, pauseScale, blockNs);
    run.wholeMs = double(whole.nsecsElapsed()) / 1e6;
    run.cpuS = cpuSeconds() - cpu;
    run.readerCpuS = reader.cpuSeconds() - readerCpu;
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
    BenchApplication application(argc, argv);

    bool quick = false;
    double pauseScale = 1.0;
    std::optional<qint64> largeMiB;
    const QStringList arguments = application.options();
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
    ReaderProcess reader;
    if (!reader.start(simulatedReaderProgram(), {QStringLiteral("--pty")})) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(simulatedReaderProgram()));
        return 1;
    }

    std::printf("Firmware download against karvel-reader-sim (pid %lld), %s pauses\n",
                reader.processId(), pauseScale < 1.0 ? "1/100-length" : "full-length");
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
            bare.add(bareRun(reader, tcp, small, pauseScale));
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

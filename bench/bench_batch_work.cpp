// The command line's work beside batch programming: identify, set the clock,
// collect (and clear) the transactions and flash the firmware of readers
// served by karvel-reader-sim in a process of its own. The utility runs as a
// process of its own too (its peak memory is the child's own), and a bare
// socket client does the same exchanges against the same readers in the same
// run, with as many threads as the utility has jobs. It reports; it never
// judges.
//
//   bench_batch_work [--quick | --rounds N]   (--quick: one round; three by default)
#include "BenchSupport.h"
#include "utilities/UtilityCommands.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kReaders = 1000;
constexpr int kRecords = 50;
constexpr int kJobs = 16;
constexpr int kReplyTimeoutMs = 5000;
constexpr int kImageBytes = 64 * 1024;

// One reader's exchange by a bare client: false when any part failed.
using BareWork = std::function<bool(BareLink&, quint16 port)>;

// A command as the utilities window sends it, with its expected reply.
bool exchange(BareLink& link, const QByteArray& command, const QByteArray& expected)
{
    return link.send("\r\r") && link.send(command + '\r') &&
           link.readLine(kReplyTimeoutMs) == expected;
}

bool bareIdentify(BareLink& link)
{
    return link.send("\r\r") && link.send("V\r") && link.readLine(kReplyTimeoutMs).has_value();
}

bool bareSetTime(BareLink& link)
{
    return exchange(link, utilitycommands::setTimeCommand(QDateTime::currentDateTime(), 0, true),
                    "O");
}

// "lr", then "l" until "END", each record written as it comes, the file
// synced with its folder before the reader may be cleared.
bool bareCollect(BareLink& link, const QString& path, bool clear)
{
    if (!exchange(link, "lr", "OK"))
        return false;
    const int file =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (file < 0)
        return false;
    bool ok = false;
    for (;;) {
        if (!link.send("l\r"))
            break;
        std::optional<QByteArray> line = link.readLine(kReplyTimeoutMs);
        if (!line)
            break;
        if (*line == "END") {
            ok = ::fsync(file) == 0;
            break;
        }
        line->append("\r\n");
        if (::write(file, line->constData(), size_t(line->size())) != line->size())
            break;
    }
    ::close(file);
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ok = ok && folder >= 0 && ::fsync(folder) == 0;
    if (folder >= 0)
        ::close(folder);
    return ok && (!clear || exchange(link, "lc", "OK"));
}

// Waits for exactly the bytes expected, each wait as long as the window's.
bool awaitBytes(BareLink& link, const QByteArray& expected, int timeoutMs)
{
    QByteArray got;
    char buffer[16];
    while (got.size() < expected.size()) {
        const qsizetype n = link.receive(buffer, sizeof buffer, timeoutMs);
        if (n == 0)
            return false;
        got.append(buffer, n);
    }
    return got == expected;
}

// The firmware window's exchange over TCP: attention, the pause, "B" and
// "TK", blocks of 50 each answered "K", the end marker with trailer and date
// stamp answered "B".
bool bareFlash(BareLink& link, const QByteArray& image, int pauseMs)
{
    if (!link.send(QByteArray("\0\x1b\r\0\x1b\r", 6)))
        return false;
    ::usleep(useconds_t(pauseMs) * 1000);
    if (!link.send("B") || !awaitBytes(link, "TK", 10000))
        return false;
    const qsizetype data = image.size() - 44;
    for (qsizetype at = 0; at < data; at += 50) {
        const QByteArray block = image.mid(at, std::min<qsizetype>(50, data - at));
        char check = 0;
        for (const char byte : block)
            check ^= byte;
        if (!link.send(char(block.size()) + block + check) || !awaitBytes(link, "K", 10000))
            return false;
    }
    const QByteArray ending = '\0' + image.right(44) +
                              QDate::currentDate().toString(QStringLiteral("MMddyyyy")).toLatin1();
    return link.send(ending) && awaitBytes(link, "B", 10000);
}

struct Figures
{
    std::vector<double> seconds;
    long peakKiB = 0;
    int done = -1;
    bool progressSeen = true;
};

enum class Work
{
    Identify,
    SetTime,
    Collect,
    Flash,
    FlashShortPause, // the pause after the attention sequence at a hundredth
};

// The first `readers` of the simulator; the first `base` of them run on their
// own too, for a reader's own cost (0: not).
struct Case
{
    const char* title;
    Work work;
    int readers;
    int jobs;
    int base;
    Figures utility{};
    Figures bare{};
    Figures utilityBase{};
    Figures bareBase{};
};

void bareRun(const QList<quint16>& ports, int jobs, const BareWork& work, Figures& figures)
{
    const ThreadedRun run = runOnThreads(ports, jobs, [&](quint16 port) {
        BareLink link;
        return link.openTcp(port) && work(link, port);
    });
    figures.seconds.push_back(run.seconds);
    figures.done = run.succeeded;
}

void utilityRun(const QString& utility, const QStringList& work, const QDir& dir,
                const QList<quint16>& ports, int jobs, Figures& figures)
{
    const QString list = dir.filePath(QStringLiteral("readers.txt"));
    if (!writeReadersFile(list, ports))
        return;
    const ChildRun run =
        runChild(utility, work + QStringList{"--readers", list, "--jobs", QString::number(jobs)});
    if (!run.ran)
        return;
    figures.seconds.push_back(run.seconds);
    figures.peakKiB = std::max(figures.peakKiB, run.peakKiB);
    // Every reader has its progress line, counted up to the total; the last
    // line says how many went through all the work.
    const QList<QByteArray> lines = run.output.trimmed().split('\n');
    const QByteArray total = '/' + QByteArray::number(ports.size()) + "] ";
    int progress = 0;
    for (const QByteArray& line : lines)
        if (line.startsWith('[' + QByteArray::number(progress + 1) + total))
            ++progress;
    figures.progressSeen = figures.progressSeen && progress == ports.size();
    figures.done = lines.last().split(' ').first().toInt();
}

void print(const char* title, const Figures& utility, const Figures& bare, int readers)
{
    const double u = median(utility.seconds);
    const double b = median(bare.seconds);
    std::printf("%s\n", title);
    std::printf("  utility  %8.3f s  %7.3f ms a reader  done %d, progress lines %s, peak memory "
                "%.1f MiB\n",
                u, 1000.0 * u / readers, utility.done, utility.progressSeen ? "all" : "MISSING",
                double(utility.peakKiB) / 1024.0);
    std::printf("  bare     %8.3f s  %7.3f ms a reader  done %d\n", b, 1000.0 * b / readers,
                bare.done);
    std::printf("  ratio utility / bare %6.2f   (rounds:%s)\n", u / b,
                roundRatios(utility.seconds, bare.seconds).constData());
    // The quickest round of each side: the least disturbed by the machine's other work.
    if (utility.seconds.empty() || bare.seconds.empty())
        return;
    const double uBest = *std::min_element(utility.seconds.begin(), utility.seconds.end());
    const double bBest = *std::min_element(bare.seconds.begin(), bare.seconds.end());
    std::printf("  best rounds: utility %.3f s, bare %.3f s, ratio %.2f\n", uBest, bBest,
                uBest / bBest);
}

// What one reader adds, without the program's start: the run over all the
// readers less the run over the first few, shared among the rest.
void printMarginal(const Figures& utility, const Figures& bare, const Figures& utilityBase,
                   const Figures& bareBase, int readers, int base)
{
    const double u = (median(utility.seconds) - median(utilityBase.seconds)) / (readers - base);
    const double b = (median(bare.seconds) - median(bareBase.seconds)) / (readers - base);
    std::printf("  a reader's own cost (%d minus %d readers): utility %.3f ms, bare %.3f ms, "
                "ratio %.2f\n",
                readers, base, 1000.0 * u, 1000.0 * b, u / b);
}

} // namespace

int main(int argc, char* argv[])
{
    BenchApplication application(argc, argv);
    int rounds = 3;
    const QStringList arguments = application.options();
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--quick"))
            rounds = 1;
        else if (arguments[i] == QLatin1String("--rounds") && i + 1 < arguments.size())
            rounds = std::clamp(arguments[++i].toInt(), 1, 3);
    }
    const QString utilityPath =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../src/karvel-utility");
    const QByteArray loadBefore = machineLoadAverage();

    ReaderProcess sim;
    if (!sim.start(simulatedReaderProgram(), {"--records", QString::number(kRecords)}, kReaders)) {
        std::printf("karvel-reader-sim did not start its %d readers\n", kReaders);
        return 1;
    }
    const QList<quint16>& ports = sim.ports();
    QTemporaryDir dir;
    const QString imagePath = dir.filePath(QStringLiteral("reader.bin"));
    QByteArray image;
    for (int i = 0; i < kImageBytes; ++i)
        image += char(i * 31 + 7);
    QFile imageFile(imagePath);
    if (!imageFile.open(QIODevice::WriteOnly) || imageFile.write(image) != image.size())
        return 1;
    imageFile.close();

    // A fresh folder for each run's files, so that every run writes its own.
    int folders = 0;
    const auto freshFolder = [&] {
        const QString path = dir.filePath(QStringLiteral("files%1").arg(++folders));
        QDir().mkpath(path);
        return path;
    };
    // The utility's options and the bare client's exchange for each kind of work.
    const auto utilityWork = [&](Work work) -> QStringList {
        switch (work) {
        case Work::Identify:
            return {"--identify"};
        case Work::SetTime:
            return {"--set-time"};
        case Work::Collect:
            return {"--collect", freshFolder()};
        case Work::Flash:
            return {"--flash", imagePath};
        case Work::FlashShortPause:
            return {"--flash", imagePath, "--time-scale", "0.01"};
        }
        return {};
    };
    const auto bareWork = [&](Work work) -> BareWork {
        switch (work) {
        case Work::Identify:
            return [](BareLink& link, quint16) { return bareIdentify(link); };
        case Work::SetTime:
            return [](BareLink& link, quint16) { return bareSetTime(link); };
        case Work::Collect:
            return [folder = freshFolder()](BareLink& link, quint16 port) {
                return bareCollect(link, folder + QStringLiteral("/%1.txt").arg(port), false);
            };
        case Work::Flash:
            return [&image](BareLink& link, quint16) { return bareFlash(link, image, 3000); };
        case Work::FlashShortPause:
            return [&image](BareLink& link, quint16) { return bareFlash(link, image, 30); };
        }
        return {};
    };

    std::vector<Case> cases{
        {"--identify, 500 readers one after another", Work::Identify, 500, 1, 100},
        {"--set-time, 500 readers one after another", Work::SetTime, 500, 1, 100},
        {"--collect, 100 readers of 50 records one after another", Work::Collect, 100, 1, 20},
        {"--collect, 100 readers of 50 records, 16 at a time", Work::Collect, 100, kJobs, 0},
        {"--collect, 1000 readers of 50 records, 16 at a time", Work::Collect, 1000, kJobs, 0},
        {"--flash 64 KiB, 16 readers, 16 at a time (3 s pause each)", Work::Flash, 16, kJobs, 0},
        {"--flash 64 KiB, 16 readers one after another, pause at a hundredth",
         Work::FlashShortPause, 16, 1, 4},
    };
    // Alternated, so that a busy spell on the machine lands on both sides.
    for (int round = 0; round < rounds; ++round) {
        for (Case& c : cases) {
            const QList<quint16> readers = ports.mid(0, c.readers);
            utilityRun(utilityPath, utilityWork(c.work), QDir(dir.path()), readers, c.jobs,
                       c.utility);
            bareRun(readers, c.jobs, bareWork(c.work), c.bare);
            if (c.base == 0)
                continue;
            utilityRun(utilityPath, utilityWork(c.work), QDir(dir.path()), readers.mid(0, c.base),
                       c.jobs, c.utilityBase);
            bareRun(readers.mid(0, c.base), c.jobs, bareWork(c.work), c.bareBase);
        }
    }
    // A clear leaves nothing to collect again: each round and side clears its own readers.
    Figures clearingUtility;
    Figures clearingBare;
    for (int round = 0; round < rounds; ++round) {
        const QList<quint16> mine = ports.mid(400 + 200 * round, 100);
        utilityRun(utilityPath, {"--collect", freshFolder(), "--clear-after"}, QDir(dir.path()),
                   mine, kJobs, clearingUtility);
        bareRun(
            ports.mid(500 + 200 * round, 100), kJobs,
            [folder = freshFolder()](BareLink& link, quint16 port) {
                return bareCollect(link, folder + QStringLiteral("/%1.txt").arg(port), true);
            },
            clearingBare);
    }

    std::printf("Work on many readers against karvel-reader-sim (own process, %d readers on "
                "127.0.0.1, %d records each); medians of %d rounds\n",
                kReaders, kRecords, rounds);
    std::printf("Load average before: %s, after: %s (2 cores)\n\n", loadBefore.constData(),
                machineLoadAverage().constData());
    for (const Case& c : cases) {
        print(c.title, c.utility, c.bare, c.readers);
        if (c.base > 0)
            printMarginal(c.utility, c.bare, c.utilityBase, c.bareBase, c.readers, c.base);
    }
    print("--collect --clear-after, 100 readers of 50 records, 16 at a time", clearingUtility,
          clearingBare, 100);
    std::printf("\nPeak memory collecting 100 readers %.1f MiB, 1000 readers %.1f MiB\n",
                double(cases[3].utility.peakKiB) / 1024.0,
                double(cases[4].utility.peakKiB) / 1024.0);
    return 0;
}

// Batch programming against karvel-reader-sim serving 1,000 readers in a
// process of its own, 50 of them silent on one command. The utility runs as
// `karvel-utility --program` in its own process too (its peak memory is the
// child's own), and a bare socket client does the same exchanges against the
// same readers: one after another over good readers only, and 16 at a time
// over lists with the silent readers spread among the good ones. It reports;
// it never judges.
//
//   bench_batch [--quick | --rounds N]   (--quick: one round; three by default)
#include "BenchSupport.h"
#include "app/MainWindow.h"
#include "app/UtilityApp.h"
#include "config/Profile.h"
#include "config/SettingsReaders.h"
#include "program/ProgrammingCommands.h"

#include <QApplication>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kReaders = 1000;
constexpr int kSilent = 50;
constexpr int kJobs = 16;
constexpr int kReplyTimeoutMs = 5000;
// Every twentieth reader of a concurrent list is a silent one.
constexpr int kSilentEvery = kReaders / kSilent;

// The same exchange as a programming run, with nothing but a socket: two
// returns, then each command and a wait for its CR-ended reply.
bool bareProgram(quint16 port, const QList<QByteArray>& commands)
{
    BareLink link;
    bool ok = link.openTcp(port) && link.send("\r\r");
    for (const QByteArray& command : commands) {
        if (!ok)
            break;
        ok = link.send(command + '\r') && link.readLine(kReplyTimeoutMs).has_value();
    }
    return ok;
}

struct Figures
{
    std::vector<double> seconds;
    std::vector<long> peakKiB;
    int programmed = -1;
    bool progressSeen = true;
};

void bareRun(const QList<quint16>& ports, int jobs, const QList<QByteArray>& commands,
             Figures& figures)
{
    const ThreadedRun run =
        runOnThreads(ports, jobs, [&](quint16 port) { return bareProgram(port, commands); });
    figures.seconds.push_back(run.seconds);
    figures.programmed = run.succeeded;
}

void utilityRun(const QString& utility, const QString& profile, const QDir& dir,
                const QList<quint16>& ports, int jobs, Figures& figures)
{
    const QString list = dir.filePath(QStringLiteral("readers.txt"));
    if (!writeReadersFile(list, ports))
        return;
    const ChildRun run =
        runChild(utility, {"--program", profile, "--readers", list, "--jobs", QString::number(jobs),
                           "--report", dir.filePath("report.csv")});
    if (!run.ran)
        return;
    figures.seconds.push_back(run.seconds);
    figures.peakKiB.push_back(run.peakKiB);
    // Every reader has its progress line, counted up to the total.
    const QList<QByteArray> lines = run.output.split('\n');
    const QByteArray total = '/' + QByteArray::number(ports.size()) + "] ";
    int progress = 0;
    for (const QByteArray& line : lines)
        if (line.startsWith('[' + QByteArray::number(progress + 1) + total))
            ++progress;
    figures.progressSeen = figures.progressSeen && progress == ports.size();
    static const QRegularExpression summary(
        QStringLiteral("^(\\d+) of \\d+ reader\\(s\\) programmed$"));
    for (const QByteArray& line : lines)
        if (const auto match = summary.match(QString::fromLatin1(line)); match.hasMatch())
            figures.programmed = match.captured(1).toInt();
}

void printPair(const char* title, const Figures& utility, const Figures& bare, int readers)
{
    const double u = median(utility.seconds);
    const double b = median(bare.seconds);
    std::printf("%s\n", title);
    std::printf("  utility --program  %8.2f s  %7.2f ms a reader  programmed %d, progress "
                "lines %s\n",
                u, 1000.0 * u / readers, utility.programmed,
                utility.progressSeen ? "all" : "MISSING");
    std::printf("  bare client        %8.2f s  %7.2f ms a reader  programmed %d\n", b,
                1000.0 * b / readers, bare.programmed);
    std::printf("  ratio utility / bare %6.2f   (rounds:%s)\n", u / b,
                roundRatios(utility.seconds, bare.seconds).constData());
    if (!utility.peakKiB.empty())
        std::printf("  utility peak memory %6.1f MiB\n",
                    double(*std::max_element(utility.peakKiB.begin(), utility.peakKiB.end())) /
                        1024.0);
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
            rounds = std::max(1, arguments[++i].toInt());
    }
    const QString bin = QCoreApplication::applicationDirPath();
    const QString utilityPath = bin + QStringLiteral("/../src/karvel-utility");
    const QByteArray loadBefore = machineLoadAverage();

    // The last kSilent readers of the simulator are the silent ones.
    ReaderProcess sim;
    if (!sim.start(simulatedReaderProgram(),
                   {QStringLiteral("--silent-on"), QStringLiteral("X080"),
                    QStringLiteral("--silent-readers"), QString::number(kSilent)},
                   kReaders)) {
        std::printf("karvel-reader-sim did not start its %d readers\n", kReaders);
        return 1;
    }
    const QList<quint16>& ports = sim.ports();
    const QList<quint16> good = ports.mid(0, kReaders - kSilent);
    const QList<quint16> silent = ports.mid(kReaders - kSilent);
    // Silent readers spread through the list, as they would be on a site.
    auto mixed = [&](int size) {
        QList<quint16> list;
        int g = 0;
        int s = 0;
        for (int i = 0; i < size; ++i)
            list << (i % kSilentEvery == kSilentEvery / 2 ? silent.at(s++) : good.at(g++));
        return list;
    };

    // The start values of the windows, as "Program Reader" would send them.
    QTemporaryDir dir;
    const QString profilePath = dir.filePath(QStringLiteral("site.json"));
    QList<QByteArray> commands;
    {
        UtilityApp utility;
        utility.start();
        Profile profile;
        profile.general = readGeneralValues(utility.main().generalSetup());
        profile.prox = readProxValues(utility.main().proxSetup());
        if (!saveProfile(profilePath, profile, nullptr)) {
            std::printf("could not write the profile\n");
            return 1;
        }
        for (int step = 1; step <= kProgrammingSteps; ++step)
            commands << buildStepCommand(step, profile.general, profile.prox);
    }

    struct Case
    {
        const char* title;
        QList<quint16> ports;
        int jobs;
        int silent;
        Figures utility;
        Figures bare;
    };
    std::vector<Case> cases;
    cases.push_back({"100 good readers, one after another", good.mid(0, 100), 1, 0, {}, {}});
    cases.push_back({"950 good readers, one after another", good, 1, 0, {}, {}});
    cases.push_back({"100 readers, 5 silent, 16 at a time", mixed(100), kJobs, 5, {}, {}});
    cases.push_back(
        {"1000 readers, 50 silent, 16 at a time", mixed(kReaders), kJobs, kSilent, {}, {}});
    // Alternated, so that a busy spell on the machine lands on both sides.
    for (int round = 0; round < rounds; ++round) {
        for (Case& c : cases) {
            utilityRun(utilityPath, profilePath, QDir(dir.path()), c.ports, c.jobs, c.utility);
            bareRun(c.ports, c.jobs, commands, c.bare);
        }
    }

    std::printf("Batch programming against karvel-reader-sim (own process, %d readers on "
                "127.0.0.1, %d silent on X080); medians of %d rounds\n",
                kReaders, kSilent, rounds);
    std::printf("Load average before: %s, after: %s (2 cores)\n\n", loadBefore.constData(),
                machineLoadAverage().constData());
    for (const Case& c : cases)
        printPair(c.title, c.utility, c.bare, int(c.ports.size()));

    // What the good readers cost one after another, shared among the jobs,
    // plus the silent readers' reply time-outs shared among the jobs.
    const double perGood = median(cases[1].utility.seconds) / good.size();
    const double perGoodBare = median(cases[1].bare.seconds) / good.size();
    const double marginal =
        (median(cases[1].utility.seconds) - median(cases[0].utility.seconds)) / (good.size() - 100);
    const double marginalBare =
        (median(cases[1].bare.seconds) - median(cases[0].bare.seconds)) / (good.size() - 100);
    std::printf("\nSequential, a reader's own cost (950 minus 100 readers, over 850): utility "
                "%.2f ms, bare %.2f ms, ratio %.2f\n",
                1000.0 * marginal, 1000.0 * marginalBare, marginal / marginalBare);
    for (int i : {2, 3}) {
        const Case& c = cases[size_t(i)];
        const double goods = double(c.ports.size() - c.silent);
        const double expected = (c.silent * kReplyTimeoutMs / 1000.0 + goods * perGood) / c.jobs;
        const double expectedBare =
            (c.silent * kReplyTimeoutMs / 1000.0 + goods * perGoodBare) / c.jobs;
        // A time-out is not divisible: each job waits out whole ones.
        const double wholeTimeouts =
            std::ceil(double(c.silent) / c.jobs) * kReplyTimeoutMs / 1000.0;
        std::printf("%zu readers: silent time-outs / jobs + good work / jobs = %.2f s (bare "
                    "client's work: %.2f s); whole time-outs a job waits at least: %.2f s\n"
                    "  utility took %.2f s, bare client %.2f s\n",
                    size_t(c.ports.size()), expected, expectedBare, wholeTimeouts,
                    median(c.utility.seconds), median(c.bare.seconds));
    }
    return 0;
}

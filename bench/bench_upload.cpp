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
#include "app/MainWindow.h"
#include "comm/CommandChannel.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/ClickLabel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

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

// A started utility connected to the reader process, with the utilities
// window open, set up as a person would.
std::unique_ptr<StartedUtility> connectedUtility(bool tcp, const ReaderProcess& reader)
{
    auto utility = std::make_unique<StartedUtility>();
    if (!utility->connect(tcp, reader.port(), reader.ptyPath()))
        return nullptr;
    emit utility->main().menu().utilitiesEntry->clicked();
    // Let the connection's own events settle before anything is counted.
    runEventLoopFor(100);
    return utility;
}

CpuWindow utilityUpload(bool tcp, const ReaderProcess& reader, const QString& path, int records)
{
    const std::unique_ptr<StartedUtility> utility = connectedUtility(tcp, reader);
    if (!utility)
        return {};
    utility->dialogs.fileToSave = path;
    UtilitiesWindow& window = utility->main().readerUtilities();
    const QString done = QStringLiteral("Upload complete,  %1 transactions received ").arg(records);
    return measureCpu([&] {
        emit window.uploadButton->clicked();
        return window.statusText() == done;
    });
}

// "\r\r", "lr" answered "OK", then "l" until "END", each record written to the file with CR LF.
bool bareUpload(BareLink& link, const QString& path, int records)
{
    if (!link.send("\r\r") || !link.send("lr\r") || link.readLine(kReplyTimeoutMs) != "OK")
        return false;
    const int file =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return false;
    int count = 0;
    bool ok = false;
    for (;;) {
        if (!link.send("l\r"))
            break;
        std::optional<QByteArray> line = link.readLine(kReplyTimeoutMs);
        if (!line)
            break;
        if (*line == "END") {
            ok = count == records;
            break;
        }
        line->append("\r\n");
        if (::write(file, line->constData(), size_t(line->size())) != line->size())
            break;
        ++count;
    }
    ::close(file);
    return ok;
}

CpuWindow bareRun(bool tcp, const ReaderProcess& reader, const QString& path, int records)
{
    BareLink link;
    if (!(tcp ? link.openTcp(reader.port()) : link.openPty(reader.ptyPath())))
        return {};
    if (tcp) {
        // Give the reader time to take this client in place of the last one.
        ::usleep(50000);
    }
    return measureCpu([&] { return bareUpload(link, path, records); });
}

// readReaderLine waiting for the reply to a restart, which never comes.
CpuWindow silentWait(bool tcp, const ReaderProcess& reader, const Plan& plan)
{
    const std::unique_ptr<StartedUtility> utility = connectedUtility(tcp, reader);
    if (!utility)
        return {};
    CommandChannel& channel = utility->main().channel();
    channel.sendReaderCommand(QByteArray("\0X", 2));
    if (plan.waitMs < kReplyTimeoutMs) {
        // The reply timer's own action, only sooner; the full time-out is fixed.
        QTimer::singleShot(plan.waitMs, Qt::PreciseTimer, &utility->main(),
                           [&utility] { utility->main().channel().replyDeadline().expire(); });
    }
    return measureCpu([&] {
        const auto [reply, timedOut] = channel.readReaderLine();
        return timedOut && reply.isEmpty();
    });
}

struct LinkFigures
{
    std::vector<double> utilityMs, bareMs, utilityCpu, bareCpu;
    int failed = 0;
    bool sameFiles = true;
    CpuWindow wait;
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
    const CpuWindow utility = utilityUpload(tcp, reader, utilityPath, plan.records);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const CpuWindow bare = bareRun(tcp, reader, barePath, plan.records);
    if (!utility.ok || !bare.ok) {
        ++figures.failed;
        return;
    }
    figures.utilityMs.push_back(utility.wallMs());
    figures.bareMs.push_back(bare.wallMs());
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
    std::printf("  ratio utility / bare                     %10.2f   (rounds:%s)\n", utility / bare,
                roundRatios(f.utilityMs, f.bareMs).constData());
    std::printf("  files byte for byte the same             %10s\n",
                yesNo(f.sameFiles).constData());
    std::printf("  failed rounds                            %10d\n", f.failed);
    std::printf("  CPU waiting %.1f s for a reply (%% core)  %10.3f   (%s)\n",
                f.wait.wallMs() / 1000.0, f.wait.cpuPercent,
                f.wait.ok ? "ended as a time-out" : "did NOT time out");
}

} // namespace

int main(int argc, char** argv)
{
    BenchApplication application(argc, argv);

    Plan plan;
    plan.simPath = simulatedReaderProgram();
    const QStringList arguments = application.options();
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
    if (!reader.start(plan.simPath, {QStringLiteral("--pty"), QStringLiteral("--records"),
                                     QString::number(plan.records)})) {
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

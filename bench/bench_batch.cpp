// Batch programming of many readers served by one karvel-reader-sim process:
// the concurrent batch against the same readers done one after another, and
// the utility's sequential path against a bare socket client.
#include "BenchSupport.h"
#include "app/UtilityApp.h"
#include "app/stamain.h"
#include "config/Profile.h"
#include "config/SettingsReaders.h"
#include "program/BatchProgramming.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kReaders = 100;
constexpr int kSilent = 10;
constexpr int kJobs = 16;

// The same exchange as a programming run, with nothing but a socket: two
// returns, then each command and a wait for its CR-ended reply.
bool bareProgram(quint16 port, const QList<QByteArray>& commands)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              ::write(fd, "\r\r", 2) == 2;
    for (const QByteArray& command : commands) {
        if (!ok)
            break;
        const QByteArray framed = command + '\r';
        ok = ::write(fd, framed.constData(), framed.size()) == framed.size();
        char c = 0;
        while (ok && c != '\r')
            ok = ::read(fd, &c, 1) == 1;
    }
    ::close(fd);
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QTextStream out(stdout);

    QProcess sim;
    sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/karvel-reader-sim"),
              {"--quiet", "--tcp-port", "0", "--readers", QString::number(kReaders), "--silent-on",
               "X080", "--silent-readers", QString::number(kSilent)});
    QList<batch::Reader> readers;
    static const QRegularExpression listening(QStringLiteral("^listening on 127.0.0.1:(\\d+)$"));
    while (readers.size() < kReaders && sim.waitForReadyRead(5000)) {
        while (sim.canReadLine()) {
            const auto match = listening.match(QString::fromLatin1(sim.readLine()).trimmed());
            if (match.hasMatch())
                readers << batch::Reader{QStringLiteral("127.0.0.1"),
                                         quint16(match.captured(1).toUInt())};
        }
    }
    if (readers.size() != kReaders) {
        out << "karvel-reader-sim did not start its readers" << Qt::endl;
        return 1;
    }

    // The start values of the windows, as "Program Reader" would send them.
    UtilityApp utility;
    utility.start();
    Profile profile;
    profile.general = readGeneralValues(utility.main().generalSetup());
    profile.prox = readProxValues(utility.main().proxSetup());
    QList<QByteArray> commands;
    for (int step = 1; step <= kProgrammingSteps; ++step)
        commands << buildStepCommand(step, profile.general, profile.prox);
    const QList<batch::Reader> good = readers.mid(0, kReaders - kSilent);

    auto timed = [&](const QList<batch::Reader>& list, int jobs, int* programmed) {
        const double cpu = cpuSeconds();
        QElapsedTimer clock;
        clock.start();
        const QList<batch::Outcome> outcomes = batch::programReaders(list, profile, jobs, {});
        *programmed = int(std::count_if(outcomes.cbegin(), outcomes.cend(),
                                        [](const batch::Outcome& o) { return o.programmed(); }));
        return std::make_pair(clock.elapsed() / 1000.0, cpuSeconds() - cpu);
    };

    int programmed = 0;
    const auto [batchWall, batchCpu] = timed(readers, kJobs, &programmed);
    out << "Batch of " << kReaders << " readers (" << kSilent << " silent on one step), " << kJobs
        << " at a time" << Qt::endl;
    out << "  wall " << QString::number(batchWall, 'f', 2) << " s, CPU "
        << QString::number(batchCpu, 'f', 2) << " s, programmed " << programmed << Qt::endl;

    int sequentialProgrammed = 0;
    const auto [sequentialWall, sequentialCpu] = timed(good, 1, &sequentialProgrammed);
    out << "The " << good.size() << " good readers one after another (utility path)" << Qt::endl;
    out << "  wall " << QString::number(sequentialWall, 'f', 2) << " s, CPU "
        << QString::number(sequentialCpu, 'f', 2) << " s, programmed " << sequentialProgrammed
        << Qt::endl;

    QElapsedTimer clock;
    clock.start();
    int bareOk = 0;
    for (const batch::Reader& reader : good)
        bareOk += bareProgram(reader.port, commands) ? 1 : 0;
    const double bareWall = clock.elapsed() / 1000.0;
    out << "The same " << good.size() << " readers one after another (bare socket client)"
        << Qt::endl;
    out << "  wall " << QString::number(bareWall, 'f', 2) << " s, programmed " << bareOk
        << Qt::endl;
    // The window's connect wait sleeps 100 ms before it first looks, and the
    // batch keeps that rule; the bare client connects at once.
    const double connectWaits = good.size() * 0.1;
    out << "Utility / bare, sequential: " << QString::number(sequentialWall / bareWall, 'f', 2)
        << " (without the 100 ms connect sleep per reader: "
        << QString::number((sequentialWall - connectWaits) / bareWall, 'f', 2) << ")" << Qt::endl;
    out << "Batch wall against one 5 s reply time-out plus the good readers' work: "
        << QString::number(batchWall, 'f', 2) << " s vs "
        << QString::number(5.0 + sequentialWall, 'f', 2)
        << " s (ten time-outs in a row: " << QString::number(10 * 5.0 + sequentialWall, 'f', 2)
        << " s)" << Qt::endl;

    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}

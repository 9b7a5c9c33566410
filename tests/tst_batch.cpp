// Programming several simulated readers at once from the command line.
#include "Harness.h"

#include "app/CommandMenu.h"
#include "app/MainWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/Profile.h"
#include "config/ProxSetupWindow.h"
#include "config/SettingsReaders.h"
#include "program/BatchCommandLine.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>
#include <QCommandLineParser>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <memory>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct SimulatedReader
{
    sim::SimReader reader;
    sim::SimTcpServer server{reader};
};

struct BatchRun
{
    int status = -1;
    QString out;
    QString err;
};

BatchRun runBatch(const QStringList& arguments, const batch::Timing& timing = {})
{
    QCommandLineParser parser;
    batch::addCommandLineOptions(parser);
    BatchRun run;
    if (!parser.parse(QStringList{"karvel-utility"} + arguments))
        return run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = batch::runFromCommandLine(parser, out, err, timing);
    return run;
}

QString saveStartProfile(const QTemporaryDir& folder, Harness& h)
{
    const QString path = folder.filePath(QStringLiteral("site.json"));
    Profile profile;
    profile.general = readGeneralValues(h.main().generalSetup());
    profile.prox = readProxValues(h.main().proxSetup());
    return saveProfile(path, profile, nullptr) ? path : QString();
}

QString address(quint16 port)
{
    return QStringLiteral("127.0.0.1:%1").arg(port);
}

// A port on 127.0.0.1 where nothing listens.
quint16 refusingPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A listener whose queue of one is already taken and that never accepts: a
// further connection gets no answer at all.
struct UnansweringListener
{
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int queued = ::socket(AF_INET, SOCK_STREAM, 0);
    quint16 port = 0;

    UnansweringListener()
    {
        sockaddr_in where{};
        where.sin_family = AF_INET;
        where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof where;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&where), size) != 0 ||
            ::listen(listener, 0) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&where), &size) != 0 ||
            ::connect(queued, reinterpret_cast<sockaddr*>(&where), size) != 0)
            return;
        port = ntohs(where.sin_port);
    }
    ~UnansweringListener()
    {
        ::close(queued);
        ::close(listener);
    }
};

// The per-reader lines, "[k/N] HOST:PORT RESULT (S.SS s)", in the order printed.
QStringList readerLines(const QString& out)
{
    QStringList lines;
    static const QRegularExpression line(
        QStringLiteral(R"(^\[\d+/\d+\] \S+ [^(]+ \(\d+\.\d\d s\)$)"));
    for (const QString& text : out.split(QLatin1Char('\n')))
        if (line.match(text).hasMatch())
            lines << text;
    return lines;
}

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

private slots:
    // The bytes each reader gets, the lines printed and the report.
    void readersAreProgrammedLikeProgramReader()
    {
        QTemporaryDir folder;
        const QString reportPath = folder.filePath(QStringLiteral("report.csv"));

        // The window's run with the same settings is the reference.
        Harness h;
        h.main().generalSetup().readerIdBox->setText(QStringLiteral("42"));
        h.main().proxSetup().formats[0].fields[1].lsb->setChecked(true);
        QVERIFY(h.connectTcp());
        h.dialogs.yesNoAnswers << true;
        Harness::click(h.menu().programEntry);
        const QByteArray expected = h.reader.received();
        QVERIFY(expected.endsWith("g   42\rh          \r"));
        const QString profilePath = saveStartProfile(folder, h);
        QVERIFY(!profilePath.isEmpty());

        std::vector<std::unique_ptr<SimulatedReader>> readers;
        QStringList arguments{"--program", profilePath, "--report", reportPath, "--jobs", "3"};
        for (int i = 0; i < 3; ++i) {
            readers.push_back(std::make_unique<SimulatedReader>());
            QVERIFY(readers.back()->server.listen());
            arguments << "--reader" << address(readers.back()->server.port());
        }
        const quint16 refusing = refusingPort();
        arguments << "--reader" << address(refusing);

        const BatchRun run = runBatch(arguments);
        QCOMPARE(run.status, 1);
        for (const auto& reader : readers)
            QCOMPARE(reader->reader.received(), expected);

        const QStringList out = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(out.first(), QStringLiteral("Programming 4 reader(s), 3 at a time"));
        QCOMPARE(out.last(), QStringLiteral("3 of 4 reader(s) programmed"));
        const QStringList lines = readerLines(run.out);
        QCOMPARE(lines.size(), 4);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(lines[i].startsWith(QStringLiteral("[%1/4] 127.0.0.1:").arg(i + 1)),
                     qPrintable(lines[i]));

        // One row a reader, in the order they ended.
        const QList<QByteArray> rows = fileBytes(reportPath).split('\n');
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows[0], QByteArray("address,port,version,result,seconds"));
        QCOMPARE(rows[5], QByteArray());
        QStringList seen;
        for (int i = 1; i < 5; ++i) {
            const QList<QByteArray> fields = rows[i].split(',');
            QCOMPARE(fields.size(), 5);
            QCOMPARE(fields[0], QByteArray("127.0.0.1"));
            const bool refused = fields[1] == QByteArray::number(refusing);
            QCOMPARE(fields[2], refused ? QByteArray() : QByteArray("KARVEL READER SIM V1.00"));
            QCOMPARE(fields[3], refused ? QByteArray("no connection") : QByteArray("programmed"));
            QVERIFY(QRegularExpression(QStringLiteral(R"(^\d+\.\d{3}$)"))
                        .match(QString::fromLatin1(fields[4]))
                        .hasMatch());
            seen << QString::fromLatin1(fields[1]);
            QVERIFY(lines[i - 1].contains(address(fields[1].toUShort()) + QLatin1Char(' ') +
                                          QString::fromLatin1(fields[3]) + QStringLiteral(" (")));
        }
        seen.sort();
        QStringList ports{QString::number(refusing)};
        for (const auto& reader : readers)
            ports << QString::number(reader->server.port());
        ports.sort();
        QCOMPARE(seen, ports);
    }

    // Two jobs, a reader silent on one command first in the list: the other
    // job programs everyone else before that reader's reply time-out ends it.
    // Sixty connects that each slept 100 ms first would not fit in that time,
    // nor would a refused connection that waited for its limit.
    void aSilentReaderDelaysNobody()
    {
        constexpr int kGood = 60;
        QTemporaryDir folder;
        Harness h;
        const QString profilePath = saveStartProfile(folder, h);
        std::vector<std::unique_ptr<SimulatedReader>> readers;
        QStringList arguments{"--program", profilePath, "--jobs", "2"};
        const quint16 refusing = refusingPort();
        for (int i = 0; i < 1 + kGood; ++i) {
            readers.push_back(std::make_unique<SimulatedReader>());
            QVERIFY(readers.back()->server.listen());
            arguments << "--reader" << address(readers.back()->server.port());
            if (i == 0)
                arguments << "--reader" << address(refusing);
        }
        readers[0]->reader.setSilentOn("X080");
        const BatchRun run = runBatch(arguments, batch::Timing{60000});

        QCOMPARE(run.status, 1);
        const QStringList lines = readerLines(run.out);
        QCOMPARE(lines.size(), kGood + 2);
        const QString silent = address(readers[0]->server.port());
        QVERIFY2(
            lines.last().startsWith(QStringLiteral("[62/62] %1 no reply to step 11 (").arg(silent)),
            qPrintable(run.out));
        QCOMPARE(lines.filter(address(refusing) + QStringLiteral(" no connection (")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral(" programmed (")).size(), kGood);
        QVERIFY(readers[0]->reader.received().endsWith("X0800000000000\r"));
    }

    // A connection that never answers ends at the limit; the real limit is
    // the window's thirty 100 ms sleeps.
    void anUnansweredConnectionEndsAtTheLimit()
    {
        QCOMPARE(batch::Timing{}.connectLimitMs, 3000);
        constexpr int kLimitMs = 300;
        QTemporaryDir folder;
        Harness h;
        const QString profilePath = saveStartProfile(folder, h);
        const QString reportPath = folder.filePath(QStringLiteral("report.csv"));
        UnansweringListener unanswering;
        QVERIFY(unanswering.port != 0);

        const BatchRun run = runBatch({"--program", profilePath, "--reader",
                                       address(unanswering.port), "--report", reportPath},
                                      batch::Timing{kLimitMs});
        QCOMPARE(run.status, 1);
        QCOMPARE(readerLines(run.out).size(), 1);
        QVERIFY2(readerLines(run.out).first().startsWith(
                     QStringLiteral("[1/1] %1 no connection (").arg(address(unanswering.port))),
                 qPrintable(run.out));
        const QList<QByteArray> row = fileBytes(reportPath).split('\n').value(1).split(',');
        QCOMPARE(row.value(3), QByteArray("no connection"));
        QVERIFY2(row.value(4).toDouble() >= kLimitMs / 1000.0, row.value(4));
    }

    void badInputStopsTheRunBeforeAnyReaderIsContacted_data()
    {
        addColumns<QString, QString, QString, QString>(
            {"formatTotal", "reader", "report", "message"});
        const auto row = [](const char* name, const char* total, const char* reader,
                            const char* report, const char* message) {
            QTest::newRow(name) << total << reader << report << message;
        };
        row("empty format box", "", "127.0.0.1:%1", "",
            "Error - Empty field in wiegand/prox formatting");
        row("bad reader", "26", "127.0.0.1:99999", "",
            "--reader \"127.0.0.1:99999\" is not HOST or HOST:PORT");
        row("report in a missing folder", "26", "127.0.0.1:%1", "gone/report.csv",
            "the report cannot be written to");
    }
    void badInputStopsTheRunBeforeAnyReaderIsContacted()
    {
        const auto [formatTotal, reader, report, message] =
            fetch<QString, QString, QString, QString>("formatTotal", "reader", "report", "message");
        QTemporaryDir folder;
        Harness h;
        h.main().proxSetup().formats[0].totalBits->setText(formatTotal);
        const QString profilePath = saveStartProfile(folder, h);
        QVERIFY(h.server.listen());

        QStringList arguments{"--program", profilePath, "--reader",
                              reader.contains("%1") ? reader.arg(h.server.port()) : reader};
        if (!report.isEmpty())
            arguments << "--report" << folder.filePath(report);
        const BatchRun run = runBatch(arguments);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.err.contains("Nothing was sent: "));
        // A run that had started would have finished its exchange before returning.
        QVERIFY(!h.server.hasClient());
        QVERIFY(h.reader.received().isEmpty());
        QVERIFY(run.out.isEmpty() || !run.out.contains("Programming"));
    }
};

QTEST_MAIN(BatchTest)
#include "tst_batch.moc"

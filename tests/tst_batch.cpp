// Programming several simulated readers at once from the command line.
#include "Harness.h"

#include "app/commandmenu.h"
#include "app/stamain.h"
#include "config/Profile.h"
#include "config/SettingsReaders.h"
#include "config/general.h"
#include "config/wiegand.h"
#include "program/BatchCommandLine.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>
#include <QCommandLineParser>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <memory>

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

BatchRun runBatch(const QStringList& arguments)
{
    QCommandLineParser parser;
    batch::addCommandLineOptions(parser);
    BatchRun run;
    if (!parser.parse(QStringList{"karvel-utility"} + arguments))
        return run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = batch::runFromCommandLine(parser, out, err);
    return run;
}

} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

private slots:
    void readersAreProgrammedLikeProgramReader()
    {
        QTemporaryDir folder;
        const QString profilePath = folder.filePath(QStringLiteral("site.json"));
        const QString reportPath = folder.filePath(QStringLiteral("report.csv"));

        // The window's run with the same settings is the reference.
        Harness h;
        h.main().generalSetup().Text5[7]->setText(QStringLiteral("42"));
        h.main().proxSetup().Check2->setChecked(true);
        QVERIFY(h.connectTcp());
        h.dialogs.yesNoAnswers << true;
        Harness::click(h.menu().Label10);
        const QByteArray expected = h.reader.received();
        QVERIFY(expected.endsWith("\r"));
        Profile profile;
        profile.general = readGeneralValues(h.main().generalSetup());
        profile.prox = readProxValues(h.main().proxSetup());
        QVERIFY(saveProfile(profilePath, profile, nullptr));

        std::vector<std::unique_ptr<SimulatedReader>> readers;
        QStringList arguments{"--program", profilePath, "--report", reportPath, "--jobs", "3"};
        for (int i = 0; i < 4; ++i) {
            readers.push_back(std::make_unique<SimulatedReader>());
            QVERIFY(readers.back()->server.listen());
            arguments << "--reader"
                      << QStringLiteral("127.0.0.1:%1").arg(readers.back()->server.port());
        }
        readers[1]->reader.setSilentOn("X080");
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 refusing = probe.serverPort();
        probe.close();
        arguments << "--reader" << QStringLiteral("127.0.0.1:%1").arg(refusing);

        const BatchRun run = runBatch(arguments);
        QCOMPARE(run.status, 1);
        for (int i : {0, 2, 3})
            QCOMPARE(readers[i]->reader.received(), expected);
        QVERIFY(expected.startsWith(readers[1]->reader.received()));
        QVERIFY(readers[1]->reader.received().endsWith("X0800000000000\r"));

        QFile report(reportPath);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = report.readAll().trimmed().split('\n');
        QCOMPARE(rows.size(), 6);
        QCOMPARE(rows[0], QByteArray("address,port,version,result,seconds"));
        const QByteArray version = "KARVEL READER SIM V1.00";
        for (int i = 0; i < 5; ++i) {
            const QList<QByteArray> fields = rows[i + 1].split(',');
            QCOMPARE(fields.size(), 5);
            QCOMPARE(fields[0], QByteArray("127.0.0.1"));
            const quint16 port = i < 4 ? readers[i]->server.port() : refusing;
            QCOMPARE(fields[1], QByteArray::number(port));
            QCOMPARE(fields[2], i < 4 ? version : QByteArray());
            const QByteArray result = i == 1   ? "no reply to step 11"
                                      : i == 4 ? "no connection"
                                               : "programmed";
            QCOMPARE(fields[3], result);
            // A silent reader holds up nobody else.
            if (result == "programmed")
                QVERIFY2(fields[4].toDouble() < 1.0, fields[4]);
        }
        QVERIFY2(run.out.contains("[5/5] "), qPrintable(run.out));
        QVERIFY(run.out.contains("3 of 5 reader(s) programmed"));
    }

    void badInputStopsTheRunBeforeAnyReaderIsContacted_data()
    {
        QTest::addColumn<QString>("formatTotal");
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty format box") << ""
                                          << "127.0.0.1:%1"
                                          << "Error - Empty field in wiegand/prox formatting";
        QTest::newRow("bad reader") << "26"
                                    << "127.0.0.1:99999"
                                    << "--reader \"127.0.0.1:99999\" is not HOST or HOST:PORT";
    }
    void badInputStopsTheRunBeforeAnyReaderIsContacted()
    {
        QFETCH(QString, formatTotal);
        QFETCH(QString, reader);
        QFETCH(QString, message);
        QTemporaryDir folder;
        const QString profilePath = folder.filePath(QStringLiteral("site.json"));
        Harness h;
        h.main().proxSetup().Text1[3]->setText(formatTotal);
        Profile profile;
        profile.general = readGeneralValues(h.main().generalSetup());
        profile.prox = readProxValues(h.main().proxSetup());
        QVERIFY(saveProfile(profilePath, profile, nullptr));
        QVERIFY(h.server.listen());

        const BatchRun run =
            runBatch({"--program", profilePath, "--reader",
                      reader.contains("%1") ? reader.arg(h.server.port()) : reader});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(run.err.contains("Nothing was sent"));
        QTest::qWait(50);
        QVERIFY(!h.server.hasClient());
        QVERIFY(h.reader.received().isEmpty());
    }
};

QTEST_MAIN(BatchTest)
#include "tst_batch.moc"

// The loopback test through its window against the simulated reader's echo
// mode, over TCP and a pseudo-terminal, with a shortened pass count.
#include "Harness.h"
#include "SimEcho.h"
#include "StepScript.h"

#include "app/commandmenu.h"
#include "app/stamain.h"
#include "diag/loopback.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

const QByteArray kAttention("\0\x1b\r\0\x1b\r", 6);

QStringList listOf(loopback& window)
{
    QStringList lines;
    for (int row = 0; row < window.List1->count(); ++row)
        lines << window.List1->item(row)->text();
    return lines;
}

// Opened as the user does: Escape in the menu while connected.
loopback& openByEscape(Harness& h, int passes, int echoMs)
{
    QTest::keyClick(&h.menu(), Qt::Key_Escape);
    loopback& window = h.main().loopbackTest();
    window.setTiming({passes, 50, 50, echoMs, echoMs});
    return window;
}

QString firstLine(bool tcp)
{
    return tcp ? QStringLiteral("Starting Loopback Test on tcp port")
               : QStringLiteral("Starting Loopback Test on serial port");
}

} // namespace

class LoopbackTest : public QObject
{
    Q_OBJECT

private slots:
    void goodReader_data() { addLinkRows(); }
    void goodReader()
    {
        QFETCH(bool, tcp);
        Harness h;
        sim::SimEcho echo(h.reader);
        QTest::keyClick(&h.menu(), Qt::Key_Escape);
        QVERIFY(!h.main().findChild<loopback*>());
        QVERIFY(connectByRow(h, tcp));
        loopback& window = openByEscape(h, 4, 1000);
        QVERIFY(window.isVisible());
        QCOMPARE(window.Label1->text(), QString());

        QTest::mouseClick(window.Command1, Qt::LeftButton);
        QCOMPARE(listOf(window), (QStringList{firstLine(tcp), " 1024: end of test"}));
        QCOMPARE(window.Label1->text(), QStringLiteral("Characters Sent:  1000"));
        QByteArray pass;
        for (int code = 0; code < 256; ++code)
            pass += char(code);
        QCOMPARE(h.reader.received(), kAttention + "*" + pass.repeated(4));
        QVERIFY(!h.state().OperationRunning);
    }

    // One late echo costs exactly its own character's line, even when it
    // comes back together with the next character's echo.
    void faultsAreListed_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<qint64>("lateAt");
        QTest::addColumn<qint64>("wrongAt");
        QTest::addColumn<char>("wrongByte");
        QTest::addColumn<QStringList>("faultLines");
        QTest::newRow("tcp late 5")
            << true << qint64(5) << qint64(0) << char(0) << QStringList{" 5: timeout"};
        QTest::newRow("serial late 200")
            << false << qint64(200) << qint64(0) << char(0) << QStringList{" 200: timeout"};
        QTest::newRow("tcp wrong 11") << true << qint64(0) << qint64(11) << char(0)
                                      << QStringList{" 11: bad echo, expected A received 0"};
        QTest::newRow("serial wrong 200") << false << qint64(0) << qint64(200) << 'A'
                                          << QStringList{" 200: bad echo, expected C7 received 41"};
    }
    void faultsAreListed()
    {
        QFETCH(bool, tcp);
        QFETCH(qint64, lateAt);
        QFETCH(qint64, wrongAt);
        QFETCH(char, wrongByte);
        QFETCH(QStringList, faultLines);
        Harness h;
        sim::SimEcho echo(h.reader);
        echo.setLateAt(lateAt, 300);
        echo.setWrongAt(wrongAt, wrongByte);
        QVERIFY(connectByRow(h, tcp));
        loopback& window = openByEscape(h, 1, 200);
        QTest::mouseClick(window.Command1, Qt::LeftButton);
        QCOMPARE(listOf(window),
                 QStringList{firstLine(tcp)} + faultLines + QStringList{" 256: end of test"});
    }

    // A silent reader: every character times out. Clear List and a second
    // start during the test, then Stop, seen before the next character.
    void stopAndClearDuringATest()
    {
        Harness h;
        sim::SimEcho echo(h.reader);
        echo.setSilent(true);
        QVERIFY(h.connectTcp());
        loopback& window = openByEscape(h, 1, 30);
        const QList<Step> steps{{[&] { return window.List1->count() >= 3; },
                                 [&] {
                                     QTest::mouseClick(window.Command4, Qt::LeftButton);
                                     QCOMPARE(window.List1->count(), 0);
                                     QTest::mouseClick(window.Command1, Qt::LeftButton);
                                 }},
                                {[&] { return window.List1->count() >= 1; },
                                 [&] { QTest::mouseClick(window.Command3, Qt::LeftButton); }}};
        QVERIFY(runSteps(
            steps, [&] { QTest::mouseClick(window.Command1, Qt::LeftButton); },
            [&] { window.Command3_Click(); }));

        const QStringList lines = listOf(window);
        QVERIFY2(lines.size() >= 2, qPrintable(lines.join('|')));
        const int last = lines.constLast().section(':', 0, 0).toInt();
        QCOMPARE(lines.constLast(), QStringLiteral(" %1: end of test").arg(last));
        for (int i = 0; i < lines.size() - 1; ++i)
            QCOMPARE(lines[i], QStringLiteral(" %1: timeout").arg(last - (lines.size() - 2) + i));
        QVERIFY(last < 256);
        QCOMPARE(h.reader.received().count(kAttention), 1);
    }

    void linkDropsDuringATest_data() { addLinkRows(); }
    void linkDropsDuringATest()
    {
        QFETCH(bool, tcp);
        Harness h;
        sim::SimEcho echo(h.reader);
        QVERIFY(connectByRow(h, tcp));
        loopback& window = openByEscape(h, 2000, 1000);
        const QList<Step> steps{{[&] { return echo.count() >= 100; },
                                 [&] { tcp ? h.server.dropClient() : h.pty.close(); }}};
        QVERIFY(runSteps(
            steps, [&] { QTest::mouseClick(window.Command1, Qt::LeftButton); },
            [&] { window.Command3_Click(); }, 10000, false));
        const QStringList lines = listOf(window);
        QVERIFY2(lines.size() == 3, qPrintable(lines.join(QLatin1Char('|'))));
        const int last = lines.constLast().section(':', 0, 0).toInt();
        QVERIFY(last >= 100);
        QCOMPARE(lines.mid(1), (QStringList{QStringLiteral(" %1: link closed").arg(last),
                                            QStringLiteral(" %1: end of test").arg(last)}));
        QVERIFY(!h.state().OperationRunning);
    }
};

QTEST_MAIN(LoopbackTest)
#include "tst_loopback.moc"

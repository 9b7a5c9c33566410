// The loopback test: which received byte answers which character, then the
// window against the simulated reader's echo mode over TCP and a
// pseudo-terminal, with a shortened pass count.
#include "Harness.h"
#include "SimEcho.h"
#include "StepScript.h"

#include "app/CommandMenu.h"
#include "app/MainWindow.h"
#include "diag/EchoTest.h"
#include "diag/LoopbackWindow.h"
#include "diag/TerminalScreen.h"
#include "diag/TerminalWindow.h"
#include "widgets/ClickLabel.h"

#include <QAccessible>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTest>

namespace {

const QByteArray kAttention("\0\x1b\r\0\x1b\r", 6);
// Long enough never to end by itself: the test ends echo waits when it wants a time-out.
constexpr int kNeverMs = 600000;
// A test that has not ended by then is stopped, and fails.
constexpr int kSafetyMs = 60000;

QStringList listOf(LoopbackWindow& window)
{
    QStringList lines;
    const QAbstractItemModel* model = window.resultList->model();
    for (int row = 0; row < model->rowCount(); ++row)
        lines << model->index(row, 0).data().toString();
    return lines;
}

int numberOf(const QString& line)
{
    return line.section(':', 0, 0).toInt();
}

// Opened as the user does: Escape in the menu while connected.
LoopbackWindow& openByEscape(Harness& h, int passes, int echoMs)
{
    QTest::keyClick(&h.menu(), Qt::Key_Escape);
    LoopbackWindow& window = h.main().loopbackTest();
    window.setTiming({passes, 50, 50, echoMs, echoMs});
    return window;
}

QString firstLine(bool tcp)
{
    return QStringLiteral("Starting Loopback Test on %1 port").arg(tcp ? "tcp" : "serial");
}

void clickOn(QWidget* button)
{
    QTest::mouseClick(button, Qt::LeftButton);
}

using Fault = sim::SimEcho::Fault;

// Starts the test and runs the steps meanwhile; a test still running when the
// steps are done (if finishAfterSteps) or after kSafetyMs is stopped, ending
// the echo wait under way as the timer would.
bool runEchoTest(LoopbackWindow& window, const QList<Step>& steps = {},
                 bool finishAfterSteps = false)
{
    return runSteps(
        steps, [&] { clickOn(window.startButton); },
        [&] {
            window.stopTest();
            window.deadline.expire();
        },
        kSafetyMs, finishAfterSteps);
}

} // namespace

Q_DECLARE_METATYPE(sim::SimEcho::Fault)

class LoopbackTest : public QObject
{
    Q_OBJECT

private slots:
    // Bytes arriving while each character is awaited (the character n is
    // sent as code n), and each character's outcome: Good, Bad or Time-out.
    void judgeTakesOnlyItsOwnEcho_data()
    {
        addColumns<QList<QByteArray>, QByteArray>({"arrivals", "outcomes"});
        using L = QList<QByteArray>;
        using B = QByteArray;
        QTest::newRow("good") << L{"\x01", "\x02"} << B("GG");
        QTest::newRow("wrong") << L{"\x07", "\x02"} << B("BG");
        QTest::newRow("late echo comes with the next") << L{"", "\x01\x02", "\x03"} << B("TGG");
        QTest::newRow("two late echoes with the next") << L{"", "", "\x01\x02\x03"} << B("TTG");
        QTest::newRow("older late echo, next one lost") << L{"", "", "\x02\x03"} << B("TTG");
        QTest::newRow("a late echo alone is judged") << L{"", "\x01", "\x02"} << B("TBB");
        QTest::newRow("older byte is no late echo") << L{"", "\x07\x02", "\x03"} << B("TTT");
        QTest::newRow("doubled") << L{"\x01\x01", "\x02", "\x03"} << B("TTT");
        QTest::newRow("stray before") << L{"\x09\x01", "\x02", "\x03"} << B("TTT");
        QTest::newRow("stray after") << L{"\x01\x09", "\x02", "\x03"} << B("TTT");
        QTest::newRow("stray after, late") << L{"\x01", "\x09\x02", "\x03"} << B("GTT");
        QTest::newRow("doubled, judged with the next") << L{"\x01\x01", "", "\x02"} << B("TBB");
    }
    void judgeTakesOnlyItsOwnEcho()
    {
        const auto [arrivals, outcomes] =
            fetch<QList<QByteArray>, QByteArray>("arrivals", "outcomes");
        using Verdict = echotest::EchoJudge::Verdict;
        echotest::EchoJudge judge;
        QByteArray seen;
        for (qsizetype i = 0; i < arrivals.size(); ++i) {
            const auto sent = std::uint8_t(i + 1);
            judge.take(arrivals[i]);
            std::uint8_t received = 0;
            const Verdict verdict = judge.judge(sent, received);
            if (verdict == Verdict::Waiting)
                judge.timedOut(sent);
            seen += verdict == Verdict::Good ? 'G' : verdict == Verdict::Bad ? 'B' : 'T';
        }
        QCOMPARE(seen, outcomes);
    }

    void goodReader_data() { addLinkRows(); }
    void goodReader()
    {
        QFETCH(bool, tcp);
        Harness h;
        sim::SimEcho echo(h.reader);
        QTest::keyClick(&h.menu(), Qt::Key_Escape);
        QVERIFY(!h.main().findChild<LoopbackWindow*>());
        QVERIFY(connectByRow(h, tcp));
        LoopbackWindow& window = openByEscape(h, 4, kNeverMs);
        QVERIFY(window.isVisible());
        QCOMPARE(window.sentCounter->text(), QString());

        clickOn(window.startButton);
        const QString endLine = QStringLiteral(" 1024: end of test");
        QCOMPARE(listOf(window), (QStringList{firstLine(tcp), endLine}));
        QCOMPARE(window.sentCounter->text(), QStringLiteral("Characters Sent:  1000"));
        QByteArray pass;
        for (int code = 0; code < 256; ++code)
            pass += char(code);
        QCOMPARE(h.reader.received(), kAttention + "*" + pass.repeated(4));
        QVERIFY(!h.state().operationRunning);

        // What a screen reader hears: the counter's and the last line's current text.
        QCOMPARE(Harness::spoken(window.sentCounter), QStringLiteral("Characters Sent:  1000"));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window.resultList);
        QVERIFY(list && list->tableInterface());
        QCOMPARE(list->tableInterface()->rowCount(), 2);
        QCOMPARE(list->tableInterface()->cellAt(1, 0)->text(QAccessible::Name), endLine);
    }

    // The waits and the pass count at their real values, read from the armed timer.
    void realTiming_data()
    {
        addColumns<bool, int, int>({"tcp", "pauseMs", "echoMs"});
        QTest::newRow("tcp") << true << 5000 << 5000;
        QTest::newRow("serial") << false << 2000 << 1000;
    }
    void realTiming()
    {
        const auto [tcp, pauseMs, echoMs] = fetch<bool, int, int>("tcp", "pauseMs", "echoMs");
        QCOMPARE(echotest::Timing{}.passes, 2000);
        Harness h;
        sim::SimEcho echo(h.reader);
        // Its answer to the attention sequence would come after the shortened pause.
        h.reader.setSilentOn(QByteArray("\x1b"));
        QVERIFY(connectByRow(h, tcp));
        QTest::keyClick(&h.menu(), Qt::Key_Escape);
        LoopbackWindow& window = h.main().loopbackTest();
        const QList<Step> steps{{[&] { return window.deadline.isArmed(); },
                                 [&] {
                                     QCOMPARE(window.deadline.interval(), pauseMs);
                                     QCOMPARE(h.reader.received(), kAttention);
                                     window.deadline.expire();
                                 }},
                                {[&] { return echo.count() >= 3 && window.deadline.isArmed(); },
                                 [&] {
                                     QCOMPARE(window.deadline.interval(), echoMs);
                                     clickOn(window.stopButton);
                                 }}};
        QVERIFY(runEchoTest(window, steps));
        // Echoes are awaited for real: a loaded machine may list one time-out, not every echo.
        const QStringList lines = listOf(window);
        QVERIFY2(lines.size() <= 3 && lines.last().endsWith(QStringLiteral(": end of test")),
                 qPrintable(lines.join('|')));
        QVERIFY(numberOf(lines.last()) >= 3);
    }

    // Each faulty character costs a line. The test ends an echo wait (as the
    // timer would) only where the reader has held back or spoilt the echo.
    void faultsAreListed_data()
    {
        addColumns<bool, Fault, int, char, QString>({"tcp", "fault", "at", "byte", "line"});
        using F = Fault;
        QTest::newRow("tcp late 5") << true << F::LateByOne << 5 << '\0' << " 5: timeout";
        QTest::newRow("serial late 200") << false << F::LateByOne << 200 << '\0' << " 200: timeout";
        QTest::newRow("tcp wrong 11")
            << true << F::Wrong << 11 << '\0' << " 11: bad echo, expected A received 0";
        QTest::newRow("serial wrong 200")
            << false << F::Wrong << 200 << 'A' << " 200: bad echo, expected C7 received 41";
        // These put the link out of step: every later character is listed until the stop.
        QTest::newRow("tcp doubled 6") << true << F::Doubled << 6 << '\0' << " 6: timeout";
        QTest::newRow("serial doubled 6") << false << F::Doubled << 6 << '\0' << " 6: timeout";
        QTest::newRow("tcp stray before 7") << true << F::StrayBefore << 7 << 'x' << " 7: timeout";
        QTest::newRow("serial stray before 7")
            << false << F::StrayBefore << 7 << 'x' << " 7: timeout";
        QTest::newRow("tcp stray after 8") << true << F::StrayAfter << 8 << 'x' << " 8: timeout";
        QTest::newRow("serial stray after 8")
            << false << F::StrayAfter << 8 << 'x' << " 8: timeout";
    }
    void faultsAreListed()
    {
        const auto [tcp, fault, at, byte, line] =
            fetch<bool, Fault, int, char, QString>("tcp", "fault", "at", "byte", "line");
        Harness h;
        sim::SimEcho echo(h.reader);
        echo.setFaultAt(at, fault, byte);
        const bool outOfStep = fault != Fault::Wrong && fault != Fault::LateByOne;
        QVERIFY(connectByRow(h, tcp));
        LoopbackWindow& window = openByEscape(h, 1, kNeverMs);

        // Once the reader has counted a character its answer is out (or held back).
        QTimer expire;
        expire.setInterval(5);
        qint64 expired = 0;
        connect(&expire, &QTimer::timeout, &window, [&] {
            const qint64 waitingFor = echo.count();
            const bool spoilt =
                fault == Fault::LateByOne ? waitingFor == at : outOfStep && waitingFor >= at;
            if (window.deadline.isArmed() && spoilt && waitingFor > expired) {
                expired = waitingFor;
                window.deadline.expire();
            }
            // An out-of-step link would fill the list to the end of the pass.
            if (outOfStep && waitingFor >= at + 2 && !window.stopRequested())
                clickOn(window.stopButton);
        });
        expire.start();
        QVERIFY(runEchoTest(window));

        const QStringList lines = listOf(window);
        if (!outOfStep) {
            QCOMPARE(lines, (QStringList{firstLine(tcp), line, " 256: end of test"}));
            return;
        }
        QVERIFY2(lines.size() >= 3, qPrintable(lines.join('|')));
        QCOMPARE(lines.mid(0, 2), (QStringList{firstLine(tcp), line}));
        // Later characters are all listed up to the stop: none passes.
        const int last = numberOf(lines.constLast());
        QCOMPARE(lines.constLast(), QStringLiteral(" %1: end of test").arg(last));
        QCOMPARE(lines.size(), last - at + 3);
        for (int i = 2; i < lines.size() - 1; ++i)
            QCOMPARE(numberOf(lines[i]), at + i - 1);
    }

    // A silent reader: every character times out. Clear List, then a second
    // start during the test, which says why nothing starts; then Stop, seen
    // before the next character.
    void stopClearAndRefusedStart()
    {
        Harness h;
        sim::SimEcho echo(h.reader);
        echo.setSilent(true);
        QVERIFY(h.connectTcp());
        LoopbackWindow& window = openByEscape(h, 1, 30);
        auto rows = [&] { return window.resultList->model()->rowCount(); };
        const QList<Step> steps{{[&] { return rows() >= 3; },
                                 [&] {
                                     clickOn(window.clearButton);
                                     QCOMPARE(rows(), 0);
                                     clickOn(window.startButton);
                                     QCOMPARE(listOf(window),
                                              QStringList{"Another reader operation is running"});
                                 }},
                                {[&] { return rows() >= 3; }, [&] { clickOn(window.stopButton); }}};
        QVERIFY(runEchoTest(window, steps, true));

        const QStringList lines = listOf(window).mid(1);
        QVERIFY2(lines.size() >= 3, qPrintable(lines.join('|')));
        const int last = numberOf(lines.constLast());
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
        LoopbackWindow& window = openByEscape(h, 2000, kNeverMs);
        const QList<Step> steps{{[&] { return echo.count() >= 100; },
                                 [&] { tcp ? h.server.dropClient() : h.pty.close(); }}};
        QVERIFY(runEchoTest(window, steps));
        const QStringList lines = listOf(window);
        QVERIFY2(lines.size() == 3, qPrintable(lines.join(QLatin1Char('|'))));
        const int last = numberOf(lines.constLast());
        QVERIFY(last >= 100);
        QCOMPARE(lines.mid(1), (QStringList{QStringLiteral(" %1: link closed").arg(last),
                                            QStringLiteral(" %1: end of test").arg(last)}));
        QVERIFY(!h.state().operationRunning);
    }

    // Escape during a terminal run ends the run, so the echo test can start;
    // "Terminal Mode" then opens a new run.
    void escapeEndsATerminalRun()
    {
        Harness h;
        sim::SimEcho echo(h.reader);
        QVERIFY(h.connectTcp());
        TerminalWindow& terminal = h.main().terminal();
        // Ended by Communications only if Escape failed to end it.
        QVERIFY(runSteps(
            {{[&] { return terminal.running(); },
              [&] { QTest::keyClick(&h.menu(), Qt::Key_Escape); }}},
            [&] { Harness::click(h.menu().terminalEntry); },
            [&] { Harness::click(h.menu().communicationsEntry); }, kSafetyMs, false));
        QVERIFY(!terminal.running());
        QCOMPARE(h.menu().terminalEntry->textColor(), CommandMenu::kYellow);
        LoopbackWindow& window = h.main().loopbackTest();
        QVERIFY(window.isVisible());
        window.setTiming({1, 50, 50, kNeverMs, kNeverMs});
        clickOn(window.startButton);
        QCOMPARE(listOf(window), (QStringList{firstLine(true), " 256: end of test"}));

        h.reader.clearRecord();
        QVERIFY(runSteps(
            {{[&] { return terminal.running(); },
              [&] { QTest::keyClick(terminal.screen, Qt::Key_Q); }},
             {[&] { return h.reader.received() == "q"; }, [] {}}},
            [&] { Harness::click(h.menu().terminalEntry); },
            [&] { Harness::click(h.menu().communicationsEntry); }, kSafetyMs));
        QVERIFY(!terminal.running());
    }
};

QTEST_MAIN(LoopbackTest)
#include "tst_loopback.moc"

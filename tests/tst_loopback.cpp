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
#include "utilities/UtilitiesWindow.h"
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

// A started utility whose reader echoes once a test tells it to. The reader
// leaves the attention sequence unanswered: with the pause shortened, a
// loaded machine may read that answer only after the pause, as extra bytes.
struct EchoHarness : Harness
{
    EchoHarness() { reader.setSilentOn(QByteArray("\x1b")); }
    sim::SimEcho echo{reader};
};

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

struct JudgeRow
{
    int first;
    QList<QByteArray> arrivals;
    QByteArray outcomes;
    qint64 extra;
};

const QString kLeftEchoing("The reader is left echoing what it is sent: switch it off and on "
                           "before other commands");

QString summary(int sent, int bad, int timeouts, int extra)
{
    return QString::asprintf("Summary - characters sent: %d, bad echoes: %d, time-outs: %d, "
                             "extra bytes: %d",
                             sent, bad, timeouts, extra);
}

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

// What follows an echo test that left the reader echoing, and what it shows:
// the pane, the status line and memory figures, or the list.
using AfterTest = QStringList (*)(EchoHarness& h, LoopbackWindow& window);
struct EchoingRow
{
    bool tcp;
    AfterTest then;
    bool switchedOffAndOn;
    QStringList shown;
};

QStringList programReader(EchoHarness& h, LoopbackWindow&)
{
    h.programReader();
    return h.pane();
}

QStringList resetReader(EchoHarness& h, LoopbackWindow&)
{
    h.dialogs.yesNoAnswers << true;
    Harness::click(h.menu().resetEntry);
    return h.pane();
}

QStringList showMemoryUsage(EchoHarness& h, LoopbackWindow&)
{
    UtilitiesWindow& w = h.main().readerUtilities();
    Harness::click(h.menu().utilitiesEntry);
    Harness::click(w.memoryUsageButton);
    return {w.statusText(), w.totalSlotsValue->text(), w.usedSlotsValue->text(),
            w.uploadedValue->text()};
}

// The pause ends once the attention sequence has come back.
QStringList testAgain(EchoHarness& h, LoopbackWindow& window)
{
    window.setTiming({1, kNeverMs, kNeverMs, kNeverMs, kNeverMs});
    const bool paused =
        runEchoTest(window, {{[&] { return h.main().channel().activeLink().pending() >= 6; },
                              [&] { window.deadline.expire(); }}});
    return paused ? listOf(window) : QStringList{"the sequence never came back"};
}

} // namespace

Q_DECLARE_METATYPE(JudgeRow)
Q_DECLARE_METATYPE(EchoingRow)

class LoopbackTest : public QObject
{
    Q_OBJECT

private slots:
    // Bytes arriving while each character is awaited (chunks apart in time
    // split by '|'; the characters are codes from "first" on, after "*"),
    // each character's outcome (Good, Bad, Time-out) and the extra bytes.
    // The faults one at a time are the window's test, on the wire.
    void judgeFindsItsStep_data()
    {
        QTest::addColumn<JudgeRow>("row");
        const auto row = [](const char* name, JudgeRow judgeRow) {
            QTest::newRow(name) << judgeRow;
        };
        row("two late echoes with the next", {1, {"", "", "\x01\x02\x03"}, "TTG", 0});
        row("older late echo, next one lost", {1, {"", "", "\x02\x03"}, "TTG", 0});
        row("doubled, the repeat alone", {1, {"\x01", "\x01|\x02", "\x03"}, "GGG", 1});
        row("stray alone, the echo with the next", {1, {"\x09", "\x01|\x02", "\x03"}, "BGG", 0});
        row("echo of * on a reader still echoing", {1, {"*|\x01", "\x02"}, "GG", 0});
        // Waited for once; then listed as the bad echoes they are, at once.
        row("reader a character behind", {1, {"", "\x01", "\x02", "\x03"}, "TbBB", 0});
        row("every echo inverted", {126, {"\x81", "\x80", "\x7f", "\x7e"}, "BBbB", 0});
    }
    void judgeFindsItsStep()
    {
        QFETCH(JudgeRow, row);
        using Verdict = echotest::EchoJudge::Verdict;
        echotest::EchoJudge judge;
        judge.sent('*');
        QByteArray seen;
        for (qsizetype i = 0; i < row.arrivals.size(); ++i) {
            judge.sent(std::uint8_t(row.first + i));
            Verdict verdict = Verdict::Waiting;
            std::uint8_t received = 0;
            for (const QByteArray& chunk : row.arrivals[i].split('|')) {
                judge.take(chunk);
                if (verdict == Verdict::Waiting)
                    verdict = judge.judge(received);
            }
            // A bad echo found only when the wait ran out is a small "b".
            const bool waited = verdict == Verdict::Waiting;
            if (waited)
                verdict = judge.expire(received);
            seen += (waited ? "?GbT" : "?GBT")[int(verdict)];
        }
        QCOMPARE(seen, row.outcomes);
        QCOMPARE(judge.extraBytes(), row.extra);
    }

    void goodReader_data() { addLinkRows(); }
    void goodReader()
    {
        QFETCH(bool, tcp);
        EchoHarness h;
        QTest::keyClick(&h.menu(), Qt::Key_Escape);
        QVERIFY(!h.main().findChild<LoopbackWindow*>());
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        LoopbackWindow& window = openByEscape(h, 4, kNeverMs);
        QVERIFY(window.isVisible());
        QCOMPARE(window.sentCounter->text(), QString());

        QVERIFY(runEchoTest(window)); // a lost echo fails, not hangs
        const QString endLine = QStringLiteral(" 1024: end of test");
        QCOMPARE(
            listOf(window).join('|'),
            QStringList({firstLine(tcp), endLine, summary(1024, 0, 0, 0), kLeftEchoing}).join('|'));
        QByteArray pass;
        for (int code = 0; code < 256; ++code)
            pass += char(code);
        QCOMPARE(h.reader.received(), kAttention + "*" + pass.repeated(4));

        // What a screen reader hears: the counter's and the last line's current text.
        QCOMPARE(Harness::spoken(window.sentCounter), QStringLiteral("Characters Sent:  1000"));
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(window.resultList);
        QVERIFY(list && list->tableInterface());
        QCOMPARE(list->tableInterface()->rowCount(), 4);
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
        EchoHarness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        QTest::keyClick(&h.menu(), Qt::Key_Escape);
        LoopbackWindow& window = h.main().loopbackTest();
        // Where writes go out from the event loop (Windows), the reader has the attention
        // sequence only after the pause is armed.
        const QList<Step> steps{{[&] {
                                     return window.deadline.isArmed() &&
                                            h.reader.received().size() >= kAttention.size();
                                 },
                                 [&] {
                                     QCOMPARE(window.deadline.interval(), pauseMs);
                                     QCOMPARE(Harness::spoken(window.sentCounter),
                                              QStringLiteral("Waiting for the reader to start "
                                                             "echoing"));
                                     QCOMPARE(h.reader.received(), kAttention);
                                     window.deadline.expire();
                                 }},
                                {[&] { return h.echo.count() >= 3 && window.deadline.isArmed(); },
                                 [&] { QCOMPARE(window.deadline.interval(), echoMs); }}};
        QVERIFY(runEchoTest(window, steps, true));
    }

    // A wrong or a held-back echo costs its line; doubled echoes and stray
    // bytes cost none, and the test keeps its step. The test ends an echo
    // wait (as the timer would) only where the reader holds the echo back.
    void faultsCostTheirLineOnly_data() { addLinkRows(); }
    void faultsCostTheirLineOnly()
    {
        QFETCH(bool, tcp);
        EchoHarness h;
        constexpr int kLateAt = 60;
        const QList<std::tuple<int, Fault, char>> faults{
            {3, Fault::Doubled, 0},         {9, Fault::StrayBefore, 'x'}, {11, Fault::Wrong, 0},
            {17, Fault::Doubled, 0},        {25, Fault::StrayAfter, 'y'}, {41, Fault::Doubled, 0},
            {kLateAt, Fault::LateByOne, 0}, {200, Fault::Wrong, 'A'}};
        for (const auto& [n, fault, byte] : faults)
            h.echo.setFaultAt(n, fault, byte);
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        LoopbackWindow& window = openByEscape(h, 1, kNeverMs);
        // Once the reader has held back the echo, the wait for it ends.
        const QList<Step> steps{
            {[&] { return h.echo.count() == kLateAt && window.deadline.isArmed(); },
             [&] { window.deadline.expire(); }}};
        QVERIFY(runEchoTest(window, steps));
        QCOMPARE(listOf(window),
                 (QStringList{firstLine(tcp), " 11: bad echo, expected A received 0",
                              " 60: timeout", " 200: bad echo, expected C7 received 41",
                              " 256: end of test", summary(256, 2, 1, 5), kLeftEchoing}));
    }

    // A reader the test leaves echoing sends every command back: no
    // operation takes that for an answer, and a second test passes.
    void readerLeftEchoing_data()
    {
        QTest::addColumn<EchoingRow>("row");
        const QString echoes("The reader echoes what it is sent: switch it off and on");
        for (const bool tcp : {true, false}) {
            const char* link = tcp ? "tcp" : "serial";
            const auto row = [&](const char* name, AfterTest then, const QStringList& shown) {
                QTest::addRow("%s %s", link, name) << EchoingRow{tcp, then, false, shown};
            };
            row("program", programReader,
                {"Checking Parameters", "Starting Communications", echoes});
            row("reset", resetReader, {"Resetting Reader", echoes});
            row("memory usage", showMemoryUsage, {echoes, "00000", "00000", "00000"});
            row("test again", testAgain,
                {firstLine(tcp), " 256: end of test", summary(256, 0, 0, 0), kLeftEchoing});
        }
        QTest::newRow("tcp reset, switched off and on")
            << EchoingRow{true, resetReader, true, {"Resetting Reader", "Reset Complete"}};
    }
    void readerLeftEchoing()
    {
        QFETCH(EchoingRow, row);
        EchoHarness h;
        h.echo.setStaysEchoing(true);
        SKIP_WITHOUT_PSEUDO_TERMINAL(!row.tcp);
        QVERIFY(connectByRow(h, row.tcp));
        LoopbackWindow& window = openByEscape(h, 1, kNeverMs);
        clickOn(window.startButton);
        QCOMPARE(listOf(window).constLast(), kLeftEchoing);
        if (row.switchedOffAndOn) {
            h.echo.switchOffAndOn();
            // The reset waits for an echo that no longer comes.
            h.expireReplyWait();
        }
        QCOMPARE(row.then(h, window), row.shown);
    }

    // A silent reader: every character times out. Clear List, then a second
    // start during the test, which says why nothing starts; then Stop, seen
    // before the next character.
    void stopClearAndRefusedStart()
    {
        EchoHarness h;
        h.echo.setSilent(true);
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

        // After the refusal, the time-outs up to the last character sent.
        const QStringList lines = listOf(window);
        const int last = numberOf(lines.value(lines.size() - 2));
        QStringList expected{"Another reader operation is running"};
        for (int n = last - lines.size() + 4; n <= last; ++n)
            expected << QStringLiteral(" %1: timeout").arg(n);
        QCOMPARE(lines, expected << QStringLiteral(" %1: end of test").arg(last)
                                 << summary(last, 0, last, 0));
        QVERIFY(last < 256 && lines.size() >= 5);
        QCOMPARE(h.reader.received().count(kAttention), 1);
    }

    void linkDropsDuringATest_data() { addLinkRows(); }
    void linkDropsDuringATest()
    {
        QFETCH(bool, tcp);
#ifdef Q_OS_WIN
        // Under Wine the reader's close reaches the socket only after the echo wait ends.
        QSKIP("Wine reports the dropped connection only after the echo wait");
#endif
        EchoHarness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        LoopbackWindow& window = openByEscape(h, 2000, kNeverMs);
        const QList<Step> steps{{[&] { return h.echo.count() >= 100; },
                                 [&] { tcp ? h.server.dropClient() : h.pty.close(); }}};
        QVERIFY(runEchoTest(window, steps));
        const QStringList lines = listOf(window);
        const int last = numberOf(lines.value(1));
        QVERIFY(last >= 100);
        QCOMPARE(lines, (QStringList{firstLine(tcp), QStringLiteral(" %1: link closed").arg(last),
                                     QStringLiteral(" %1: end of test").arg(last),
                                     summary(last, 0, 0, 0), kLeftEchoing}));
    }

    // Escape during a terminal run ends the run, so the echo test can start;
    // "Terminal Mode" then opens a new run.
    void escapeEndsATerminalRun()
    {
        EchoHarness h;
        QVERIFY(h.connectTcp());
        TerminalWindow& terminal = h.main().terminal();
        // Ended by Communications only if Escape failed to end it.
        QVERIFY(runSteps(
            {{[&] { return terminal.running(); },
              [&] { QTest::keyClick(&h.menu(), Qt::Key_Escape); }}},
            [&] { Harness::click(h.menu().terminalEntry); },
            [&] { Harness::click(h.menu().communicationsEntry); }, kSafetyMs, false));
        QVERIFY(!terminal.running());
        QCOMPARE(h.menu().terminalEntry->textColor(), QColor(255, 255, 0));
        LoopbackWindow& window = h.main().loopbackTest();
        QVERIFY(window.isVisible());
        window.setTiming({1, 50, 50, kNeverMs, kNeverMs});
        QVERIFY(runEchoTest(window)); // a lost echo fails, not hangs
        QCOMPARE(listOf(window), (QStringList{firstLine(true), " 256: end of test",
                                              summary(256, 0, 0, 0), kLeftEchoing}));

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

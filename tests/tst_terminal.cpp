// The terminal: its grid and key machine directly, then the window through
// the menu against the simulated reader over TCP and a pseudo-terminal.
#include "Harness.h"
#include "StepScript.h"

#include "diag/TerminalScreen.h"
#include "diag/TerminalWindow.h"

#include <QKeyEvent>
#include <QLabel>

namespace {

// A bound for waits on a condition, generous for a loaded machine.
constexpr int kWaitMs = 20000;

// The screen as a screen reader hears it: a line per row, hex cells as "<0D>".
QString shown(TerminalWindow& t)
{
    return QAccessible::queryAccessibleInterface(t.screen)->text(QAccessible::Value);
}

// Key events as the window gets them: press, release, a character with no key,
// or another window taking the focus and this one getting it back.
struct KeyStep
{
    // clang-format off
    enum Kind { Press, Release, Char, SwitchAway } kind;
    // clang-format on
    int key = 0;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    int character = 0;

    static KeyStep press(int key, Qt::KeyboardModifiers m = {}) { return {Press, key, m}; }
    static KeyStep release(int key) { return {Release, key}; }
    // A keypad key with Alt held.
    static KeyStep pad(int key) { return press(key, Qt::KeypadModifier | Qt::AltModifier); }
    // A key pressed with the character it types; a character with no key.
    static KeyStep typed(int key, int character) { return {Press, key, {}, character}; }
    static KeyStep charOnly(int character) { return {Char, 0, {}, character}; }
};

// Alt held while the keypad keys go down, then released.
QList<KeyStep> altCode(const QList<int>& keys)
{
    QList<KeyStep> steps{KeyStep::press(Qt::Key_Alt)};
    for (const int key : keys)
        steps << KeyStep::pad(key);
    return steps << KeyStep::release(Qt::Key_Alt);
}
QList<KeyStep> altCode(const char* digits)
{
    QList<int> keys;
    for (; *digits; ++digits)
        keys << Qt::Key_0 + (*digits - '0');
    return altCode(keys);
}

void keyStep(TerminalWindow& t, const KeyStep& step, QWidget& elsewhere)
{
    if (step.kind != KeyStep::SwitchAway) {
        QKeyEvent event(step.kind == KeyStep::Release ? QEvent::KeyRelease : QEvent::KeyPress,
                        step.kind == KeyStep::Char ? 0 : step.key, step.modifiers,
                        step.character ? QString(QChar(step.character)) : QString());
        QCoreApplication::sendEvent(t.screen, &event);
        return;
    }
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(elsewhere.isActiveWindow(), kWaitMs);
    QTRY_VERIFY_WITH_TIMEOUT(!t.screen->hasFocus(), kWaitMs);
    t.window()->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(t.isActiveWindow(), kWaitMs);
    t.screen->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(t.screen->hasFocus(), kWaitMs);
}

// A red pixel for received, a black one for typed, somewhere in the cell.
bool cellHasInk(TerminalWindow& t, int column, int row, const QColor& ink)
{
    const QImage shown = t.screen->grab().toImage();
    const QRect area = t.screen->cellRect(column, row).toRect() & shown.rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = shown.pixelColor(x, y);
            if (qAbs(pixel.red() - ink.red()) < 40 && qAbs(pixel.green() - ink.green()) < 40 &&
                qAbs(pixel.blue() - ink.blue()) < 40)
                return true;
        }
    }
    return false;
}

// Opens a terminal run from the menu, runs the steps, then ends the run with
// the given entry (Communications unless told). True when every step ran.
bool inTerminalRun(Harness& h, const QList<Step>& steps, ClickLabel* endWith = nullptr)
{
    return runSteps(
        steps, [&] { Harness::click(h.menu().terminalEntry); },
        [&] { Harness::click(endWith ? endWith : h.menu().communicationsEntry); }, kWaitMs);
}

} // namespace

Q_DECLARE_METATYPE(QList<KeyStep>)

class TerminalTest : public QObject
{
    Q_OBJECT

private slots:
    // Codes 32 to 125 are drawn as themselves, the rest as hex; a row holds 39
    // cells, and the byte after a full screen clears it and starts at the top.
    void gridPlacesEachByte_data()
    {
        addColumns<QByteArray, QString>({"bytes", "text"});
        QTest::newRow("brace, tilde, 127, 128, space, 0")
            << QByteArray("}~\x7f\x80 \0", 6) << "}<7E><7F><80> <00>";
        QTest::newRow("40th character wraps") << QByteArray(40, 'x') << QString(39, 'x') + "\nx";
        QTest::newRow("full screen clears") << QByteArray(39 * 22, 'a') + "bc"
                                            << "bc";
    }
    void gridPlacesEachByte()
    {
        const auto [bytes, text] = fetch<QByteArray, QString>("bytes", "text");
        TerminalGrid grid;
        for (const char byte : bytes)
            grid.put(std::uint8_t(byte), TerminalGrid::Ink::Received);
        QCOMPARE(grid.text(), text);
    }

    // Keys typed in a terminal run over TCP, checked on the wire: a last key
    // follows each row, so once it has arrived nothing else is on its way.
    void keysSendBytes_data()
    {
        addColumns<QList<KeyStep>, QByteArray>({"steps", "sent"});
        const auto row = [](const char* name, const QList<KeyStep>& steps, const QByteArray& sent) {
            QTest::newRow(name) << steps << sent;
        };
        using K = KeyStep;
        const K alt = K::press(Qt::Key_Alt);
        const K altUp = K::release(Qt::Key_Alt);
        const K away{K::SwitchAway};
        row("Alt keypad 2 7", altCode("27"), "\x1b");
        row("Alt alone", altCode(""), QByteArray(1, '\0'));
        row("Alt keypad 0 9: both ends of the keypad", altCode("09"), "\t");
        row("Alt 255, the highest code", altCode("255"), "\xff");
        row("Alt 256 sends nothing", altCode("256"), "");
        row("Alt 0065, leading zeros", altCode("0065"), "A");
        row("Num Lock off: Insert PageUp = 9", altCode({Qt::Key_Insert, Qt::Key_PageUp}), "\t");
        row("Num Lock off: End Down Right = 126",
            altCode({Qt::Key_End, Qt::Key_Down, Qt::Key_Right}), "~");
        row("Num Lock off: Clear Left Home Up PageDown = 54783, sends nothing",
            altCode({Qt::Key_Clear, Qt::Key_Left, Qt::Key_Home, Qt::Key_Up, Qt::Key_PageDown}), "");
        row("main keyboard digits are not collected",
            {alt, K::press(Qt::Key_6, Qt::AltModifier), altUp}, QByteArray(1, '\0'));
        row("F10 F9", {K::press(Qt::Key_F10), K::press(Qt::Key_F9)}, QByteArray("\0\x80", 2));
        row("character after an Alt code is dropped, the next key is not",
            altCode("97") + QList{K::charOnly('a'), K::typed(Qt::Key_A, 'a')}, "aa");
        row("Enter Backspace Tab Escape",
            {K::typed(Qt::Key_Return, 13), K::typed(Qt::Key_Backspace, 8), K::typed(Qt::Key_Tab, 9),
             K::typed(Qt::Key_Escape, 27)},
            "\r\b\t\x1b");
        row("characters 1, 255 and 256", {K::charOnly(1), K::charOnly(255), K::charOnly(256)},
            "\x01\xff");
        // Alt+Tab away: the release of Alt and the keys after it go elsewhere.
        row("held Alt forgotten when focus leaves",
            {alt, K::press(Qt::Key_Tab, Qt::AltModifier), away, K::typed(Qt::Key_B, 'b')}, "b");
        row("half-typed Alt code forgotten; Alt released after coming back",
            {alt, K::pad(Qt::Key_6), away, altUp, K::typed(Qt::Key_C, 'c')}, "c");
    }
    void keysSendBytes()
    {
        const auto [steps, sent] = fetch<QList<KeyStep>, QByteArray>("steps", "sent");
        Harness h;
        QVERIFY(h.connectTcp());
        TerminalWindow& t = h.main().terminal();
        QWidget elsewhere;
        const QList<Step> run{{nullptr,
                               [&] {
                                   for (const KeyStep& step : steps)
                                       keyStep(t, step, elsewhere);
                                   keyStep(t, KeyStep::typed(Qt::Key_Z, 'z'), elsewhere);
                               }},
                              {[&] { return h.reader.received().endsWith('z'); }, [] {}}};
        QVERIFY(inTerminalRun(h, run));
        QCOMPARE(h.reader.received(), sent + 'z');
    }

    // Received bytes in red, typed ones sent at once and drawn in black,
    // "Clear Screen", the status line of each link, and the run ended by
    // another entry, which then runs in its place.
    void runShowsAndSends_data()
    {
        addColumns<bool, bool>({"tcp", "endByProgramming"});
        QTest::newRow("tcp, ended by Communications") << true << false;
        QTest::newRow("serial, ended by Program Reader") << false << true;
    }
    void runShowsAndSends()
    {
        const auto [tcp, endByProgramming] = fetch<bool, bool>("tcp", "endByProgramming");
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        TerminalWindow& t = h.main().terminal();
        const QList<Step> steps{
            {nullptr,
             [&] {
                 QCOMPARE(
                     Harness::spoken(t.statusLine),
                     tcp ? QStringLiteral("Connected to 127.0.0.1 Port %1").arg(h.server.port())
                         : QStringLiteral("Connected to comm port 3"));
                 QVERIFY(h.state().operationRunning);
                 h.reader.sendUnsolicited("OK\r\n~");
             }},
            {[&] { return t.receivedCount() == 5 && cellHasInk(t, 1, 1, Qt::red); },
             [&] {
                 QCOMPARE(shown(t), QStringLiteral("OK<0D><0A><7E>"));
                 QVERIFY(cellHasInk(t, 3, 1, Qt::red));
                 QVERIFY(!cellHasInk(t, 1, 1, Qt::black));
                 QTest::keyClick(t.screen, Qt::Key_A);
                 QTest::keyClick(t.screen, Qt::Key_AsciiTilde);
                 QTest::keyClick(t.screen, Qt::Key_F10);
             }},
            {[&] {
                 return h.reader.received() == QByteArray("a~\0", 3) &&
                        cellHasInk(t, 6, 1, Qt::black);
             },
             [&] {
                 QCOMPARE(shown(t), QStringLiteral("OK<0D><0A><7E>a<7E><00>"));
                 QVERIFY(cellHasInk(t, 7, 1, Qt::black));
                 QVERIFY(!cellHasInk(t, 6, 1, Qt::red));
                 Harness::click(t.clearButton);
                 QCOMPARE(shown(t), QString());
                 QVERIFY(!cellHasInk(t, 1, 1, Qt::red));
                 h.reader.sendUnsolicited("Z");
             }},
            {[&] { return t.receivedCount() == 6; },
             [&] {
                 QCOMPARE(shown(t), QStringLiteral("Z"));
                 h.reader.clearRecord();
                 h.dialogs.yesNoAnswers << true;
             }}};
        QVERIFY(inTerminalRun(
            h, steps, endByProgramming ? h.menu().programEntry : h.menu().communicationsEntry));
        QVERIFY(!h.state().operationRunning);
        if (endByProgramming) {
            QCOMPARE(h.pane().constLast(), QStringLiteral("Programming Complete"));
            QCOMPARE(h.reader.commands().constLast(), QByteArray("h          "));
        } else {
            QCOMPARE(h.menu().communicationsEntry->textColor(), QColor(255, 255, 0));
        }
        // The screen keeps its contents after the run; nothing more is read.
        const Link& link = h.main().channel().activeLink();
        const qint64 unread = link.pending();
        h.reader.sendUnsolicited("Q");
        QTRY_VERIFY_WITH_TIMEOUT(link.pending() > unread, kWaitMs);
        QCOMPARE(shown(t), QStringLiteral("Z"));
        QTRY_VERIFY_WITH_TIMEOUT(cellHasInk(t, 1, 1, Qt::red), kWaitMs);
    }

    // Over TCP, keys do nothing until a terminal run has been opened over TCP.
    void tcpKeysWaitForTheFirstRun()
    {
        Harness h;
        QVERIFY(h.connectTcp());
        TerminalWindow& t = h.main().terminal();
        t.show();
        QTest::keyClick(t.screen, Qt::Key_B);
        QTest::keyClick(t.screen, Qt::Key_F10);
        QCOMPARE(shown(t), QString());
        QVERIFY(inTerminalRun(h, {}));
        QVERIFY(h.state().tcpTerminalOpen);
        QTest::keyClick(t.screen, Qt::Key_B);
        // Only this b: the keys before the run never went out.
        QTRY_COMPARE_WITH_TIMEOUT(h.reader.received(), QByteArray("b"), kWaitMs);
        // Nor while another reader operation runs: the bytes would land in its replies.
        h.state().operationRunning = true;
        QTest::keyClick(t.screen, Qt::Key_D);
        h.state().operationRunning = false;
        QTest::keyClick(t.screen, Qt::Key_E);
        QTRY_COMPARE_WITH_TIMEOUT(h.reader.received(), QByteArray("be"), kWaitMs);
    }

    // A dropped link leaves the run waiting quietly: keys are drawn but not
    // sent, and the next menu entry still ends the run.
    void linkDropsDuringRun_data() { addLinkRows(); }
    void linkDropsDuringRun()
    {
        QFETCH(bool, tcp);
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        TerminalWindow& t = h.main().terminal();
        const QList<Step> steps{{nullptr, [&] { tcp ? h.server.dropClient() : h.pty.close(); }},
                                {[&] { return !h.main().channel().activeLink().isOpen(); },
                                 [&] {
                                     QTest::keyClick(t.screen, Qt::Key_C);
                                     QCOMPARE(shown(t), QStringLiteral("c"));
                                 }}};
        QVERIFY(inTerminalRun(h, steps));
        QVERIFY(!h.state().operationRunning);
    }
};

QTEST_MAIN(TerminalTest)
#include "tst_terminal.moc"

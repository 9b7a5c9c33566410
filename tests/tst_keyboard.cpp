// The windows at the keyboard against the simulated reader: a held key, Return
// at a question, the focus chain, the menu bar's letters.
#include "Harness.h"
#include "SimUtilities.h"

#include "app/CommandMenu.h"
#include "app/MainWindow.h"
#include "comm/CommunicationsWindow.h"
#include "core/Dialogs.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>

namespace {

// A started utility linked to the reader over TCP, its window active.
struct Rig : Harness
{
    sim::SimUtilities service{reader};

    bool start()
    {
        main().activateWindow();
        return QTest::qWaitForWindowActive(&main()) && connectTcp();
    }
    // The button or menu entry in sight with the caption, once the entry
    // named first, if any, has brought its window forward.
    ClickLabel* button(const QString& entry, const QString& caption)
    {
        if (!entry.isEmpty())
            click(button(QString(), entry));
        for (ClickLabel* label : main().findChildren<ClickLabel*>())
            if (label->text() == caption && label->isVisible())
                return label;
        return nullptr;
    }
};

QWidget* focused()
{
    return QApplication::focusWidget();
}

// What a screen reader names each control that Tab reaches, once round the
// focus chain from the focused control.
QStringList tabRound()
{
    QStringList names;
    QWidget* first = focused();
    do {
        names << Harness::spoken(focused());
        QTest::keyClick(focused(), Qt::Key_Tab);
    } while (focused() != first && names.size() < 60);
    return names;
}

// Tab until the control named so has the focus; false if it never comes.
bool tabTo(const QString& name)
{
    for (int i = 0; i < 60 && Harness::spoken(focused()) != name; ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    return Harness::spoken(focused()) == name;
}

const QStringList kMenuEntries{"Communications", "Terminal Mode",     "General Setup",
                               "Prox Setup",     "Utilities",         "Program Reader",
                               "Reset Reader",   "Flash New Firmware"};

} // namespace

class KeyboardTest : public QObject
{
    Q_OBJECT

private slots:
    // A key held on a button repeats its press; the button acts once, and a
    // question it asks is asked once.
    void heldKeyActsOnce_data()
    {
        addColumns<QString, QString, int, QByteArray>({"entry", "button", "key", "wire"});
        QTest::newRow("Return on a utilities button")
            << "Utilities"
            << "Clear Reader Memory" << int(Qt::Key_Return) << QByteArray("\r\rlc\r");
        QTest::newRow("Enter on a utilities button")
            << "Utilities"
            << "Get Firmware Identification" << int(Qt::Key_Enter) << QByteArray("\r\rV\r");
        QTest::newRow("Space on a menu entry")
            << QString() << "Reset Reader" << int(Qt::Key_Space) << QByteArray("\0U1\r", 4);
    }
    void heldKeyActsOnce()
    {
        const auto [entry, caption, key, wire] =
            fetch<QString, QString, int, QByteArray>("entry", "button", "key", "wire");
        Rig h;
        ClickLabel* button = h.start() ? h.button(entry, caption) : nullptr;
        QVERIFY(button);
        h.dialogs.yesNoAnswers << true << true << true << true << true << true << true;
        const QString text = key == Qt::Key_Space ? QStringLiteral(" ") : QStringLiteral("\r");
        QTest::simulateEvent(button, true, key, {}, text, false);
        for (int repeat = 0; repeat < 6; ++repeat)
            QTest::simulateEvent(button, true, key, {}, text, true);
        QTest::simulateEvent(button, false, key, {}, text, false);
        QVERIFY(h.sendEndMark());
        QCOMPARE(h.reader.received(), wire + "END\r");
        QCOMPARE(h.dialogs.questions.size(), caption == "Get Firmware Identification" ? 0 : 1);
    }

    // Tab alone goes round the command menu and the window in front, never
    // behind it, a column at a time; the focused button wears a frame; Enter
    // carries it out.
    void tabWalksTheMenuAndTheWindowInFront()
    {
        Harness h;
        QVERIFY(h.server.listen());
        h.comm().tcpOption->setChecked(true);
        h.comm().addressBox->setText(QStringLiteral("127.0.0.1"));
        h.comm().tcpPortBox->setText(QString::number(h.server.port()));
        h.main().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&h.main()));

        QCOMPARE(tabRound(), QStringList({"TCP/IP", "1", "9600", "IP Address", "Port",
                                          "Connect to Port", "Disconnect"}) +
                                 kMenuEntries);
        QVERIFY(tabTo("Connect to Port"));
        ClickLabel* connect = h.comm().connectButton;
        const QImage framed = connect->grab().toImage();
        QTest::keyClick(focused(), Qt::Key_Tab);
        QVERIFY(connect->grab().toImage() != framed);
        QTest::keyClick(focused(), Qt::Key_Backtab);
        QCOMPARE(connect->grab().toImage(), framed);
        QTest::keyClick(focused(), Qt::Key_Return);
        QCOMPARE(h.connectionState(), QStringLiteral("Connected"));

        QVERIFY(tabTo("Utilities"));
        QTest::keyClick(focused(), Qt::Key_Return);
        const QStringList utilities =
            QStringLiteral("Get Firmware Identification|Firmware identification|Switch to Online "
                           "Mode|Switch to Prox Dump Mode|Switch to Collection Mode|Restart|"
                           "Upload Stored Data|Get Reader Time|Reader time|Set Reader Time|Add|"
                           "Hours|Show Memory Usage|Clear Reader Memory|Spare field")
                .split(QLatin1Char('|'));
        QCOMPARE(tabRound(), kMenuEntries.mid(4) + utilities + kMenuEntries.mid(0, 4));
        QVERIFY(tabTo("Get Firmware Identification"));
        QTest::keyClick(focused(), Qt::Key_Enter);
        QTRY_COMPARE(h.main().readerUtilities().firmwareIdField->text(),
                     QStringLiteral("KARVEL READER SIM V1.00"));
    }

    // Alt with a menu bar letter opens that menu, also from a text box,
    // which gets no letter.
    void altLetterOpensTheMenuBarFromABox()
    {
        Harness h;
        h.main().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&h.main()));
        QLineEdit* address = h.comm().addressBox;
        address->setFocus();
        QTest::keyClick(address, Qt::Key_S, Qt::AltModifier);
        QCOMPARE(address->text(), QStringLiteral("192.168.1.100"));
        QMenu* settings = h.main().menuBar()->actions().at(0)->menu();
        QTRY_VERIFY(settings->isVisible());
    }

    // The question box a person sees: Return takes its default button, and a
    // key still held from the press that opened it answers nothing.
    void questionBoxTakesReturnForItsDefault_data()
    {
        addColumns<bool, bool, bool>({"defaultYes", "heldFirst", "answer"});
        QTest::newRow("default No") << false << false << false;
        QTest::newRow("default Yes") << true << false << true;
        QTest::newRow("held Return, then Escape") << true << true << false;
    }
    void questionBoxTakesReturnForItsDefault()
    {
        const auto [defaultYes, heldFirst, answer] =
            fetch<bool, bool, bool>("defaultYes", "heldFirst", "answer");
        QtDialogs dialogs;
        QTimer keys;
        keys.setInterval(5);
        QObject::connect(&keys, &QTimer::timeout, &keys, [&, heldFirst = heldFirst] {
            QWidget* box = focused();
            if (!box)
                return;
            keys.stop();
            if (heldFirst) {
                for (int repeat = 0; repeat < 3; ++repeat)
                    QTest::simulateEvent(box, true, Qt::Key_Return, {}, QStringLiteral("\r"), true);
                if (QWidget* stillOpen = focused())
                    QTest::keyClick(stillOpen, Qt::Key_Escape);
            } else {
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        keys.start();
        const bool yes = dialogs.askYesNo(QStringLiteral("Do you wish to clear the reader data"),
                                          defaultYes ? Dialogs::Answer::Yes : Dialogs::Answer::No);
        QCOMPARE(yes, answer);
    }
};

QTEST_MAIN(KeyboardTest)
#include "tst_keyboard.moc"

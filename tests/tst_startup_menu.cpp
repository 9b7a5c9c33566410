// What the user sees right after start-up, and how the command menu reacts.
#include "Harness.h"

#include "app/CommandMenu.h"
#include "app/MainWindow.h"
#include "comm/CommunicationsWindow.h"
#include "config/GeneralSetupWindow.h"
#include "config/ProxSetupWindow.h"
#include "program/ProgressWindow.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

namespace {

const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);
const QColor kLightGreen(0, 255, 0);

// Entries in menu order, with their captions.
QList<std::pair<ClickLabel*, QString>> mainEntries(CommandMenu& m)
{
    return {{m.communicationsEntry, "Communications"},
            {m.terminalEntry, "Terminal Mode"},
            {m.generalSetupEntry, "General Setup"},
            {m.proxSetupEntry, "Prox Setup"},
            {m.utilitiesEntry, "Utilities"},
            {m.programEntry, "Program Reader"},
            {m.resetEntry, "Reset Reader"},
            {m.flashEntry, "Flash New Firmware"}};
}

// The entry shown in yellow; all others must be white.
QString highlighted(CommandMenu& m)
{
    QString yellow;
    for (const auto& [label, caption] : mainEntries(m)) {
        if (label->textColor() == kYellow)
            yellow += caption;
        else if (label->textColor() != kWhite)
            return QStringLiteral("bad colour on ") + caption;
    }
    return yellow;
}

// The working window a user sees in the middle of the working area.
QWidget* frontWindow(Harness& h)
{
    QWidget* area = h.main().workArea();
    const QPoint middle(area->width() * 2 / 3, area->height() / 2);
    QWidget* w = area->childAt(middle);
    while (w && w->parentWidget() != area)
        w = w->parentWidget();
    return w;
}

} // namespace

class StartupMenuTest : public QObject
{
    Q_OBJECT

private slots:
    void startUpState()
    {
        Harness h;
        QVERIFY(h.comm().serialOption->isChecked() && h.comm().portOptions[1]->isChecked() &&
                h.comm().baud9600->isChecked());
        QCOMPARE(h.comm().addressBox->text(), QStringLiteral("192.168.1.100"));
        QCOMPARE(h.comm().tcpPortBox->text(), QStringLiteral("57"));

        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QCOMPARE(highlighted(h.menu()), QStringLiteral("Communications"));
        QCOMPARE(frontWindow(h), static_cast<QWidget*>(&h.comm()));
        QVERIFY(h.menu().isVisible());
        QVERIFY(!h.main().generalSetup().isVisible());
        QVERIFY(!h.main().proxSetup().isVisible());

        MainWindow& m = h.main();
        QCOMPARE(m.windowTitle(), QStringLiteral("ZEL  KARVEL UTILITY  V 2.1"));
        QCOMPARE(m.menuBar()->actions().size(), 2);
        QCOMPARE(m.menuBar()->actions().at(0)->text(), QStringLiteral("&Settings"));
        QCOMPARE(m.menuBar()->actions().at(1)->text(), QStringLiteral("&About          "));
        const int dpi = m.logicalDpiX();
        QCOMPARE(m.height(), 8500 * dpi / 1440);
        QCOMPARE(h.menu().geometry(), QRect(0, 0, 2500 * dpi / 1440, m.workArea()->height()));
        QCOMPARE(h.menu().palette().color(QPalette::Window), QColor(0, 128, 128));
        // Working windows lie right of the menu, at the working area's full size.
        for (QWidget* w :
             {static_cast<QWidget*>(&h.comm()), static_cast<QWidget*>(&m.generalSetup()),
              static_cast<QWidget*>(&m.proxSetup()), static_cast<QWidget*>(&m.programming())}) {
            QCOMPARE(w->x(), h.menu().width() + 1);
            QCOMPARE(w->y(), 0);
            QCOMPARE(w->x() + w->width(), m.workArea()->width());
            QCOMPARE(w->height(), m.workArea()->height());
        }
    }

    void stateLabelBlinks()
    {
        Harness h;
        ClickLabel* label = h.menu().connectionLabel;
        QCOMPARE(label->textColor(), kYellow);
        QTimer& blink = h.main().blinkTimer;
        QCOMPARE(blink.interval(), 500);
        blink.setInterval(5); // the same ticks, sooner
        QTRY_COMPARE(label->textColor(), kLightGreen);
        QTRY_COMPARE(label->textColor(), kYellow);
        QVERIFY(h.connectTcp());
        const QColor now = label->textColor();
        QTRY_VERIFY(label->textColor() != now);
    }

    // Without a link, window entries bring their window forward; reader
    // entries only say beside the connection state why they cannot act: no
    // question, no message. A link opened clears the saying.
    void entriesWithoutALink_data()
    {
        addColumns<int, QString, QString>({"entry", "caption", "refusal"});
        QTest::newRow("general") << 2 << "General Setup" << QString();
        QTest::newRow("prox") << 3 << "Prox Setup" << QString();
        QTest::newRow("communications") << 0 << "Communications" << QString();
        for (int entry : {1, 4, 5, 6, 7})
            QTest::addRow("reader entry %d", entry)
                << entry << "Prox Setup"
                << "Not Connected: connect in Communications first";
    }
    void entriesWithoutALink()
    {
        const auto [entry, caption, refusal] =
            fetch<int, QString, QString>("entry", "caption", "refusal");
        Harness h;
        Harness::click(h.menu().proxSetupEntry); // something other than the start-up choice
        h.state().stopMonitor = false;
        h.dialogs.yesNoAnswers << true;
        Harness::click(mainEntries(h.menu())[entry].first);
        QCOMPARE(highlighted(h.menu()), caption);
        if (entry == 0 || entry == 2 || entry == 3)
            QVERIFY(h.state().stopMonitor);
        QWidget* expected = entry == 2   ? static_cast<QWidget*>(&h.main().generalSetup())
                            : entry == 0 ? static_cast<QWidget*>(&h.comm())
                                         : static_cast<QWidget*>(&h.main().proxSetup());
        QCOMPARE(frontWindow(h), expected);
        QCOMPARE(Harness::spoken(h.menu().refusalLine), refusal);
        QVERIFY(h.dialogs.questions.isEmpty());
        QVERIFY(h.dialogs.messages.isEmpty());
        QVERIFY(h.connectTcp());
        QCOMPARE(h.menu().refusalLine->text(), QString());
    }

    // Return at the question answers No, which keeps the new highlight and
    // sends nothing.
    void confirmationsDeclined_data()
    {
        addColumns<int, QString, QString>({"entry", "question", "caption"});
        QTest::newRow("program") << 5
                                 << "Do you want to program the reader with the options you have "
                                    "specified?\rAll data will be lost in the reader"
                                 << "Program Reader";
        QTest::newRow("reset") << 6 << "Do you want to reset the reader?"
                               << "Reset Reader";
    }
    void confirmationsDeclined()
    {
        const auto [entry, question, caption] =
            fetch<int, QString, QString>("entry", "question", "caption");
        Harness h;
        QVERIFY(h.connectTcp());
        h.dialogs.answerWithReturn = true;
        Harness::click(mainEntries(h.menu())[entry].first);
        QCOMPARE(h.dialogs.questions, QStringList{question});
        QCOMPARE(highlighted(h.menu()), caption);
        QCOMPARE(frontWindow(h), static_cast<QWidget*>(&h.comm()));
        QVERIFY(h.sendEndMark());
        QCOMPARE(h.reader.received(), QByteArray("END\r"));
    }

    void bootExtensionEntryIsSwitchedOff()
    {
        Harness h;
        QVERIFY(h.connectTcp());
        ClickLabel* entry = h.menu().bootExtensionEntry;
        QCOMPARE(entry->text(), QStringLiteral("d/l boot2"));
        QVERIFY(!entry->isEnabled());
        QVERIFY(entry->y() > h.menu().flashEntry->y());
        QVERIFY(entry->y() < h.menu().connectionLabel->y());
        Harness::click(entry);
        QCOMPARE(highlighted(h.menu()), QStringLiteral("Communications"));

        // With a link, an entry refused above is carried out.
        Harness::click(h.menu().utilitiesEntry);
        QCOMPARE(highlighted(h.menu()), QStringLiteral("Utilities"));
    }
};

QTEST_MAIN(StartupMenuTest)
#include "tst_startup_menu.moc"

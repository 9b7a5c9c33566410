// The utilities window and the transaction upload against the simulated
// reader over both links: what reaches the reader, the window and the file.
#include "Harness.h"
#include "SimUtilities.h"

#include "utilities/UtilitiesWindow.h"
#include "widgets/DigitBox.h"

#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>

namespace {

// A label of the window by its member, so that a table row can pick one.
using Element = ClickLabel* UtilitiesWindow::*;

// A started utility with the reader's service commands and the window shown.
struct Rig : Harness
{
    sim::SimUtilities service{reader};
    UtilitiesWindow& window() { return main().readerUtilities(); }
    bool connect(bool tcp)
    {
        if (!connectByRow(*this, tcp))
            return false;
        click(menu().utilitiesEntry);
        return window().isVisible();
    }
    void clickElement(Element element) { click(window().*element); }
    // The status line and the fields as a screen reader hears them.
    QString status() { return Harness::spoken(window().statusLine); }
    QStringList fields()
    {
        UtilitiesWindow& w = window();
        return {w.firmwareIdField->text(), w.readerTimeField->text(),
                Harness::spoken(w.totalSlotsValue), Harness::spoken(w.usedSlotsValue),
                Harness::spoken(w.uploadedValue)};
    }
};

QDateTime at(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

// Runs an action when a label is painted showing a given text.
class OnPaint : public QObject
{
public:
    OnPaint(QLabel* label, QString text, std::function<void()> action)
        : m_label(label), m_text(std::move(text)), m_action(std::move(action))
    {
        label->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_label->text() == m_text)
            m_action();
        return false;
    }

private:
    QLabel* m_label;
    QString m_text;
    std::function<void()> m_action;
};

} // namespace

Q_DECLARE_METATYPE(Element)

class UtilitiesTest : public QObject
{
    Q_OBJECT

private slots:
    // Every element while the menu says "Disconnected".
    void disconnectedElementsSendNothing()
    {
        Rig h;
        UtilitiesWindow& w = h.window();
        QVERIFY(h.connect(true));
        Harness::click(h.comm().disconnectButton);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        // Every label of the window: its buttons, captions, fields and status line.
        const QList<ClickLabel*> elements = w.findChildren<ClickLabel*>();
        QCOMPARE(elements.size(), 18);
        for (ClickLabel* element : elements) {
            w.statusLine->clear();
            Harness::click(element);
            QCOMPARE(h.status(), QStringLiteral("Not Connected"));
        }
        // Connected again, one command: the reader has that and nothing from before.
        Harness::click(h.comm().connectButton);
        h.clickElement(&UtilitiesWindow::firmwareIdButton);
        QCOMPARE(h.reader.received(), QByteArray("\r\rV\r"));
    }

    void commandsShowTheReply_data()
    {
        // A null reply is the reader's own; "sent" is what follows the two returns.
        addColumns<bool, Element, QByteArray, QByteArray, QString, QStringList>(
            {"tcp", "element", "reply", "sent", "status", "fields"});
        const QString earlier("earlier");
        const QStringList start{"", "", "00000", "00000", "00000"};
        using W = UtilitiesWindow;
        const auto row = [](const char* name, bool tcp, Element element, const QByteArray& reply,
                            const QByteArray& sent, const QString& status,
                            const QStringList& fields) {
            QTest::newRow(name) << tcp << element << reply << sent << status << fields;
        };
        row("firmware serial, refused", false, &W::firmwareIdButton, "?", "V\r", earlier,
            {"?", "", "00000", "00000", "00000"});
        row("online", true, &W::onlineModeButton, {}, "|1\r", "Mode Switched", start);
        row("prox dump, any reply", false, &W::proxDumpModeButton, "?", "|2\r", "Mode Switched",
            start);
        row("collection", true, &W::collectionModeButton, "", "|5\r", "Mode Switched", start);
        row("reader time", false, &W::getReaderTimeButton, "240315134502", "t\r", "",
            {"", "2024-03-15 13:45:02", "00000", "00000", "00000"});
        row("short reader time", true, &W::getReaderTimeButton, "24031", "t\r", "",
            {"", "2024-03-1 ::", "00000", "00000", "00000"});
        row("memory", true, &W::memoryUsageButton, "01000003500000000120", "z\r",
            "Memory data received", {"", "", "01000", "00350", "00120"});
        // An empty value field is heard by its caption.
        row("short memory", false, &W::memoryUsageButton, "01", "z\r", "Memory data received",
            {"", "", "01", "Used", "Uploaded"});
        row("no memory figures", true, &W::memoryUsageButton, "", "z\r", "Memory data received",
            {"", "", "Total Slots", "Used", "Uploaded"});
        row("read-only field", true, &W::totalSlotsValue, {}, {}, earlier, start);
        row("clock display", false, &W::clockDisplay, {}, {}, earlier, start);
        row("restart", true, &W::restartButton, {}, QByteArray("\0X\r", 3), "", start);
    }
    void commandsShowTheReply()
    {
        const auto [tcp, element, reply, sent, status, fields] =
            fetch<bool, Element, QByteArray, QByteArray, QString, QStringList>(
                "tcp", "element", "reply", "sent", "status", "fields");
        Rig h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(h.connect(tcp));
        if (!reply.isNull())
            h.reader.setReply(sent.left(1), reply);
        h.window().statusLine->setText(QStringLiteral("earlier"));
        h.clickElement(element);
        QCOMPARE(h.status(), status);
        QCOMPARE(h.fields(), fields);
        QVERIFY(h.sendEndMark());
        QCOMPARE(h.reader.received(), "\r\r" + sent + "END\r");
    }

    // The command carries the shifted time and the weekday, Monday 1 to Sunday 7.
    void setReaderTime_data()
    {
        addColumns<bool, QDateTime, QString, bool, QByteArray, QByteArray, QString>(
            {"tcp", "now", "hours", "subtract", "reply", "sent", "status"});
        const auto row = [](const char* name, bool tcp, const char* now, const char* hours,
                            bool subtract, const QByteArray& reply, const QByteArray& sent,
                            const char* status) {
            QTest::newRow(name) << tcp << at(now) << hours << subtract << reply << sent << status;
        };
        const char* set = "Time set in reader";
        const char* newYear = "2024-12-31T23:30:00";
        row("new year", true, newYear, "2", false, {}, "+2501010130003\r", set);
        row("24 back", false, newYear, "24", true, {}, "+2412302330001\r", set);
        row("sunday", true, "2024-03-17T10:20:30", "0", false, {}, "+2403171020307\r", set);
        row("leap day", false, "2024-02-28T23:59:59", "1", false, {}, "+2402290059594\r", set);
        row("OK is not O", true, newYear, "0", false, "OK", "+2412312330002\r", "Time not set");
        row("25", false, newYear, "25", false, {}, {}, "Invalid hours to add/subtract");
        row("empty", true, newYear, "", false, {}, {}, "Invalid hours to add/subtract");
    }
    void setReaderTime()
    {
        const auto [tcp, now, hours, subtract, reply, sent, status] =
            fetch<bool, QDateTime, QString, bool, QByteArray, QByteArray, QString>(
                "tcp", "now", "hours", "subtract", "reply", "sent", "status");
        Rig h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(h.connect(tcp));
        h.window().setPcClock([now] { return now; });
        h.window().hoursBox->setText(hours);
        (subtract ? h.window().subtractHours : h.window().addHours)->setChecked(true);
        if (!reply.isNull())
            h.reader.setReply("+", reply);
        h.clickElement(&UtilitiesWindow::setReaderTimeButton);
        QCOMPARE(h.window().statusText(), status);
        QVERIFY(h.sendEndMark());
        QCOMPARE(h.reader.received(), "\r\r" + sent + "END\r");
    }

    void clearReaderMemory_data()
    {
        addColumns<bool, QByteArray, QString, int>({"yes", "reply", "status", "stored"});
        QTest::newRow("yes") << true << QByteArray() << "Log Cleared" << 0;
        QTest::newRow("Return answers no") << false << QByteArray() << "earlier" << 3;
        QTest::newRow("other reply") << true << QByteArray("ERR") << "" << 0;
    }
    void clearReaderMemory()
    {
        const auto [yes, reply, status, stored] =
            fetch<bool, QByteArray, QString, int>("yes", "reply", "status", "stored");
        Rig h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(true);
        QVERIFY(h.connect(false));
        h.service.fillLog(3);
        if (!reply.isNull())
            h.reader.setReply("lc", reply);
        h.window().statusLine->setText(QStringLiteral("earlier"));
        h.dialogs.yesNoAnswers << yes;
        h.dialogs.answerWithReturn = !yes;
        h.clickElement(&UtilitiesWindow::clearMemoryButton);
        QCOMPARE(h.dialogs.questions, QStringList{"Do you wish to clear the reader data"});
        QCOMPARE(h.window().statusText(), status);
        QCOMPARE(h.service.log().size(), stored);
        QVERIFY(h.sendEndMark());
        QCOMPARE(h.reader.received(), yes ? QByteArray("\r\rlc\rEND\r") : QByteArray("\r\rEND\r"));
    }

    // The exchange, the file (replacing an older one) and the count as it goes.
    void uploadWritesEveryRecord_data()
    {
        addColumns<bool, QList<QByteArray>>({"tcp", "records"});
        QList<QByteArray> many;
        for (int n = 1; n <= 1000; ++n)
            many << sim::SimUtilities::sampleRecord(n);
        QTest::newRow("empty log") << true << QList<QByteArray>{};
        QTest::newRow("three") << false << QList<QByteArray>{"0001 first", "0002", "0003 third"};
        QTest::newRow("near misses of END") << true << QList<QByteArray>{"end", "END ", "", " END"};
        QTest::newRow("many") << true << many;
    }
    void uploadWritesEveryRecord()
    {
        const auto [tcp, records] = fetch<bool, QList<QByteArray>>("tcp", "records");
        Rig h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(h.connect(tcp));
        h.service.log() = records;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("upload.txt"));
        QVERIFY(writeFile(path, QByteArray(100000, 'x')));
        h.dialogs.saveFileAnswers << path;
        // At each "l", the status and the file as they stand: every record so far is on disk.
        QStringList progress;
        QList<QByteArray> onDisk;
        QObject::connect(&h.reader, &sim::SimReader::commandReceived, &h.reader,
                         [&](const QByteArray& command) {
                             if (command == "l") {
                                 progress << h.window().statusText();
                                 onDisk << fileBytes(path);
                             }
                         });
        h.clickElement(&UtilitiesWindow::uploadButton);
        QCOMPARE(h.window().statusText(),
                 QStringLiteral("Upload complete,  %1 transactions received ").arg(records.size()));
        QCOMPARE(fileBytes(path), crlfLines(records));
        // A five-digit count is read whole, not cut at the line's ends.
        const QLabel* line = h.window().statusLine;
        QVERIFY(line->fontMetrics().horizontalAdvance(
                    QStringLiteral("Upload complete,  40000 transactions received ")) <=
                line->contentsRect().width());
        QCOMPARE(h.dialogs.saveFileRequests,
                 (QList<QStringList>{{"upload.txt", "Text (*.txt)", "txt"}}));
        QCOMPARE(h.reader.commands(),
                 QList<QByteArray>{"lr"} + QList<QByteArray>(records.size() + 1, "l"));
        // The first count shows at once; later ones at the screen's pace, never ahead
        // of the file and never going back.
        int shown = 1;
        for (int count = 1; count <= records.size(); ++count) {
            QCOMPARE(onDisk.at(count), crlfLines(records.mid(0, count)));
            const QString prefix = QStringLiteral("Transactions uploaded:  ");
            QVERIFY2(progress.at(count).startsWith(prefix), qPrintable(progress.at(count)));
            const int now = progress.at(count).mid(prefix.size()).toInt();
            QVERIFY(now >= shown && now <= count);
            shown = now;
        }
    }

    // Each way an upload can end early: what the reader was sent, the status and the file.
    void uploadEndsCleanly_data()
    {
        // "requests" counts the "l" commands sent.
        addColumns<bool, QString, int, QString, QByteArray>(
            {"tcp", "fault", "requests", "status", "file"});
        const auto row = [](const char* name, bool tcp, const char* fault, int requests,
                            const char* status, const QByteArray& file) {
            QTest::newRow(name) << tcp << fault << requests << status << file;
        };
        const QByteArray none("<no file>");
        const QByteArray two = crlfLines({"r1", "r2"});
        const char* noResponse = "No response from reader";
        row("lr refused", true, "lr NO", 0, "invalid response from reader", none);
        row("cancelled", false, "cancel", 0, "earlier", none);
        row("no folder", true, "no folder", 0, "Upload file could not be created", none);
        row("disk full", false, "disk full", 1, "Upload file could not be written", none);
        row("silent", true, "silent", 3, noResponse, two);
        row("drop", false, "drop", 3, noResponse, two);
        row("gone while waiting", false, "closed", 2, noResponse, crlfLines({"r1"}));
    }
    void uploadEndsCleanly()
    {
        const auto [tcp, fault, requests, status, file] =
            fetch<bool, QString, int, QString, QByteArray>("tcp", "fault", "requests", "status",
                                                           "file");
        if (fault == "disk full" && !QFile::exists(QStringLiteral("/dev/full")))
            QSKIP("no /dev/full here");
        Rig h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(h.connect(tcp));
        h.service.log() = {"r1", "r2", "r3", "r4"};
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("upload.txt"));
        if (fault == "lr NO")
            h.reader.setReply("lr", "NO");
        if (fault == "silent")
            h.service.setSilentOnRecordRequest(3);
        if (fault == "drop")
            h.service.setDropOnRecordRequest(3);
        if (fault == "disk full")
            h.dialogs.saveFileAnswers << QStringLiteral("/dev/full");
        else if (fault != "cancel")
            h.dialogs.saveFileAnswers
                << (fault == "no folder" ? dir.filePath("gone/upload.txt") : path);
        // The first count shows at once; the link goes as it is drawn, while the
        // second record is awaited.
        OnPaint closeLink(h.window().statusLine, QStringLiteral("Transactions uploaded:  1"), [&] {
            if (fault == "closed")
                h.main().serialLink.close();
        });
        // The newest count reaches the screen while a silent reader is awaited;
        // the wait then ends as if its time were up.
        bool twoShown = false;
        OnPaint showTwo(h.window().statusLine, QStringLiteral("Transactions uploaded:  2"), [&] {
            twoShown = true;
            if (fault == "silent")
                h.expireReplyWait();
        });
        h.window().statusLine->setText(QStringLiteral("earlier"));
        h.clickElement(&UtilitiesWindow::uploadButton);
        QCOMPARE(h.window().statusText(), status);
        QVERIFY(fault != "silent" || twoShown);
        QCOMPARE(fileBytes(path), file);
        QCOMPARE(h.reader.commands(), QList<QByteArray>{"lr"} + QList<QByteArray>(requests, "l"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 file == "<no file>" ? QStringList() : QStringList{"upload.txt"});
    }

    // One reader operation at a time: a click meanwhile says why; the menu
    // still brings the window forward.
    void clicksDuringAnUploadAreRefused()
    {
        Rig h;
        QVERIFY(h.connect(true));
        h.service.log() = {"a", "b", "c"};
        QTemporaryDir dir;
        h.dialogs.saveFileAnswers << dir.filePath(QStringLiteral("upload.txt"));
        QString refusal;
        QObject::connect(&h.reader, &sim::SimReader::commandReceived, &h.reader,
                         [&](const QByteArray& command) {
                             if (command == "l" && h.service.uploaded() == 1) {
                                 h.clickElement(&UtilitiesWindow::firmwareIdButton);
                                 refusal = h.status();
                                 h.clickElement(&UtilitiesWindow::restartButton);
                                 h.window().lower();
                                 Harness::click(h.menu().utilitiesEntry);
                             }
                         });
        h.clickElement(&UtilitiesWindow::uploadButton);
        QCOMPARE(h.window().statusText(),
                 QStringLiteral("Upload complete,  3 transactions received "));
        QCOMPARE(refusal, QStringLiteral("Another reader operation is running"));
        QCOMPARE(h.reader.commands(), (QList<QByteArray>{"lr", "l", "l", "l", "l"}));
        QCOMPARE(h.main().workArea()->children().constLast(), &h.window());
    }

    // The PC clock is redrawn every second, also while a command waits for its reply.
    void clockTicksWhileAReplyIsAwaited()
    {
        Rig h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(true);
        QVERIFY(h.connect(false));
        QCOMPARE(h.window().clockTimer.interval(), 1000);
        h.window().clockTimer.setInterval(5); // the same ticks, sooner
        QDateTime now = at("2024-03-15T13:45:02");
        h.window().setPcClock([&now] { return now; });
        QCOMPARE(Harness::spoken(h.window().clockDisplay),
                 QStringLiteral("Current Date/Time: 2024-03-15  13:45:02"));
        // Later than the next tick.
        h.reader.setReplyDelay(100);
        QObject::connect(&h.reader, &sim::SimReader::commandReceived, &h.reader,
                         [&now] { now = at("2024-03-15T13:45:09"); });
        QString clockAtReply;
        QObject::connect(&h.reader, &sim::SimReader::send, &h.reader,
                         [&] { clockAtReply = Harness::spoken(h.window().clockDisplay); });
        // A double-click on a button is one click: one command on the wire.
        Harness::doubleClick(h.window().firmwareIdButton);
        QCOMPARE(h.reader.commands(), QList<QByteArray>{"V"});
        QCOMPARE(clockAtReply, QStringLiteral("Current Date/Time: 2024-03-15  13:45:09"));
    }
};

QTEST_MAIN(UtilitiesTest)
#include "tst_utilities.moc"

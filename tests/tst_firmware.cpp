// Firmware and bootloader extension downloads through the window against the simulated
// loader: the bytes it received, the image it kept, the status line and the one message.
#include "Harness.h"
#include "LoaderWire.h"
#include "SimFirmware.h"

#include "firmware/DownloadWindow.h"

#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

// Fault rows name only the fields they change.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

using sim::DownloadFaults;

namespace {

const QByteArray kStamp = "03142026";
const QString kPreparing = QStringLiteral("Preparing to Download Flash");
const QString kHundred = QStringLiteral("Downloading - 100 % complete");
const QString kLinkLost =
    QStringLiteral("The connection to the reader was lost during the download.");
const QString kNeeds9600 =
    QStringLiteral("Controller must be programmed to 9600 baud before reflashing");

// Pauses run at this share of their length; time-outs run at their real
// length, which a download that succeeds never waits through.
constexpr double kPauseScale = 0.01;

// Each window's and link's waits, in ms: the pause after the attention sequence,
// the ready reply, each block's "K" and the final "B".
struct Waits
{
    int pause, ready, ack, final;
};
Waits realWaits(bool boot2, bool tcp)
{
    if (boot2 && !tcp)
        return {1000, 7000, 5000, 5000};
    return {tcp ? 3000 : 2000, 10000, 10000, 10000};
}

// A download: the image, the loader's faults and what the window shows.
struct Download
{
    bool boot2, tcp;
    int size;
    DownloadFaults faults;
    QString message, status;
    bool retry;
    // The window waits out a time-out after a wrong answer, at the pauses' share.
    bool waitsOut = false;
    // A whole download's status as the image came in; Start double-clicked.
    QString lastStatus;
    bool twice = false;
};

struct Rig
{
    Harness h;
    sim::SimFirmware loader{h.reader};
    QTemporaryDir dir;
    DownloadWindow* window = nullptr;
    // As a screen reader hears it, at the attention sequence and when the image is in.
    QStringList statusSeen;
    int pauseArmed = 0;                  // the window's timer at the attention sequence
    QMap<QByteArray, QSet<int>> armedAt; // the window's timer at each reply of the loader

    bool start(bool boot2, bool tcp)
    {
        if (!connectByRow(h, tcp))
            return false;
        window = boot2 ? static_cast<DownloadWindow*>(&h.main().bootExtension())
                       : &h.main().flashDownload();
        window->setTimeScale(kPauseScale, 1.0);
        window->setDateSource([] { return QDate(2026, 3, 14); });
        // The answer kept back would never come: the wait for it ends as its timer would.
        QObject::connect(&loader, &sim::SimFirmware::heldBack, [this] {
            QVERIFY(window->deadline.isArmed());
            window->deadline.expire();
        });
        QObject::connect(&loader, &sim::SimFirmware::attentionReceived, [this] {
            statusSeen << Harness::spoken(window->statusLine);
            pauseArmed = window->deadline.interval();
        });
        QObject::connect(&loader, &sim::SimFirmware::imageComplete,
                         [this] { statusSeen << Harness::spoken(window->statusLine); });
        QObject::connect(&h.reader, &sim::SimReader::send, [this](const QByteArray& bytes) {
            armedAt[bytes] << window->deadline.interval();
        });
        return true;
    }
    QString choose(const QByteArray& contents)
    {
        const QString path = dir.filePath(QStringLiteral("image.bin"));
        writeFile(path, contents);
        h.dialogs.openFileAnswers << path;
        Harness::click(window->selectFileButton);
        return path;
    }
    void run(bool twice = false)
    {
        h.reader.clearRecord();
        MainWindow::bringToFront(window);
        if (twice)
            Harness::doubleClick(window->startButton);
        else
            Harness::click(window->startButton);
    }
};

} // namespace

Q_DECLARE_METATYPE(Download)

class FirmwareTest : public QObject
{
    Q_OBJECT

private slots:
    // Rounded to whole percent, two digits, never 100 before the end.
    void progressText()
    {
        const std::pair<qint64, const char*> progress[] = {
            {50, "05"}, {456, "46"}, {455, "46"}, {4, "00"}, {994, "99"}, {995, "99"}, {999, "99"}};
        for (const auto& [acked, digits] : progress)
            QCOMPARE(download::progressText(acked, 1000),
                     QStringLiteral("Downloading - %1 % complete").arg(QLatin1String(digits)));
    }

    // Whole downloads: every byte the loader received, the status line when
    // the attention sequence and the image came in, and each wait at its real
    // length. One message per failure, with the link's wording, and the status
    // line cleared or left as the window's rules say. Where the reader is left
    // able to listen, a second try from the same window succeeds.
    void download_data()
    {
        QTest::addColumn<Download>("row");
        using F = DownloadFaults;
        const auto block = [](F::BlockFault fault, int number) {
            return F{.blockFault = fault, .faultBlock = number, .lateMs = 50};
        };
        const QString cleared;
        const QString p67 = QStringLiteral("Downloading - 67 % complete");
        const char* timeout = "Timeout Error";
        const char* timeout1 = "Timeout Error, error code 1";
        const char* complete = "Download complete";
        const char* noEnd = "Early end of binary file";
        const char* error2 = "Download Error, error code 2";
        const auto row = [](const char* name, const Download& download) {
            QTest::newRow(name) << download;
        };
        const auto whole = [&](const char* name, bool boot2, bool tcp, int size,
                               const QString& lastStatus, bool twice = false) {
            row(name, {boot2, tcp, size, {}, complete, cleared, false, false, lastStatus, twice});
        };
        whole("fw tcp D=1, double-click", false, true, 45, kHundred, true);
        whole("fw tcp D=49", false, true, 93, kHundred);
        whole("fw serial D=50", false, false, 94, kHundred);
        whole("fw tcp D=51", false, true, 95, kHundred);
        whole("fw serial D=150", false, false, 194, kHundred);
        whole("boot2 serial 1", true, false, 1, kPreparing);
        whole("boot2 serial 33", true, false, 33, QStringLiteral("Downloading - 97 % complete"));
        const QString p50 = QStringLiteral("Downloading - 50 % complete");
        whole("boot2 serial 64", true, false, 64, p50);
        whole("boot2 tcp D=100", true, true, 144, p50);
        row("tcp silent after B", {0, 1, 194, {.readyReply = ""}, timeout, kPreparing, true});
        row("serial wrong ready", {0, 0, 194, {.readyReply = "TX"}, timeout1, cleared, true, true});
        row("tcp ready, then a byte",
            {0, 1, 194, {.readyReply = "TK\r"}, timeout, kPreparing, false, true});
        row("tcp chatter after attention",
            {0, 1, 194, {.afterAttention = "?\r"}, timeout, kPreparing, false, true});
        row("serial chatter after attention is discarded",
            {0, 0, 194, {.afterAttention = "?\r"}, complete, cleared, true});
        row("tcp ready in two pieces", {0, 1, 194, {.readySplitMs = 20}, complete, cleared, true});
        row("boot2 serial answered TK",
            {1, 0, 64, {.readyReply = "TK"}, timeout1, kPreparing, true, true});
        row("serial no K at full block", {0, 0, 194, block(F::NoAck, 2), error2, cleared, true});
        row("serial wrong K at last block",
            {0, 0, 194, block(F::WrongAck, 3), "Download Error, error code 3", cleared, true});
        row("tcp late K", {0, 1, 194, block(F::LateAck, 2), "Download Error",
                           QStringLiteral("Downloading - 33 % complete"), true});
        row("serial line end after K", {0, 0, 194, {.afterAck = "\r"}, error2, cleared, false});
        row("tcp line end after K", {0, 1, 194, {.afterAck = "\r"}, complete, cleared, true});
        row("serial no final B",
            {0, 0, 194, {.silentFinal = 0}, "Download Error, error code 4", cleared, true});
        row("boot2 tcp no B after FF group 1",
            {1, 1, 194, {.silentFinal = 1}, "Download Error", p67, true});
        row("boot2 tcp no B after FF group 2",
            {1, 1, 194, {.silentFinal = 2}, "Download Error", p67, true});
        row("boot2 serial wrong K keeps the status",
            {1, 0, 64, block(F::WrongAck, 1), error2, kPreparing, true});
        row("tcp trailer only", {0, 1, 44, {}, noEnd, kPreparing, true});
        row("boot2 serial empty file", {1, 0, 0, {}, noEnd, kPreparing, true});
        row("tcp link dropped", {0, 1, 194, block(F::DropLink, 2), kLinkLost, cleared, false});
        row("serial link dropped", {0, 0, 194, block(F::DropLink, 2), kLinkLost, cleared, false});
    }
    void download()
    {
        QFETCH(Download, row);
        Rig rig;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!row.tcp);
        QVERIFY(rig.start(row.boot2, row.tcp));
        // A wrong answer leaves the window waiting for the right one until its
        // time-out. What the reader says on waking must be in before the pause
        // ends, which then ends at once.
        const QByteArray chatter = row.faults.afterAttention;
        rig.window->setTimeScale(chatter.isEmpty() ? kPauseScale : 1.0,
                                 row.waitsOut ? kPauseScale : 1.0);
        QTimer pauseEnd;
        QObject::connect(&pauseEnd, &QTimer::timeout, [&] {
            eventwait::Deadline& pause = rig.window->deadline;
            if (rig.h.main().channel().activeLink().pending() >= chatter.size() &&
                pause.isArmed() && pause.interval() == realWaits(row.boot2, row.tcp).pause)
                pause.expire();
        });
        if (!chatter.isEmpty())
            pauseEnd.start(1);
        rig.loader.faults() = row.faults;
        const QByteArray file = imageOf(row.size);
        const QString path = rig.choose(file);
        QCOMPARE(Harness::spoken(rig.window->chosenFileLine), path);
        rig.run(row.twice);

        QCOMPARE(rig.h.dialogs.messages, QStringList{row.message});
        QCOMPARE(Harness::spoken(rig.window->statusLine), row.status);
        QVERIFY(!rig.window->busy());
        QVERIFY(!rig.h.state().operationRunning);
        if (!row.lastStatus.isEmpty()) {
            QCOMPARE(rig.h.reader.received(), loaderWire(file, row.boot2, row.tcp, kStamp));
            QCOMPARE(rig.statusSeen, (QStringList{kPreparing, row.lastStatus}));
            const Waits waits = realWaits(row.boot2, row.tcp);
            QCOMPARE(rig.pauseArmed, qRound(waits.pause * kPauseScale));
            const QByteArray ready = row.boot2 && !row.tcp ? "YK" : "TK";
            QCOMPARE(rig.armedAt,
                     (QMap<QByteArray, QSet<int>>{
                         {ready, {waits.ready}}, {"K", {waits.ack}}, {"B", {waits.final}}}));
        }
        // An image without a data part is refused before any block goes out.
        if (row.message == QLatin1String("Early end of binary file"))
            QCOMPARE(rig.h.reader.received(),
                     kLoaderAttention + (row.boot2 && !row.tcp ? "w" : "B"));
        if (!row.retry)
            return;
        // A late acknowledgement of the failed run is waiting when the next one starts.
        if (row.faults.blockFault == DownloadFaults::LateAck)
            QTRY_VERIFY(rig.h.main().tcpLink.pending() > 0);
        rig.window->setTimeScale(kPauseScale, 1.0);
        rig.loader.faults() = DownloadFaults();
        rig.loader.restart();
        rig.h.dialogs.messages.clear();
        rig.choose(imageOf(194));
        rig.run();
        QCOMPARE(rig.h.dialogs.messages, QStringList{"Download complete"});
    }

    // Start with no image to read sends nothing: a file gone since it was chosen is
    // named, and its reason follows in brackets; after a cancelled choice the path
    // stays shown and Start asks for a file.
    void noImageSendsNothing_data()
    {
        addColumns<bool, QString, QString>({"cancelled", "message", "status"});
        QTest::newRow("file gone") << false << "The image file could not be read: "
                                   << "";
        QTest::newRow("choice cancelled") << true << ""
                                          << "Select a file to download first";
    }
    void noImageSendsNothing()
    {
        const auto [cancelled, message, status] =
            fetch<bool, QString, QString>("cancelled", "message", "status");
        Rig rig;
        QVERIFY(rig.start(false, true));
        const QString path = rig.choose(imageOf(194));
        if (cancelled)
            Harness::click(rig.window->selectFileButton);
        else
            QFile::remove(path);
        QCOMPARE(rig.window->chosenFileLine->text(), path);
        rig.run();
        const QString said = rig.h.dialogs.messages.join('\n');
        QCOMPARE(said.left(said.lastIndexOf(QLatin1String(" ("))),
                 cancelled ? message : message + path);
        QCOMPARE(Harness::spoken(rig.window->statusLine), status);
        QVERIFY(!rig.window->busy());
        QVERIFY(rig.h.sendEndMark());
        QCOMPARE(rig.h.reader.received(), QByteArray("END\r"));
    }

    // While a download runs, neither its own buttons nor another reader
    // operation start anything, and the other download window says why;
    // closing the main window ends the run at once, in its 3 s pause.
    void runningDownloadIsNotReenteredAndEndsOnClose()
    {
        Rig rig;
        QVERIFY(rig.start(false, true));
        DownloadWindow& other = rig.h.main().bootExtension();
        rig.h.dialogs.openFileAnswers << rig.choose(imageOf(194));
        Harness::click(other.selectFileButton);
        rig.window->setTimeScale(1.0, 1.0);
        QString otherStatus;
        QObject::connect(&rig.loader, &sim::SimFirmware::attentionReceived, [&] {
            Harness::click(rig.window->startButton);
            Harness::click(other.startButton);
            otherStatus = Harness::spoken(other.statusLine);
            rig.h.dialogs.yesNoAnswers << true;
            Harness::click(rig.h.menu().programEntry);
            QTimer::singleShot(0, &rig.h.main(), [&rig] { rig.h.main().close(); });
        });
        rig.run();
        QCOMPARE(otherStatus, QStringLiteral("Another reader operation is running"));
        QCOMPARE(rig.h.reader.received(), kLoaderAttention);
        QVERIFY(rig.h.dialogs.messages.isEmpty());
        QVERIFY(!rig.h.main().isVisible());
    }

    // Over TCP the speed is not asked. On serial the speed of the port that is
    // open decides, not the option ticked since: in the menu, which then keeps
    // its highlight, and, for a window already in front, at Start.
    void serialDownloadNeedsTheOpenPortAt9600()
    {
        Rig rig;
        CommunicationsWindow& comm = rig.h.comm();
        comm.baud57600->setChecked(true);
        QVERIFY(rig.h.connectTcp());
        Harness::click(rig.h.menu().flashEntry);
        DownloadWindow& flash = rig.h.main().flashDownload();
        QVERIFY(flash.isVisible());
        rig.h.menu().bootExtensionClicked();
        QVERIFY(rig.h.main().bootExtension().isVisible());
        QVERIFY(rig.h.dialogs.messages.isEmpty());
        Harness::click(comm.disconnectButton);
        Harness::click(rig.h.menu().communicationsEntry);

        comm.baud19200->setChecked(true);
        SKIP_WITHOUT_PSEUDO_TERMINAL(true);
        QVERIFY(rig.h.connectSerial());
        Harness::click(rig.h.menu().flashEntry);
        comm.baud9600->setChecked(true); // not yet applied
        Harness::click(rig.h.menu().flashEntry);
        QCOMPARE(rig.h.dialogs.messages, (QStringList{kNeeds9600, kNeeds9600}));
        QCOMPARE(rig.h.menu().communicationsEntry->textColor(), QColor(255, 255, 0));

        Harness::click(comm.disconnectButton);
        Harness::click(comm.connectButton);
        Harness::click(rig.h.menu().flashEntry);
        rig.window = &flash;
        QVERIFY(flash.isVisible());
        rig.choose(imageOf(194));
        Harness::click(comm.disconnectButton);
        comm.baud19200->setChecked(true);
        Harness::click(comm.connectButton);
        comm.baud9600->setChecked(true);
        rig.h.dialogs.messages.clear();
        rig.run();
        QCOMPARE(rig.h.dialogs.messages, QStringList{kNeeds9600});
        QVERIFY(rig.h.sendEndMark());
        QCOMPARE(rig.h.reader.received(), QByteArray("END\r"));
    }
};

QTEST_MAIN(FirmwareTest)
#include "tst_firmware.moc"

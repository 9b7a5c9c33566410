// Opening and closing the link from the communications window, over TCP on
// 127.0.0.1 and over a pseudo-terminal in a serial port's place.
#include "Harness.h"
#include "SimUtilities.h"

#include "comm/LinkFailure.h"
#include "utilities/UtilitiesWindow.h"
#include "widgets/DigitBox.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTcpServer>

#ifdef KARVEL_HAVE_PSEUDO_TERMINALS
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// A port on 127.0.0.1 that nothing listens on.
quint16 closedPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

} // namespace

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    // The link that was opened stays the link in use until "Disconnect",
    // whatever the mode option shows meanwhile; "Disconnect" closes that link.
    void connectAndDisconnect_data() { addLinkRows(); }
    void connectAndDisconnect()
    {
        const auto [tcp] = fetch<bool>("tcp");
        SKIP_WITHOUT_PSEUDO_TERMINAL(true); // either row also connects the other link
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        QCOMPARE(Harness::spoken(h.menu().connectionLabel), QStringLiteral("Connected"));
        Harness::click(h.comm().connectButton);
        QCOMPARE(h.dialogs.messages, QStringList{"Disconnect first before connecting"});
        QCOMPARE(h.connectionState(), QStringLiteral("Connected"));

        (tcp ? h.comm().serialOption : h.comm().tcpOption)->setChecked(true);
        h.dialogs.yesNoAnswers << true;
        Harness::click(h.menu().resetEntry);
        QVERIFY(h.sendEndMark());
        QCOMPARE(h.reader.received(), QByteArray("\0U1\rEND\r", 8));

        Harness::click(h.comm().disconnectButton);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(!(tcp ? static_cast<Link&>(h.main().tcpLink) : h.main().serialLink).isOpen());
        if (tcp)
            QTRY_VERIFY(!h.server.hasClient());
        Harness::click(h.comm().disconnectButton);
        QCOMPARE(h.dialogs.messages,
                 (QStringList{"Disconnect first before connecting", "Already disconnected"}));
        QVERIFY(connectByRow(h, !tcp));
        QVERIFY(tcp ? h.main().serialLink.isOpen() : h.main().tcpLink.isOpen());
    }

    // Each port option opens its own port at the chosen speed: the reader
    // hears what is sent.
    void serialOpensTheChosenPortWithTheChosenSettings_data()
    {
        addColumns<int, int, uint>({"port", "baudIndex", "speed"});
#ifdef KARVEL_HAVE_PSEUDO_TERMINALS
        const int bauds[] = {9600, 19200, 38400, 57600, 115200};
        const uint speeds[] = {B9600, B19200, B38400, B57600, B115200};
        for (int port = 1; port <= 8; ++port) {
            const int option = (port - 1) % 5;
            QTest::addRow("port %d at %d", port, bauds[option]) << port << option << speeds[option];
        }
#endif
    }
    void serialOpensTheChosenPortWithTheChosenSettings()
    {
#ifdef KARVEL_HAVE_PSEUDO_TERMINALS
        const auto [port, baudIndex, speed] = fetch<int, int, uint>("port", "baudIndex", "speed");
        Harness h;
        QVERIFY(h.pty.open());
        h.app.portNames().setOverride(port, h.pty.slavePath());
        h.comm().portOptions[port - 1]->setChecked(true);
        h.comm().baudOptions()[baudIndex].option->setChecked(true);
        QVERIFY(h.clickConnect());
        // The terminal's own settings, as the device driver holds them: the
        // speed, 8 data bits, no parity, one stop bit, no flow control. (The
        // simulated reader makes the terminal raw itself.)
        const int fd = ::open(QFile::encodeName(h.pty.slavePath()).constData(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        termios tio{};
        const int got = ::tcgetattr(fd, &tio);
        ::close(fd);
        QCOMPARE(got, 0);
        QCOMPARE(uint(cfgetospeed(&tio)), speed);
        QCOMPARE(uint(cfgetispeed(&tio)), speed);
        QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(tio.c_iflag & (IXON | IXOFF | IXANY), tcflag_t(0));
        h.main().channel().sendReaderCommand("V");
        QTRY_COMPARE(h.reader.received(), QByteArray("V\r"));
#else
        SKIP_WITHOUT_PSEUDO_TERMINAL(true);
#endif
    }

    // A device that takes only part of a write: the rest goes out as the
    // device drains, byte for byte, and the send counts as made. The rest
    // still goes out when the user disconnects right after the send.
    void partOfAWriteTakenRestFollows_data()
    {
        addColumns<bool, bool>({"tcp", "disconnect"});
        QTest::newRow("serial") << false << false;
        QTest::newRow("tcp") << true << false;
        QTest::newRow("tcp then disconnect") << true << true;
        QTest::newRow("serial then disconnect") << false << true;
    }
    void partOfAWriteTakenRestFollows()
    {
        const auto [tcp, disconnect] = fetch<bool, bool>("tcp", "disconnect");
        // The TCP rows too: a listener that does not accept is proven on POSIX systems only.
        SKIP_WITHOUT_PSEUDO_TERMINAL(true);
        Harness h;
        // The reader reads nothing yet: its listener does not accept, its
        // pseudo-terminal is not read.
        if (tcp) {
            QVERIFY(h.server.listen());
            h.server.setAccepting(false);
            QVERIFY(h.connectTcp(h.server.port()));
        } else {
            QVERIFY(h.connectSerial());
            h.pty.setReading(false);
        }
        // More than the kernel's buffers take, both ends together.
        QByteArray command(tcp ? 8 * 1024 * 1024 : 1024 * 1024, 'x');
        for (qsizetype i = 0; i < command.size(); i += 997)
            command[i] = char('A' + i % 26);
        h.main().channel().sendReaderCommand(command);
        QVERIFY(!h.state().sendFailed);
        tcp ? h.server.setAccepting(true) : h.pty.setReading(true);
        if (disconnect) {
            Harness::click(h.comm().disconnectButton);
            QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(h.reader.received().size(), command.size() + 1, 20000);
        QVERIFY(h.reader.received() == command + '\r');
    }

    // A TCP connect says so while it waits, and a click meanwhile is taken:
    // "Connect to Port" starts over with the options as they are then,
    // "Disconnect" gives up; neither brings a box.
    void clickDuringAConnect_data()
    {
        addColumns<bool, QString>({"again", "state"});
        QTest::newRow("connect again") << true << "Connected";
        QTest::newRow("disconnect") << false << "Disconnected";
    }
    void clickDuringAConnect()
    {
        const auto [again, state] = fetch<bool, QString>("again", "state");
        const quint16 closed = closedPort();
        Harness h;
        QVERIFY(h.server.listen());
        QStringList shown;
        h.main().tcpLink.setConnectSleep([&, again = again](int ms) {
            shown << h.comm().reasonLine->text();
            if (shown.size() > 1) {
                (void)QTest::qWaitFor([&] { return h.state().tcpConnectSeen; }, ms);
                return;
            }
            h.comm().tcpPortBox->setText(QString::number(h.server.port()));
            Harness::click(again ? h.comm().connectButton : h.comm().disconnectButton);
        });
        QCOMPARE(h.connectTcp(closed), again);
        const QString connecting = QStringLiteral("Connecting to 127.0.0.1 port %1 ...");
        QCOMPARE(shown.first(), connecting.arg(closed));
        if (again)
            QCOMPARE(shown.last(), connecting.arg(h.server.port()));
        QCOMPARE(h.connectionState(), state);
        QCOMPARE(h.comm().reasonLine->text(), QString());
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    // A link the reader drops reads "Disconnected" at once, with what happened
    // and when; "Connect to Port" then opens a new one, and the utilities
    // window no longer shows what it read over the old one.
    void lostLinkReadsDisconnected_data()
    {
        addColumns<bool, QString>({"tcp", "pattern"});
        QTest::newRow("tcp") << true
                             << "^The reader at 127\\.0\\.0\\.1 closed the connection at "
                                "\\d\\d:\\d\\d:\\d\\d\\. \"Connect to Port\" connects again\\.$";
        QTest::newRow("serial") << false
                                << "^/dev/pts/\\d+ went away at \\d\\d:\\d\\d:\\d\\d "
                                   "\\(adapter unplugged\\?\\)\\. Plug it in again, then "
                                   "\"Connect to Port\"\\.$";
    }
    void lostLinkReadsDisconnected()
    {
        const auto [tcp, pattern] = fetch<bool, QString>("tcp", "pattern");
        Harness h;
        sim::SimUtilities service(h.reader);
        service.fillLog(12);
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        Harness::click(h.menu().utilitiesEntry);
        UtilitiesWindow& w = h.main().readerUtilities();
        Harness::click(w.firmwareIdButton);
        Harness::click(w.getReaderTimeButton);
        h.reader.setIdleDrop(500);
        Harness::click(w.memoryUsageButton);
        const auto fields = [&w] {
            return QStringList{w.firmwareIdField->text(), w.readerTimeField->text(),
                               w.totalSlotsValue->text(), w.usedSlotsValue->text(),
                               w.uploadedValue->text()};
        };
        QVERIFY2(!fields().contains(QString()), qPrintable(fields().join('|')));

        QTRY_COMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY2(QRegularExpression(pattern).match(h.comm().reasonLine->text()).hasMatch(),
                 qPrintable(h.comm().reasonLine->text()));
        h.reader.setIdleDrop(0);
        QVERIFY(tcp ? h.clickConnect() : h.connectSerial());
        QVERIFY(h.dialogs.messages.isEmpty());
        QCOMPARE(h.comm().reasonLine->text(), QString());
        QCOMPARE(fields(), (QStringList{"", "", "00000", "00000", "00000"}));
        h.reader.clearRecord();
        Harness::click(w.firmwareIdButton);
        QCOMPARE(w.firmwareIdField->text(), QStringLiteral("KARVEL READER SIM V1.00"));
        QCOMPARE(h.reader.received(), QByteArray("\r\rV\r"));
    }

    // Each way a connect can fail is said in one line, and nothing else
    // changes: the state stays "Disconnected" and no box appears. A missing
    // serial device is said in the port names' own test. A refused connection
    // never completes: the wait gives up after its thirtieth sleep of 100 ms.
    void failedConnectSaysWhy_data()
    {
        // The serial error injected at the open, or a TCP port text.
        addColumns<QSerialPort::SerialPortError, bool, QString, QString>(
            {"error", "mayOpen", "portText", "expected"});
        const auto row = [](const QString& name, QSerialPort::SerialPortError error, bool mayOpen,
                            const QString& portText, const QString& expected) {
            QTest::newRow(qPrintable(name)) << error << mayOpen << portText << expected;
        };
        row("permission", QSerialPort::PermissionError, false, {},
            "Permission denied on {device}: it belongs to group \"dialout\". Add yourself with: "
            "sudo usermod -aG dialout $USER, then log out and in again.");
        row("in use", QSerialPort::PermissionError, true, {},
            "{device} is in use by another program. Close that program and connect again.");
        row("other", QSerialPort::UnsupportedOperationError, true, {},
            "{device} could not be opened: injected.");
        for (const QString text : {"", "0", "65536"})
            row("tcp port \"" + text + '"', QSerialPort::NoError, true, text,
                "Port \"" + text + "\" is not a number from 1 to 65535.");
        row("refused", QSerialPort::NoError, true, "{closed}",
            "127.0.0.1 refused the connection on port {closed}: nothing is listening there.");
    }
    void failedConnectSaysWhy()
    {
        auto [error, mayOpen, portText, expected] =
            fetch<QSerialPort::SerialPortError, bool, QString, QString>("error", "mayOpen",
                                                                        "portText", "expected");
        const bool tcp = error == QSerialPort::NoError;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        const QString closed = QString::number(closedPort());
        portText.replace(QStringLiteral("{closed}"), closed);
        expected.replace(QStringLiteral("{closed}"), closed);
        Harness h;
        h.comm().reasonLine->setText(QStringLiteral("left from before"));
        if (tcp) {
            h.comm().tcpOption->setChecked(true);
            h.comm().addressBox->setText(QStringLiteral("127.0.0.1"));
            h.comm().tcpPortBox->setText(portText);
        } else {
            QVERIFY(h.pty.open());
            h.app.portNames().setOverride(Harness::kPtyPort, h.pty.slavePath());
            h.comm().serialOption->setChecked(true);
            h.comm().portOptions[Harness::kPtyPort - 1]->setChecked(true);
            h.main().serialLink.failNextOpen(error, {true, mayOpen, QStringLiteral("dialout")});
        }
        Harness::click(h.comm().connectButton);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(h.dialogs.messages.isEmpty());
        if (tcp) // a port out of range is refused before any wait
            QCOMPARE(h.connectSleeps, QList<int>(portText == closed ? 30 : 0, 100));
        QCOMPARE(Harness::spoken(h.comm().reasonLine),
                 expected.replace(QStringLiteral("{device}"), h.pty.slavePath()));

        // The injected fault was for one attempt: the next one opens the port.
        if (!tcp) {
            Harness::click(h.comm().connectButton);
            QCOMPARE(h.connectionState(), QStringLiteral("Connected"));
            QCOMPARE(h.comm().reasonLine->text(), QString());
        }
    }

    // The ends of the port range, and an address of the box's full 15
    // characters (a 16th is not taken), reach the reader as typed.
    void rangeEdgesConnect_data()
    {
        addColumns<QString, quint16>({"typedAddress", "port"});
        QTest::newRow("port 1") << "127.0.0.1" << quint16(1);
        QTest::newRow("port 65535, 15 characters") << "127.000.000.0019" << quint16(65535);
    }
    void rangeEdgesConnect()
    {
        const auto [typedAddress, port] = fetch<QString, quint16>("typedAddress", "port");
        Harness h;
        if (!h.server.listen(port))
            QSKIP("another program listens on that port");
        h.comm().tcpOption->setChecked(true);
        for (QLineEdit* box : {h.comm().addressBox, static_cast<QLineEdit*>(h.comm().tcpPortBox)})
            box->clear();
        QTest::keyClicks(h.comm().addressBox, typedAddress);
        QTest::keyClicks(h.comm().tcpPortBox, QString::number(port));
        QCOMPARE(h.comm().addressBox->text(), typedAddress.left(15));
        QVERIFY(h.clickConnect());
        h.main().channel().sendReaderCommand("V");
        QCOMPARE(h.main().channel().readReaderLine().text, QByteArray("KARVEL READER SIM V1.00"));
    }
};

QTEST_MAIN(LinkTest)
#include "tst_link.moc"

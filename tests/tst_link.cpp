// Opening and closing the link from the communications window, over TCP on
// 127.0.0.1 and over a pseudo-terminal in a serial port's place.
#include "Harness.h"

#include "app/commandmenu.h"
#include "app/stamain.h"
#include "comm/commform.h"
#include "widgets/ClickLabel.h"
#include "widgets/DigitBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTcpServer>
#include <QTest>

class LinkTest : public QObject
{
    Q_OBJECT

private slots:
    void connectAndDisconnect_data() { addLinkRows(); }
    void connectAndDisconnect()
    {
        QFETCH(bool, tcp);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        QVERIFY(h.main().channel().activeLink().isOpen());

        Harness::click(h.comm().Label10);
        QCOMPARE(h.dialogs.messages, QStringList{"Disconnect first before connecting"});
        QCOMPARE(h.connectionState(), QStringLiteral("Connected"));
        QVERIFY(h.main().channel().activeLink().isOpen());

        Harness::click(h.comm().Label7);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(!h.main().channel().activeLink().isOpen());
        Harness::click(h.comm().Label7);
        QCOMPARE(h.dialogs.messages,
                 (QStringList{"Disconnect first before connecting", "Already disconnected"}));
    }

    void serialOpensTheChosenPortWithTheChosenSettings_data()
    {
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("baud");
        QTest::newRow("9600") << 0 << "9600,N,8,1" << 9600;
        QTest::newRow("19200") << 1 << "19200,N,8,1" << 19200;
        QTest::newRow("38400") << 2 << "38400,N,8,1" << 38400;
        QTest::newRow("57600") << 3 << "57600,N,8,1" << 57600;
        QTest::newRow("115200") << 4 << "115200,N,8,1" << 115200;
    }
    void serialOpensTheChosenPortWithTheChosenSettings()
    {
        QFETCH(int, baudIndex);
        QFETCH(QString, settings);
        QFETCH(int, baud);
        Harness h;
        h.comm().baudOptions()[baudIndex].option->setChecked(true);
        QCOMPARE(h.state().BaudRate, baud);
        QVERIFY(h.connectSerial());
        QCOMPARE(h.main().MSComm1.portNumber(), Harness::kPtyPort);
        QCOMPARE(h.state().ComPortNumber, Harness::kPtyPort);
        QCOMPARE(h.main().MSComm1.settings(), settings);
    }

    // Ports 6 to 8 are chosen like the others.
    void upperPortOptionsSelectTheirPorts_data()
    {
        QTest::addColumn<int>("port");
        for (int port = 1; port <= 8; ++port)
            QTest::newRow(qPrintable(QString::number(port))) << port;
    }
    void upperPortOptionsSelectTheirPorts()
    {
        QFETCH(int, port);
        Harness h;
        QVERIFY(h.pty.open());
        h.app.portNames().setOverride(port, h.pty.slavePath());
        h.comm().portOptions()[port - 1]->setChecked(true);
        QCOMPARE(h.state().ComPortNumber, port);
        Harness::click(h.comm().Label10);
        QCOMPARE(h.connectionState(), QStringLiteral("Connected"));
        QCOMPARE(h.main().MSComm1.portNumber(), port);
        QRadioButton* option = h.comm().portOptions()[port - 1];
        QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), option->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(option, &tip);
        QCOMPARE(option->toolTip(), h.pty.slavePath());
    }

    void missingSerialDeviceStaysDisconnected()
    {
        Harness h;
        h.app.portNames().setOverride(2, QStringLiteral("/dev/no-such-karvel-port"));
        Harness::click(h.comm().Label10);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    void emptyTcpPortFailsAtOnce()
    {
        Harness h;
        h.comm().Option1->setChecked(true);
        h.comm().Text1->setText(QStringLiteral("127.0.0.1"));
        h.comm().Text3->clear();
        QCOMPARE(h.state().RemotePortText, QString());
        QElapsedTimer clock;
        clock.start();
        Harness::click(h.comm().Label10);
        QVERIFY(clock.elapsed() < 100);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    // A refused connection never completes: the wait gives up after its
    // thirtieth sleep of 100 ms.
    void refusedTcpPortGivesUpAfterThreeSeconds()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 closedPort = probe.serverPort();
        probe.close();
        Harness h;
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!h.connectTcp(closedPort));
        QVERIFY2(clock.elapsed() >= 2900 && clock.elapsed() < 4000,
                 QByteArray::number(clock.elapsed()));
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(!h.main().tcpclient.isOpen());
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    void remoteCloseKeepsConnectedUntilTheUserDisconnects()
    {
        Harness h;
        QVERIFY(h.connectTcp());
        QTRY_VERIFY(h.server.hasClient());
        h.server.dropClient();
        QTRY_VERIFY(!h.main().tcpclient.isOpen());
        QCOMPARE(h.connectionState(), QStringLiteral("Connected"));
        Harness::click(h.comm().Label7);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(h.dialogs.messages.isEmpty());
    }

    void serialReconnectsAfterTheCableComesBack()
    {
        Harness h;
        QVERIFY(h.connectSerial());
        h.pty.close();
        QTRY_VERIFY(!h.main().MSComm1.isOpen());
        Harness::click(h.comm().Label7);
        QVERIFY(h.connectSerial());
        h.main().channel().SendReaderCommand("V");
        QVERIFY(!h.state().SendFailed);
        QTRY_COMPARE(h.reader.commands(), QList<QByteArray>{"V"});
    }

    // The link that was opened stays the link in use until "Disconnect",
    // whatever the mode option shows meanwhile; "Disconnect" closes that link.
    void modeChangedWhileConnectedWaitsForTheNextConnect_data() { addLinkRows(); }
    void modeChangedWhileConnectedWaitsForTheNextConnect()
    {
        QFETCH(bool, tcp);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        (tcp ? h.comm().Option2 : h.comm().Option1)->setChecked(true);
        h.dialogs.yesNoAnswers << true;
        Harness::click(h.menu().Label7);
        QTRY_COMPARE(h.reader.received(), QByteArray("\0U1\r", 4));
        QVERIFY(!h.state().SendFailed);

        Harness::click(h.comm().Label7);
        QCOMPARE(h.connectionState(), QStringLiteral("Disconnected"));
        QVERIFY(!h.main().tcpclient.isOpen());
        QVERIFY(!h.main().MSComm1.isOpen());
        if (tcp)
            QTRY_VERIFY(!h.server.hasClient());

        QVERIFY(connectByRow(h, !tcp));
        QVERIFY(tcp ? h.main().MSComm1.isOpen() : h.main().tcpclient.isOpen());
    }

    void portBoxTakesDigitsOnly()
    {
        Harness h;
        DigitBox* box = h.comm().Text3;
        box->clear();
        QTest::keyClicks(box, QStringLiteral("5a7-. 123456"));
        QCOMPARE(box->text(), QStringLiteral("57123"));
        QCOMPARE(h.state().RemotePortText, QStringLiteral("57123"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(h.state().RemotePortText, QStringLiteral("5712"));

        QLineEdit* address = h.comm().Text1;
        address->clear();
        QTest::keyClicks(address, QStringLiteral("reader.local:1234567"));
        QCOMPARE(address->text(), QStringLiteral("reader.local:12"));
        QCOMPARE(h.state().RemoteAddress, QStringLiteral("reader.local:12"));
    }
};

QTEST_MAIN(LinkTest)
#include "tst_link.moc"

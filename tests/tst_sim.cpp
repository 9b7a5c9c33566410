#include "SimPty.h"
#include "SimReader.h"
#include "SimTcpServer.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <functional>
#include <memory>

using Setup = std::function<void(sim::SimReader&)>;
Q_DECLARE_METATYPE(Setup)

namespace {

// Wire bytes restated here rather than taken from the sim.
const QByteArray versionLine = "KARVEL READER SIM V1.00\r";
const QByteArray accepted = "OK\r";
const QByteArray resetCommand("\0U1\r", 4);
const QStringList transports = {QStringLiteral("tcp"), QStringLiteral("pty")};

// The utility's end of the link: a TCP client, or a QSerialPort on the pty's slave.
class ClientEnd : public QObject
{
public:
    QByteArray received;
    bool dropped = false;
    qint64 firstReplyMs = -1; // since the first write

    ~ClientEnd() override
    {
        if (m_device)
            m_device->disconnect(this);
    }

    bool open(const QString& transport, sim::SimTcpServer& server, sim::SimPty& pty)
    {
        if (transport == QLatin1String("tcp")) {
            QSignalSpy accepted(&server, &sim::SimTcpServer::clientConnected);
            auto* socket = new QTcpSocket(this);
            connect(socket, &QTcpSocket::disconnected, this, [this] { dropped = true; });
            socket->connectToHost(QHostAddress::LocalHost, server.port());
            attach(socket);
            return QTest::qWaitFor([&] { return accepted.count() > 0; }, 5000);
        }
        auto* port = new QSerialPort(pty.slavePath(), this);
        // As the utility does: a port whose far end went away is closed, or it spins.
        connect(port, &QSerialPort::errorOccurred, this,
                [this, port](QSerialPort::SerialPortError e) {
                    if (e == QSerialPort::ReadError || e == QSerialPort::ResourceError ||
                        e == QSerialPort::WriteError) {
                        dropped = true;
                        port->close();
                    }
                });
        attach(port);
        return port->open(QIODevice::ReadWrite);
    }

    void close() { m_device->close(); }

    void write(const QByteArray& bytes)
    {
        if (!m_clock.isValid())
            m_clock.start();
        m_device->write(bytes);
    }

private:
    void attach(QIODevice* device)
    {
        m_device = device;
        connect(device, &QIODevice::readyRead, this, [this] {
            if (firstReplyMs < 0 && m_clock.isValid())
                firstReplyMs = m_clock.elapsed();
            received += m_device->readAll();
        });
    }

    QIODevice* m_device = nullptr;
    QElapsedTimer m_clock;
};

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_reader = std::make_unique<sim::SimReader>();
        m_server = std::make_unique<sim::SimTcpServer>(*m_reader);
        QVERIFY2(m_server->listen(), qPrintable(m_server->errorString()));
        m_pty = std::make_unique<sim::SimPty>(*m_reader);
        QVERIFY2(m_pty->open(), qPrintable(m_pty->errorString()));
    }

    void cleanup()
    {
        m_pty.reset();
        m_server.reset();
        m_reader.reset();
    }

    void answersCommands_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("notBeforeMs");

        const Setup nothing = [](sim::SimReader&) {};
        const Setup twoReplies = [](sim::SimReader& r) {
            r.setReply("X", "E1");
            r.setReply("X12", "E2");
        };
        const Setup chatter = [](sim::SimReader& r) {
            r.setChatterBefore("<<");
            r.setChatterAfter(">>");
        };
        for (const QString& t : transports) {
            auto row = [&](const char* name) -> QTestData& {
                return QTest::addRow("%s: %s", qPrintable(t), name) << t;
            };
            row("version") << nothing << QByteArray("V\r") << versionLine << 0;
            row("programming command") << nothing << QByteArray("X07310100\r") << accepted << 0;
            row("unknown command") << nothing << QByteArray("Q\r") << QByteArray("?\r") << 0;
            // Each case ends with V: anything answered before it would show up in front.
            row("bare CRs and reset unanswered")
                << nothing << QByteArray("\r\r" + resetCommand + "V\r") << versionLine << 0;
            row("silent on a command") << Setup([](sim::SimReader& r) { r.setSilentOn("X121"); })
                                       << QByteArray("X121110\rV\r") << versionLine << 0;
            row("longest configured prefix wins")
                << twoReplies << QByteArray("X121110\rX07310100\r") << QByteArray("E2\rE1\r") << 0;
            row("configured reply matched past the NUL")
                << Setup([](sim::SimReader& r) { r.setReply("U1", "RESETTING"); }) << resetCommand
                << QByteArray("RESETTING\r") << 0;
            row("CRLF line ending")
                << Setup([](sim::SimReader& r) { r.setLineEnding("\r\n"); }) << QByteArray("V\r")
                << QByteArray("KARVEL READER SIM V1.00\r\n") << 0;
            row("chatter around the reply")
                << chatter << QByteArray("X121110\r") << QByteArray("<<OK\r>>") << 0;
            row("unsolicited bytes as given")
                << Setup([](sim::SimReader& r) { r.sendUnsolicited("RING"); }) << QByteArray("V\r")
                << QByteArray("RING" + versionLine) << 0;
            row("delayed replies keep their order")
                << Setup([](sim::SimReader& r) { r.setReplyDelay(300); })
                << QByteArray("V\rX121110\r") << QByteArray(versionLine + accepted) << 300;
        }
    }

    void answersCommands()
    {
        QFETCH(QString, transport);
        QFETCH(Setup, setup);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, expected);
        QFETCH(int, notBeforeMs);

        ClientEnd client;
        QVERIFY(client.open(transport, *m_server, *m_pty));
        setup(*m_reader);
        client.write(sent);
        QTRY_VERIFY_WITH_TIMEOUT(client.received.size() >= expected.size(), 5000);
        QCOMPARE(client.received, expected);
        if (notBeforeMs > 0)
            QVERIFY2(client.firstReplyMs >= notBeforeMs,
                     qPrintable(QString::number(client.firstReplyMs)));
    }

    void recordsWhatArrived_data()
    {
        QTest::addColumn<QString>("transport");
        for (const QString& t : transports)
            QTest::newRow(qPrintable(t)) << t;
    }

    // Commands arrive in pieces that split them anywhere; the record must match byte for byte.
    void recordsWhatArrived()
    {
        QFETCH(QString, transport);
        const QList<QByteArray> pieces = {"\r\r", "X07300000\r" + resetCommand + "X0731",
                                          "0100\r\\20100\rg     \r", "h          \rX9", "99\r"};
        ClientEnd client;
        QVERIFY(client.open(transport, *m_server, *m_pty));
        QByteArray sent;
        for (const QByteArray& piece : pieces) {
            client.write(piece);
            sent += piece;
            QTRY_COMPARE_WITH_TIMEOUT(m_reader->received().size(), sent.size(), 5000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(client.received, QByteArray("OK\rOK\rOK\rOK\rOK\r?\r"), 5000);

        QCOMPARE(m_reader->received(), sent);
        const QList<QByteArray> commands = {
            "X07300000", QByteArray("\0U1", 3), "X07310100", "\\20100",
            "g     ",    "h          ",         "X999"};
        QCOMPARE(m_reader->commands(), commands);
        QCOMPARE(m_reader->parameter("X073"), QByteArray("10100"));
        QCOMPARE(m_reader->parameter("\\"), QByteArray("20100"));
        QCOMPARE(m_reader->parameter("g"), QByteArray("     "));
        QCOMPARE(m_reader->parameter("h"), QByteArray("          "));
        QCOMPARE(m_reader->resetCount(), 1);

        m_reader->clearRecord();
        QVERIFY(m_reader->received().isEmpty());
        QVERIFY(m_reader->commands().isEmpty());
    }

    void closeOnDropsTheLink_data() { recordsWhatArrived_data(); }

    void closeOnDropsTheLink()
    {
        QFETCH(QString, transport);
        m_reader->setCloseOn("X121");
        ClientEnd client;
        QVERIFY(client.open(transport, *m_server, *m_pty));
        client.write("V\r");
        QTRY_COMPARE_WITH_TIMEOUT(client.received, versionLine, 5000);
        client.write("X121110\r");
        QTRY_VERIFY_WITH_TIMEOUT(client.dropped, 5000);
        QCOMPARE(client.received, versionLine);
        QCOMPARE(m_reader->commands().last(), QByteArray("X121110"));
        QVERIFY(!m_server->hasClient());
        QCOMPARE(m_pty->isOpen(), transport != QLatin1String("pty"));
    }

    // A half-sent command belongs to the old connection and must not prefix the next one's.
    void newTcpClientReplacesTheOld()
    {
        ClientEnd first;
        QVERIFY(first.open(QStringLiteral("tcp"), *m_server, *m_pty));
        first.write("X07");
        QTRY_COMPARE_WITH_TIMEOUT(m_reader->received(), QByteArray("X07"), 5000);

        ClientEnd second;
        QVERIFY(second.open(QStringLiteral("tcp"), *m_server, *m_pty));
        QTRY_VERIFY_WITH_TIMEOUT(first.dropped, 5000);
        second.write("V\r");
        QTRY_COMPARE_WITH_TIMEOUT(second.received, versionLine, 5000);
        QVERIFY(first.received.isEmpty());
    }

    // The utility closes and reopens its port between sessions; the pty must keep answering.
    void ptyAnswersAfterThePortIsReopened()
    {
        for (int session = 0; session < 2; ++session) {
            ClientEnd client;
            QVERIFY(client.open(QStringLiteral("pty"), *m_server, *m_pty));
            client.write("V\r");
            QTRY_COMPARE_WITH_TIMEOUT(client.received, versionLine, 5000);
            client.close();
            // One pass of the loop lets the sim see the slave closed before it is reopened.
            QCoreApplication::processEvents();
        }
        QVERIFY(m_pty->isOpen());
    }

private:
    std::unique_ptr<sim::SimReader> m_reader;
    std::unique_ptr<sim::SimTcpServer> m_server;
    std::unique_ptr<sim::SimPty> m_pty;
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"

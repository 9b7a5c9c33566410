// The simulated reader itself where the end-to-end tests do not reach: chunking, prefix
// matching, the loader taking the link over, and each link across reconnections.
#include "DataRows.h"
#include "Platform.h"
#include "SimFirmware.h"
#include "SimPty.h"
#include "SimReader.h"
#include "SimTcpServer.h"

#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

// Wire bytes restated here rather than taken from the sim.
const QByteArray versionLine = "KARVEL READER SIM V1.00\r";
const QByteArray resetCommand("\0U1\r", 4);

// The utility's end of the link: a TCP client, or a QSerialPort on the pty's slave.
class ClientEnd : public QObject
{
public:
    QByteArray received;
    QIODevice* device = nullptr;
    bool dropped = false; // TCP only

    bool open(bool tcp, sim::SimTcpServer& server, sim::SimPty& pty)
    {
        QSignalSpy accepted(&server, &sim::SimTcpServer::clientConnected);
        if (tcp) {
            auto* socket = new QTcpSocket(this);
            connect(socket, &QTcpSocket::disconnected, this, [this] { dropped = true; });
            socket->connectToHost(QHostAddress::LocalHost, server.port());
            device = socket;
        } else {
            device = new QSerialPort(pty.slavePath(), this);
        }
        connect(device, &QIODevice::readyRead, this, [this] { received += device->readAll(); });
        return tcp ? accepted.wait(5000) : device->open(QIODevice::ReadWrite);
    }
};

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

    std::unique_ptr<sim::SimReader> m_reader;
    std::unique_ptr<sim::SimTcpServer> m_server;
    std::unique_ptr<sim::SimPty> m_pty;
    QByteArray m_replies; // everything the reader sent, on any link

private slots:
    void init()
    {
        m_reader = std::make_unique<sim::SimReader>();
        connect(m_reader.get(), &sim::SimReader::send, this,
                [this](const QByteArray& bytes) { m_replies += bytes; });
        m_replies.clear();
        m_server = std::make_unique<sim::SimTcpServer>(*m_reader);
        QVERIFY2(m_server->listen(), qPrintable(m_server->errorString()));
        SKIP_WITHOUT_PSEUDO_TERMINAL(true);
        m_pty = std::make_unique<sim::SimPty>(*m_reader);
        QVERIFY2(m_pty->open(), qPrintable(m_pty->errorString()));
    }

    // Chunks split commands anywhere; the record keeps every byte, a reset's NUL
    // included, and a programming command of the wrong length is answered "?".
    // Overrides match past a reset's NUL, the longest prefix wins, and the
    // command still takes effect.
    void commandsSplitAcrossChunks()
    {
        m_reader->setReply("X9", "E1");
        m_reader->setReply("X99", "E2");
        m_reader->setReply("U1", "RESETTING");
        const QList<QByteArray> chunks = {"\r\r", "X0731010\r" + resetCommand + "X0731",
                                          "0100\r\\20100\rg     \r", "h          \rX9",
                                          "99\rX91\r"};
        for (const QByteArray& chunk : chunks)
            m_reader->receive(chunk);
        QCOMPARE(m_reader->received(), chunks.join());
        QCOMPARE(m_reader->commands(),
                 (QList<QByteArray>{"X0731010", QByteArray("\0U1", 3), "X07310100", "\\20100",
                                    "g     ", "h          ", "X999", "X91"}));
        QCOMPARE(m_replies, QByteArray("?\rRESETTING\rOK\rOK\rOK\rOK\rE2\rE1\r"));
        QCOMPARE(m_reader->parameter("X073"), QByteArray("10100"));
        QCOMPARE(m_reader->resetCount(), 1);
    }

    // The loader takes over in the middle of a chunk and hands the link back in
    // the middle of another: bytes on each side reach the right reader.
    void loaderSharesChunksWithTheCommandParser_data()
    {
        addColumns<QByteArray, QByteArray, QByteArray>({"block", "answers", "kept"});
        QTest::newRow("good block")
            << QByteArray("\x02\x41\x42\x03\x00", 5) << "YKKB" + versionLine << QByteArray("AB");
        QTest::newRow("spoilt check byte")
            << QByteArray("\x02\x41\x42\x04", 4) << "YKE" + versionLine << QByteArray();
    }
    void loaderSharesChunksWithTheCommandParser()
    {
        const auto [block, answers, kept] =
            fetch<QByteArray, QByteArray, QByteArray>("block", "answers", "kept");
        sim::SimFirmware loader(*m_reader);
        m_reader->receive(QByteArray("\x00\x1b\x0d\x00\x1b\x0dw", 7) + block + "V\r");
        QCOMPARE(m_replies, answers);
        QCOMPARE(loader.images().first().data, kept);
        QVERIFY(!m_reader->hasRawConsumer());
    }

    // With both links open, replies and half-received commands stay on their own link;
    // a new TCP client takes the old one's place, and a drop ends only its own link.
    void linksKeepToThemselves()
    {
        ClientEnd tcp, pty, nextTcp;
        QVERIFY(tcp.open(true, *m_server, *m_pty));
        QVERIFY(pty.open(false, *m_server, *m_pty));
        tcp.device->write("X07");
        QTRY_COMPARE(m_reader->received(), QByteArray("X07"));
        pty.device->write("V\r");
        QTRY_COMPARE(pty.received, versionLine);
        tcp.device->write("310100\r");
        QTRY_COMPARE(tcp.received, QByteArray("OK\r"));

        tcp.device->write("X07");
        QTRY_VERIFY(m_reader->received().endsWith("X07"));
        QVERIFY(nextTcp.open(true, *m_server, *m_pty));
        QTRY_VERIFY(tcp.dropped);
        nextTcp.device->write("V\r");
        QTRY_COMPARE(nextTcp.received, versionLine);
        QCOMPARE(tcp.received, QByteArray("OK\r"));

        m_reader->setCloseOn("X121");
        pty.device->write("X121110\r");
        QTRY_VERIFY(!m_pty->isOpen());
        QVERIFY(m_server->hasClient());
    }

    // The utility closes and reopens its port between sessions; the pty must keep
    // answering, and must not wake the event loop while no port is open.
    void ptySurvivesThePortBeingReopened()
    {
        QObject counting;
        int wakeUps = 0;
        for (QSocketNotifier* notifier : m_pty->findChildren<QSocketNotifier*>())
            connect(notifier, &QSocketNotifier::activated, &counting, [&] { ++wakeUps; });
        for (int session = 0; session < 2; ++session) {
            ClientEnd client;
            QVERIFY(client.open(false, *m_server, *m_pty));
            client.device->write("V\r");
            QTRY_COMPARE(client.received, versionLine);
            client.device->close();
            wakeUps = 0;
            for (int pass = 0; pass < 50; ++pass)
                QCoreApplication::processEvents();
            QVERIFY2(wakeUps < 5, QByteArray::number(wakeUps));
        }
        QVERIFY(m_pty->isOpen());
    }

    // The program answers as its command line says; a reply without a prefix is refused.
    void programAnswersAsTold()
    {
        QProcess program;
        program.start(QStringLiteral(KARVEL_READER_SIM),
                      {"--tcp-port", "0", "--quiet", "--reply", "X121=?", "--reply", "V=V=2"});
        QVERIFY(program.waitForReadyRead(30000));
        const QByteArray listening = program.readLine(); // "listening on 127.0.0.1:port"
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost,
                             listening.trimmed().split(':').last().toUShort());
        QVERIFY(client.waitForConnected(30000));
        client.write("X121110\rV\rX07310100\r");
        QByteArray replies;
        while (replies.size() < 9 && client.waitForReadyRead(30000))
            replies += client.readAll();
        QCOMPARE(replies, QByteArray("?\rV=2\rOK\r"));
        program.terminate();
        QVERIFY(program.waitForFinished(30000));

        program.start(QStringLiteral(KARVEL_READER_SIM), {"--reply", "X121"});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), 2);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"

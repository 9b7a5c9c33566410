// One command out, one reply line back, checked against the bytes the
// simulated reader received, over TCP and over a pseudo-terminal.
#include "Harness.h"

#include "app/stamain.h"
#include "comm/commform.h"
#include "widgets/ClickLabel.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

class CommandChannelTest : public QObject
{
    Q_OBJECT

private:
    struct Exchange
    {
        QByteArray reply;
        bool timedOut = false;
        qint64 elapsedMs = 0;
    };

    static Exchange exchange(Harness& h, const QByteArray& command)
    {
        Exchange result;
        QElapsedTimer clock;
        clock.start();
        h.main().channel().SendReaderCommand(command);
        h.main().channel().ReadReaderLine(result.reply, result.timedOut);
        result.elapsedMs = clock.elapsed();
        return result;
    }

private slots:
    void framingIsByteExact_data() { addLinkRows(); }
    void framingIsByteExact()
    {
        QFETCH(bool, tcp);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        h.main().channel().SendTwoReturns();
        const Exchange version = exchange(h, "V");
        QVERIFY(!version.timedOut);
        QCOMPARE(version.reply, QByteArray("KARVEL READER SIM V1.00"));
        QVERIFY(!h.state().SendFailed);
        h.main().channel().SendReaderCommand(QByteArray("\0U1", 3));
        QTRY_COMPARE(h.reader.received(), QByteArray("\r\rV\r\0U1\r", 8));
    }

    void carriageReturnAloneIsAnEmptyReply_data() { addLinkRows(); }
    void carriageReturnAloneIsAnEmptyReply()
    {
        QFETCH(bool, tcp);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        h.reader.setReply("Q", "");
        const Exchange e = exchange(h, "Q");
        QVERIFY(!e.timedOut);
        QCOMPARE(e.reply, QByteArray());
    }

    // Serial drops what arrived before a command; TCP keeps it as the front
    // of the next reply.
    void staleInputBeforeACommand_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("tcp") << true << QByteArray("staleKARVEL READER SIM V1.00");
        QTest::newRow("serial") << false << QByteArray("KARVEL READER SIM V1.00");
    }
    void staleInputBeforeACommand()
    {
        QFETCH(bool, tcp);
        QFETCH(QByteArray, expected);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        QVERIFY(!exchange(h, "V").timedOut); // the sim now knows which link to chatter on
        h.reader.sendUnsolicited("stale");
        QTRY_VERIFY(h.main().channel().activeLink().pending() == 5);
        const Exchange e = exchange(h, "V");
        QVERIFY(!e.timedOut);
        QCOMPARE(e.reply, expected);
    }

    void serialDiscardsWhatFollowsTheCarriageReturn()
    {
        Harness h;
        QVERIFY(h.connectSerial());
        h.reader.setChatterAfter("junk\r");
        h.reader.setReply("A", "first");
        h.reader.setReply("B", "second");
        QCOMPARE(exchange(h, "A").reply, QByteArray("first"));
        QTRY_VERIFY(h.main().channel().activeLink().pending() > 0);
        QCOMPARE(exchange(h, "B").reply, QByteArray("second"));
    }

    // A TCP read ends only when a received block ends with CR.
    void innerCarriageReturn_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("tcp") << true << QByteArray("one\rtwo");
        QTest::newRow("serial") << false << QByteArray("one");
    }
    void innerCarriageReturn()
    {
        QFETCH(bool, tcp);
        QFETCH(QByteArray, expected);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        h.reader.setReply("Q", "one\rtwo");
        const Exchange e = exchange(h, "Q");
        QVERIFY(!e.timedOut);
        QCOMPARE(e.reply, expected);
    }

    void lineEndingOtherThanCarriageReturn_data()
    {
        QTest::addColumn<bool>("tcp");
        QTest::addColumn<QByteArray>("ending");
        QTest::addColumn<bool>("timesOut");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("tcp CR LF") << true << QByteArray("\r\n") << true << QByteArray("OK\r\n");
        QTest::newRow("serial CR LF") << false << QByteArray("\r\n") << false << QByteArray("OK");
        QTest::newRow("tcp none") << true << QByteArray() << true << QByteArray("OK");
        QTest::newRow("serial none") << false << QByteArray() << true << QByteArray("OK");
    }
    void lineEndingOtherThanCarriageReturn()
    {
        QFETCH(bool, tcp);
        QFETCH(QByteArray, ending);
        QFETCH(bool, timesOut);
        QFETCH(QByteArray, expected);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        h.reader.setReply("Q", "OK");
        h.reader.setLineEnding(ending);
        const Exchange e = exchange(h, "Q");
        QCOMPARE(e.timedOut, timesOut);
        QCOMPARE(e.reply, expected);
        if (timesOut) {
            QVERIFY2(e.elapsedMs >= 4900 && e.elapsedMs < 6500, QByteArray::number(e.elapsedMs));
            QVERIFY(h.state().ReplyTimedOut);
        }
    }

    void lateReplyWithinTheTimeLimit_data() { addLinkRows(); }
    void lateReplyWithinTheTimeLimit()
    {
        QFETCH(bool, tcp);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        h.reader.setReplyDelay(300);
        const Exchange e = exchange(h, "V");
        QVERIFY(!e.timedOut);
        QCOMPARE(e.reply, QByteArray("KARVEL READER SIM V1.00"));
        QVERIFY(e.elapsedMs >= 250);
    }

    // A peer that floods without CR must not grow the reply without bound.
    void floodWithoutCarriageReturnEndsAsATimeOut_data() { addLinkRows(); }
    void floodWithoutCarriageReturnEndsAsATimeOut()
    {
        QFETCH(bool, tcp);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        QVERIFY(!exchange(h, "V").timedOut);
        h.reader.setSilentOn("Q");
        h.main().channel().SendReaderCommand("Q");
        h.reader.sendUnsolicited(QByteArray(100 * 1024, 'A'));
        QByteArray reply;
        bool timedOut = false;
        QElapsedTimer clock;
        clock.start();
        h.main().channel().ReadReaderLine(reply, timedOut);
        QVERIFY(timedOut);
        QVERIFY2(clock.elapsed() < 4500, QByteArray::number(clock.elapsed()));
        QVERIFY(reply.size() >= 64 * 1024);
        QVERIFY(reply.size() < 100 * 1024);
    }

    // The reader went away (the peer closed, the cable was pulled): the next
    // send reports it, and so does every send after the user disconnects.
    void sendAfterThePeerWentAwayFails_data() { addLinkRows(); }
    void sendAfterThePeerWentAwayFails()
    {
        QFETCH(bool, tcp);
        Harness h;
        QVERIFY(connectByRow(h, tcp));
        QVERIFY(!exchange(h, "V").timedOut);
        if (tcp)
            h.server.dropClient();
        else
            h.pty.close();
        QTRY_VERIFY(!h.main().channel().activeLink().isOpen());
        h.main().channel().SendReaderCommand("V");
        QVERIFY(h.state().SendFailed);
        QCOMPARE(h.connectionState(), QStringLiteral("Connected"));
        Harness::click(h.comm().Label7);
        h.main().channel().SendReaderCommand("V");
        QVERIFY(h.state().SendFailed);
    }

    void closingTheMainWindowEndsAWait()
    {
        Harness h;
        QVERIFY(h.connectTcp());
        h.reader.setSilentOn("V");
        QTimer::singleShot(200, &h.main(), [&h] { h.main().close(); });
        const Exchange e = exchange(h, "V");
        QVERIFY(e.timedOut);
        QVERIFY2(e.elapsedMs < 1500, QByteArray::number(e.elapsedMs));
        QVERIFY(!h.main().isVisible());
    }
};

QTEST_MAIN(CommandChannelTest)
#include "tst_command_channel.moc"

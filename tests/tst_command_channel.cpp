// One command out, one reply line back, checked against the bytes the
// simulated reader received, over TCP and over a pseudo-terminal.
#include "Harness.h"

#include <QTimer>

class CommandChannelTest : public QObject
{
    Q_OBJECT

private:
    static ReaderReply exchange(Harness& h, const QByteArray& command)
    {
        h.main().channel().sendReaderCommand(command);
        return h.main().channel().readReaderLine();
    }

private slots:
    // Both links frame alike: bytes that arrived before a command are
    // dropped, a reply ends at its first CR, and what follows that CR never
    // reaches the next command's reply.
    void replyFraming_data()
    {
        addColumns<bool, QByteArray, QByteArray, QByteArray, bool, QByteArray>(
            {"tcp", "replyLine", "ending", "stale", "timesOut", "expected"});
        for (const bool tcp : {true, false}) {
            const char* link = tcp ? "tcp" : "serial";
            const auto row = [&](const char* name, QByteArray line, QByteArray ending,
                                 QByteArray stale, bool timesOut, QByteArray expected) {
                QTest::addRow("%s %s", link, name)
                    << tcp << line << ending << stale << timesOut << expected;
            };
            row("CR alone", "", "\r", "", false, "");
            row("CR LF", "OK", "\r\n", "", false, "OK");
            row("inner CR", "one\rtwo", "\r", "", false, "one");
            row("stale chatter", "OK", "\r", "late\rstale", false, "OK");
            row("no CR", "OK", "", "", true, "OK");
        }
    }
    void replyFraming()
    {
        const auto [tcp, replyLine, ending, stale, timesOut, expected] =
            fetch<bool, QByteArray, QByteArray, QByteArray, bool, QByteArray>(
                "tcp", "replyLine", "ending", "stale", "timesOut", "expected");
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        QVERIFY(!exchange(h, "V").timedOut); // the sim now knows which link to chatter on
        if (!stale.isEmpty()) {
            h.reader.sendUnsolicited(stale);
            QTRY_COMPARE(h.main().channel().activeLink().pending(), stale.size());
        }
        h.reader.setReply("Q", replyLine);
        h.reader.setLineEnding(ending);
        CommandChannel& channel = h.main().channel();
        channel.sendReaderCommand("Q");
        if (timesOut) {
            // The unended reply is all there; the time-out may come at once.
            QTRY_COMPARE(channel.activeLink().pending(), replyLine.size());
            h.setReplyTimeout(1);
        }
        const ReaderReply e = channel.readReaderLine();
        QCOMPARE(e.timedOut, timesOut);
        QCOMPARE(e.text, expected);

        h.setReplyTimeout(5000);
        h.reader.setLineEnding("\r");
        const ReaderReply next = exchange(h, "V");
        QVERIFY(!next.timedOut);
        QCOMPARE(next.text, QByteArray("KARVEL READER SIM V1.00"));
    }

    // The reply deadline, armed by a read at its real 5000 ms and precise;
    // its expiry ends the read with what had come.
    void replyTimeOutIsFiveSeconds_data() { addLinkRows(); }
    void replyTimeOutIsFiveSeconds()
    {
        QFETCH(bool, tcp);
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        eventwait::Deadline& deadline = h.main().channel().replyDeadline();
        QVERIFY(!deadline.isArmed());
        h.reader.setSilentOn("V");
        h.main().channel().sendReaderCommand("V");
        int armedMs = 0;
        bool armed = false;
        Qt::TimerType type = Qt::CoarseTimer;
        QTimer::singleShot(0, &h.main(), [&] {
            armed = deadline.isArmed();
            armedMs = deadline.interval();
            type = deadline.timerType();
            deadline.expire(); // as if the five seconds had passed
        });
        const auto [reply, timedOut] = h.main().channel().readReaderLine();
        QVERIFY(armed);
        QCOMPARE(armedMs, 5000);
        QCOMPARE(type, Qt::PreciseTimer);
        QVERIFY(timedOut);
        QCOMPARE(reply, QByteArray());
        QVERIFY(!deadline.isArmed());
    }

    // A peer that floods without CR must not grow the reply without bound.
    void floodWithoutCarriageReturnEndsAsATimeOut_data() { addLinkRows(); }
    void floodWithoutCarriageReturnEndsAsATimeOut()
    {
        QFETCH(bool, tcp);
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        QVERIFY(!exchange(h, "V").timedOut);
        h.reader.setSilentOn("Q");
        h.main().channel().sendReaderCommand("Q");
        h.reader.sendUnsolicited(QByteArray(100 * 1024, 'A'));
        const auto [reply, timedOut] = h.main().channel().readReaderLine();
        QVERIFY(timedOut);
        QCOMPARE(reply, QByteArray());
    }

    // A reader that goes away while a reply is awaited ends the wait at once,
    // before the reply timer fires.
    void linkClosingDuringAWaitEndsIt_data() { addLinkRows(); }
    void linkClosingDuringAWaitEndsIt()
    {
        QFETCH(bool, tcp);
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        h.reader.setReplyDelay(200);
        h.reader.setCloseOn("V");
        const ReaderReply e = exchange(h, "V");
        QVERIFY(e.timedOut);
        QVERIFY(!h.main().channel().replyDeadline().expired());
    }

    void closingTheMainWindowEndsAWait()
    {
        Harness h;
        QVERIFY(h.connectTcp());
        h.reader.setSilentOn("V");
        QObject::connect(&h.reader, &sim::SimReader::commandReceived, &h.main(),
                         [&h] { h.main().close(); });
        const ReaderReply e = exchange(h, "V");
        QVERIFY(e.timedOut);
        QVERIFY(!h.main().channel().replyDeadline().expired());
        QVERIFY(!h.main().isVisible());
    }
};

QTEST_MAIN(CommandChannelTest)
#include "tst_command_channel.moc"

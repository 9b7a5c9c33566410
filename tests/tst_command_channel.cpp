// One command out, one reply line back, checked against the bytes the
// simulated reader received, over TCP and over a pseudo-terminal.
#include "Harness.h"

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
    // Both links frame alike: a reply ends at its first CR, and what follows
    // that CR never reaches the next command's reply. A reply without an end
    // times out. Line ends of CR LF or CR alone, and chatter before a command,
    // are the programming run's to check.
    void replyFraming_data()
    {
        addColumns<bool, QByteArray, QByteArray, QByteArray>(
            {"tcp", "reply", "ending", "expected"});
        for (const bool tcp : {true, false}) {
            const char* link = tcp ? "tcp" : "serial";
            QTest::addRow("%s inner CR", link)
                << tcp << QByteArray("one\rtwo") << QByteArray("\r") << QByteArray("one");
            QTest::addRow("%s no CR", link)
                << tcp << QByteArray("OK") << QByteArray() << QByteArray("OK");
        }
    }
    void replyFraming()
    {
        const auto [tcp, reply, ending, expected] =
            fetch<bool, QByteArray, QByteArray, QByteArray>("tcp", "reply", "ending", "expected");
        const bool timesOut = ending.isEmpty();
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        h.reader.setReply("Q", reply);
        h.reader.setLineEnding(ending);
        CommandChannel& channel = h.main().channel();
        channel.sendReaderCommand("Q");
        if (timesOut) {
            // The unended reply is all there; the time-out may come at once.
            QTRY_COMPARE(channel.activeLink().pending(), reply.size());
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

    // A wait for a reply that never comes ends as a time-out with nothing read:
    // when the reply timer fires, and before it fires when the peer floods without
    // CR (the reply must not grow without bound), when the reader goes away and
    // when the main window closes. The timer is armed by the read at its real
    // 5000 ms, and precise.
    void waitEndsWithoutAReply_data()
    {
        addColumns<bool, QString>({"tcp", "end"});
        for (const bool tcp : {true, false}) {
            for (const char* end : {"timer fires", "flood", "link closes"})
                QTest::addRow("%s %s", tcp ? "tcp" : "serial", end) << tcp << QString(end);
        }
        QTest::newRow("tcp window closes") << true << QStringLiteral("window closes");
    }
    void waitEndsWithoutAReply()
    {
        const auto [tcp, end] = fetch<bool, QString>("tcp", "end");
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        h.reader.setSilentOn("V");
        if (end == "timer fires")
            h.expireReplyWait(); // as if the five seconds had passed
        if (end == "link closes")
            h.reader.setCloseOn("V");
        QObject::connect(&h.reader, &sim::SimReader::commandReceived, &h.main(), [&] {
            if (end == "flood")
                h.reader.sendUnsolicited(QByteArray(100 * 1024, 'A'));
            if (end == "window closes")
                h.main().close();
        });
        const ReaderReply e = exchange(h, "V");
        QVERIFY(e.timedOut);
        QCOMPARE(e.text, QByteArray());
        const eventwait::Deadline& deadline = h.main().channel().replyDeadline();
        QCOMPARE(deadline.expired(), end == "timer fires");
        QVERIFY(!deadline.isArmed());
        QCOMPARE(deadline.interval(), 5000);
        QCOMPARE(deadline.timerType(), Qt::PreciseTimer);
        QCOMPARE(h.main().isVisible(), end != "window closes");
    }
};

QTEST_MAIN(CommandChannelTest)
#include "tst_command_channel.moc"

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
    // Both links frame alike: bytes that arrived before a command are
    // dropped, a reply ends at its first CR, and what follows that CR never
    // reaches the next command's reply. A reply without an end times out.
    void replyFraming_data()
    {
        addColumns<bool, QByteArray, QByteArray, QByteArray, QByteArray>(
            {"tcp", "replyLine", "ending", "stale", "expected"});
        for (const bool tcp : {true, false}) {
            const char* link = tcp ? "tcp" : "serial";
            const auto row = [&](const char* name, QByteArray line, QByteArray ending,
                                 QByteArray stale, QByteArray expected) {
                QTest::addRow("%s %s", link, name) << tcp << line << ending << stale << expected;
            };
            row("CR alone", "", "\r", "", "");
            row("CR LF", "OK", "\r\n", "", "OK");
            row("inner CR", "one\rtwo", "\r", "", "one");
            row("stale chatter", "OK", "\r", "late\rstale", "OK");
            row("no CR", "OK", "", "", "OK");
        }
    }
    void replyFraming()
    {
        const auto [tcp, replyLine, ending, stale, expected] =
            fetch<bool, QByteArray, QByteArray, QByteArray, QByteArray>(
                "tcp", "replyLine", "ending", "stale", "expected");
        const bool timesOut = ending.isEmpty();
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

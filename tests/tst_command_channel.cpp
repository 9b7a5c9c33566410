// One command out, one reply line back, checked against the bytes the
// simulated reader received, over TCP and over a pseudo-terminal.
#include "Harness.h"

class CommandChannelTest : public QObject
{
    Q_OBJECT

private slots:
    // Both links frame alike: a reply ends at its first CR, and what follows
    // that CR never reaches the next command's reply (line ends of CR LF or CR
    // alone, and chatter before a command, are the programming run's to check).
    // A wait for a reply that never comes ends as a time-out with what came:
    // when the reply timer fires, and before it fires when the peer floods
    // without CR (the reply must not grow without bound), when the reader goes
    // away and when the main window closes. The timer is armed by the read at
    // its real 5000 ms, and precise.
    void replyOrTheEndOfItsWait_data()
    {
        addColumns<bool, QString, QByteArray>({"tcp", "end", "text"});
        for (const bool tcp : {true, false}) {
            const char* link = tcp ? "tcp" : "serial";
            QTest::addRow("%s inner CR", link) << tcp << "inner CR" << QByteArray("one");
            QTest::addRow("%s timer fires, no CR", link)
                << tcp << "timer fires" << QByteArray("OK");
            for (const char* end : {"flood", "link closes"})
                QTest::addRow("%s %s", link, end) << tcp << QString(end) << QByteArray();
        }
        QTest::newRow("tcp window closes") << true << "window closes" << QByteArray();
    }
    void replyOrTheEndOfItsWait()
    {
        const auto [tcp, end, text] = fetch<bool, QString, QByteArray>("tcp", "end", "text");
        Harness h;
        SKIP_WITHOUT_PSEUDO_TERMINAL(!tcp);
        QVERIFY(connectByRow(h, tcp));
        h.reader.setReply("Q", end == "inner CR" ? "one\rtwo" : "OK");
        if (end == "timer fires")
            h.reader.setLineEnding("");
        if (end != "inner CR" && end != "timer fires")
            h.reader.setSilentOn("Q");
        if (end == "link closes")
            h.reader.setCloseOn("Q");
        QObject::connect(&h.reader, &sim::SimReader::commandReceived, &h.main(), [&] {
            if (end == "flood")
                h.reader.sendUnsolicited(QByteArray(100 * 1024, 'A'));
            if (end == "window closes")
                h.main().close();
        });
        CommandChannel& channel = h.main().channel();
        channel.sendReaderCommand("Q");
        if (end == "timer fires") {
            // The unended reply is all there before the five seconds pass.
            QTRY_COMPARE(channel.activeLink().pending(), 2);
            h.expireReplyWait();
        }
        const ReaderReply e = channel.readReaderLine();
        QCOMPARE(e.timedOut, end != "inner CR");
        QCOMPARE(e.text, text);
        const eventwait::Deadline& deadline = channel.replyDeadline();
        QCOMPARE(deadline.expired(), end == "timer fires");
        QVERIFY(!deadline.isArmed());
        QCOMPARE(deadline.interval(), 5000);
        QCOMPARE(deadline.timerType(), Qt::PreciseTimer);
        QCOMPARE(h.main().isVisible(), end != "window closes");
        if (end != "inner CR" && end != "timer fires")
            return;
        h.reader.setLineEnding("\r");
        channel.sendReaderCommand("V");
        const ReaderReply next = channel.readReaderLine();
        QVERIFY(!next.timedOut);
        QCOMPARE(next.text, QByteArray("KARVEL READER SIM V1.00"));
    }
};

QTEST_MAIN(CommandChannelTest)
#include "tst_command_channel.moc"

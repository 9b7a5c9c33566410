#pragma once

#include "EventWait.h"

#include <QByteArray>
#include <QString>

struct AppState;
class Link;

// One command out, one reply line back, over the link the open connection
// uses. Both links frame alike: what arrived before a command is discarded,
// and a reply ends at its first CR, or as a time-out when the reply
// deadline passes first.
// What a reader operation says instead of its result when the reply was
// the command itself.
inline const QString kReaderEchoingText =
    QStringLiteral("The reader echoes what it is sent: switch it off and on");

struct ReaderReply
{
    QByteArray text;
    bool timedOut = false;
};

class CommandChannel
{
public:
    static constexpr int kReplyTimeoutMs = 5000;
    // A peer that floods without ever sending CR must not grow a reply
    // without bound; past this size the read ends as a time-out.
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;
    // A reader that echoes sends the two returns back ahead of the command,
    // whose echo then follows at once. An empty line after two returns waits
    // this long for the line behind it before it is taken as the reply.
    static constexpr int kEchoGraceMs = 250;

    CommandChannel(AppState& state, Link& serial, Link& tcp);

    // Discards what is pending, then sends the command text followed by CR.
    // The outcome is in sendFailed.
    void sendReaderCommand(const QByteArray& command);
    // Waits for one reply line, CR removed; what follows the CR stays
    // pending. On time-out, the text is what had been collected, or nothing
    // when the reply outgrew kMaxReplyBytes. A link that closes ends the wait
    // at once as a time-out. Empty lines that may be the echo of the two
    // returns sent ahead of the command are passed over. Sets readerEchoing
    // from the reply.
    ReaderReply readReaderLine();
    // Sends two CRs. Sets no flag; the result tells whether they went out.
    bool sendTwoReturns();
    // Whether a reply is no answer but the last command sent, coming back.
    bool isEcho(const QByteArray& reply) const;
    // After a command the reader does not answer (a reset, a restart): while
    // the reader was last seen echoing, waits for the command to come back,
    // and says whether it did. Silence means the reader no longer echoes.
    bool echoedBack();

    // The reply time-out armed by the next readReaderLine; kReplyTimeoutMs
    // unless a test shortens it to stand in for a reader that never answers.
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }
    // The limit of the reply wait under way; armed by each readReaderLine.
    eventwait::Deadline& replyDeadline() { return m_replyDeadline; }

    Link& activeLink() const;

private:
    ReaderReply endAsTimeOut(QByteArray text);
    ReaderReply endWithLine(QByteArray text);

    AppState& m_state;
    Link& m_serial;
    Link& m_tcp;
    eventwait::Deadline m_replyDeadline;
    eventwait::Deadline m_echoGrace;
    int m_replyTimeoutMs = kReplyTimeoutMs;
    QByteArray m_lastCommand;
    // Returns sent since the last reply, which an echoing reader sends back.
    int m_returnsAhead = 0;
};

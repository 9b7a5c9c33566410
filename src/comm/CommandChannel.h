#pragma once

#include "EventWait.h"

#include <QByteArray>

struct AppState;
class Link;

// One command out, one reply line back, over the link the open connection
// uses. Both links frame alike: what arrived before a command is discarded,
// and a reply ends at its first CR, or as a time-out when the reply
// deadline passes first.
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

    CommandChannel(AppState& state, Link& serial, Link& tcp);

    // Discards what is pending, then sends the command text followed by CR.
    // The outcome is in sendFailed.
    void sendReaderCommand(const QByteArray& command);
    // Waits for one reply line, CR removed; what follows the CR stays
    // pending. On time-out, the text is what had been collected, or nothing
    // when the reply outgrew kMaxReplyBytes. A link that closes ends the wait
    // at once as a time-out.
    ReaderReply readReaderLine();
    // Sends two CRs. Sets no flag; the result tells whether they went out.
    bool sendTwoReturns();

    // The reply time-out armed by the next readReaderLine; kReplyTimeoutMs
    // unless a test shortens it to stand in for a reader that never answers.
    void setReplyTimeout(int ms) { m_replyTimeoutMs = ms; }
    // The limit of the reply wait under way; armed by each readReaderLine.
    eventwait::Deadline& replyDeadline() { return m_replyDeadline; }

    Link& activeLink() const;

private:
    ReaderReply endAsTimeOut(QByteArray text);

    AppState& m_state;
    Link& m_serial;
    Link& m_tcp;
    eventwait::Deadline m_replyDeadline;
    int m_replyTimeoutMs = kReplyTimeoutMs;
};

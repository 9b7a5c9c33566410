#include "CommandChannel.h"

#include "EventWait.h"
#include "Link.h"
#include "core/AppState.h"

#include <algorithm>

namespace {

constexpr char kCR = '\r';
} // namespace

CommandChannel::CommandChannel(AppState& state, Link& serial, Link& tcp)
    : m_state(state), m_serial(serial), m_tcp(tcp)
{
}

Link& CommandChannel::activeLink() const
{
    return m_state.isTcp() ? m_tcp : m_serial;
}

void CommandChannel::sendReaderCommand(const QByteArray& command)
{
    Link& link = activeLink();
    link.discardPending();
    m_state.sendFailed = !link.write(command + kCR);
    if (!m_state.sendFailed && m_state.isTcp())
        eventwait::yieldToEventLoop();
}

bool CommandChannel::sendTwoReturns()
{
    if (!m_state.isTcp())
        return m_serial.write(QByteArray(1, kCR)) && m_serial.write(QByteArray(1, kCR));
    if (!m_tcp.write(QByteArray(2, kCR)))
        return false;
    eventwait::yieldToEventLoop();
    return true;
}

ReaderReply CommandChannel::endAsTimeOut(QByteArray text)
{
    m_replyDeadline.stop();
    return {std::move(text), true};
}

ReaderReply CommandChannel::readReaderLine()
{
    QByteArray reply;
    m_replyDeadline.arm(m_replyTimeoutMs);
    Link& link = activeLink();
    for (;;) {
        // One character at a time, so whatever follows the CR stays pending
        // for the next command to discard. Data already received is taken
        // even when the timer fires meanwhile.
        while (link.pending() > 0) {
            const QByteArray ch = link.read(1);
            if (ch.isEmpty())
                break;
            if (ch.at(0) == kCR) {
                m_replyDeadline.stop();
                return {reply, false};
            }
            reply += ch;
            // Nothing of a flood is worth showing as a reply.
            if (reply.size() > kMaxReplyBytes)
                return endAsTimeOut({});
        }
        if (m_replyDeadline.expired() || m_state.closing || !link.isOpen())
            return endAsTimeOut(reply);
        eventwait::waitForNextEvent();
    }
}

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

void CommandChannel::endAsTimeOut(bool& timedOut)
{
    m_replyDeadline.stop();
    timedOut = true;
}

void CommandChannel::readReaderLine(QByteArray& reply, bool& timedOut)
{
    reply.clear();
    m_replyDeadline.arm(m_replyTimeoutMs);
    timedOut = false;
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
                return;
            }
            reply += ch;
            if (reply.size() > kMaxReplyBytes) {
                // Nothing of a flood is worth showing as a reply.
                reply.clear();
                endAsTimeOut(timedOut);
                return;
            }
        }
        if (m_replyDeadline.expired() || m_state.closing || !link.isOpen()) {
            endAsTimeOut(timedOut);
            return;
        }
        eventwait::waitForNextEvent();
    }
}

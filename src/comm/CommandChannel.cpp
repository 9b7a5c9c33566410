#include "CommandChannel.h"

#include "EventWait.h"
#include "Link.h"
#include "core/AppState.h"

#include <algorithm>
#include <utility>

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
    m_lastCommand = command;
    m_state.sendFailed = !link.write(command + kCR);
    if (!m_state.sendFailed && m_state.isTcp())
        eventwait::yieldToEventLoop();
}

bool CommandChannel::sendTwoReturns()
{
    m_returnsAhead = 2;
    if (!m_state.isTcp())
        return m_serial.write(QByteArray(1, kCR)) && m_serial.write(QByteArray(1, kCR));
    if (!m_tcp.write(QByteArray(2, kCR)))
        return false;
    eventwait::yieldToEventLoop();
    return true;
}

bool CommandChannel::isEcho(const QByteArray& reply) const
{
    return !m_lastCommand.isEmpty() && reply == m_lastCommand;
}

bool CommandChannel::echoedBack()
{
    if (!m_state.readerEchoing)
        return false;
    const ReaderReply reply = readReaderLine();
    if (reply.timedOut)
        m_state.readerEchoing = false;
    return !reply.timedOut && isEcho(reply.text);
}

ReaderReply CommandChannel::endAsTimeOut(QByteArray text)
{
    m_replyDeadline.stop();
    m_echoGrace.stop();
    return {std::move(text), true};
}

ReaderReply CommandChannel::endWithLine(QByteArray text)
{
    m_replyDeadline.stop();
    m_echoGrace.stop();
    m_state.readerEchoing = isEcho(text);
    return {std::move(text), false};
}

ReaderReply CommandChannel::readReaderLine()
{
    QByteArray reply;
    int returnsAhead = std::exchange(m_returnsAhead, 0);
    bool passedOver = false;
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
            if (ch.at(0) != kCR) {
                reply += ch;
                // Nothing of a flood is worth showing as a reply.
                if (reply.size() > kMaxReplyBytes)
                    return endAsTimeOut({});
                continue;
            }
            // The returns' echo can come after the command's discard.
            if (reply.isEmpty() && returnsAhead > 0) {
                --returnsAhead;
                if (!std::exchange(passedOver, true))
                    m_echoGrace.arm(kEchoGraceMs);
                continue;
            }
            return endWithLine(reply);
        }
        // Nothing behind an empty line: it was the reply after all.
        if (passedOver && reply.isEmpty() &&
            (m_echoGrace.expired() || m_replyDeadline.expired() || !link.isOpen()))
            return endWithLine({});
        if (m_replyDeadline.expired() || m_state.closing || !link.isOpen())
            return endAsTimeOut(reply);
        eventwait::waitForNextEvent();
    }
}

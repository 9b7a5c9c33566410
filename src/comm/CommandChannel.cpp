#include "CommandChannel.h"

#include "EventWait.h"
#include "Link.h"
#include "app/AppState.h"

#include <QTimer>

namespace {
constexpr char kCR = '\r';
}

CommandChannel::CommandChannel(AppState& state, Link& serial, Link& tcp, QTimer& replyTimer)
    : m_state(state), m_serial(serial), m_tcp(tcp), m_replyTimer(replyTimer)
{
    m_replyTimer.setInterval(kReplyTimeoutMs);
    m_replyTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_replyTimer, &QTimer::timeout, &m_replyTimer, [this] {
        m_state.ReplyTimedOut = true;
        m_replyTimer.stop();
    });
}

Link& CommandChannel::activeLink() const
{
    return m_state.isTcp() ? m_tcp : m_serial;
}

void CommandChannel::SendReaderCommand(const QByteArray& command)
{
    m_state.SendFailed = false;
    const QByteArray framed = command + kCR;
    if (!m_state.isTcp()) {
        // Late replies and chatter must never be taken for this command's reply.
        while (m_serial.pending() > 0)
            m_serial.read(1);
        m_state.SendFailed = !m_serial.write(framed);
        return;
    }
    m_state.SendFailed = !m_tcp.write(framed);
    if (!m_state.SendFailed)
        eventwait::yieldToEventLoop();
}

bool CommandChannel::SendTwoReturns()
{
    if (!m_state.isTcp())
        return m_serial.write(QByteArray(1, kCR)) && m_serial.write(QByteArray(1, kCR));
    if (!m_tcp.write(QByteArray(2, kCR)))
        return false;
    eventwait::yieldToEventLoop();
    return true;
}

void CommandChannel::armReplyTimer()
{
    m_replyTimer.stop();
    m_state.ReplyTimedOut = false;
    m_replyTimer.setInterval(kReplyTimeoutMs);
    m_replyTimer.start();
}

void CommandChannel::ReadReaderLine(QByteArray& reply, bool& timedOut)
{
    reply.clear();
    armReplyTimer();
    timedOut = false;
    if (m_state.isTcp())
        readTcpLine(reply, timedOut);
    else
        readSerialLine(reply, timedOut);
}

void CommandChannel::readSerialLine(QByteArray& reply, bool& timedOut)
{
    for (;;) {
        eventwait::pass(m_serial.pending() > 0);
        if (m_state.ReplyTimedOut || m_state.Closing || reply.size() >= kMaxReplyBytes) {
            m_replyTimer.stop();
            timedOut = true;
            return;
        }
        if (m_serial.pending() <= 0)
            continue;
        const QByteArray ch = m_serial.read(1);
        if (ch.isEmpty())
            continue;
        if (ch.at(0) == kCR)
            break;
        reply += ch;
    }
    m_replyTimer.stop();
}

void CommandChannel::readTcpLine(QByteArray& reply, bool& timedOut)
{
    for (;;) {
        eventwait::pass(m_tcp.pending() > 0);
        const qint64 count = m_tcp.pending();
        if (count > 0) {
            reply += m_tcp.read(count);
            // Only a block that ends with CR ends the reply; inner CRs stay.
            if (reply.endsWith(kCR))
                break;
        }
        if (m_state.ReplyTimedOut || m_state.Closing || reply.size() >= kMaxReplyBytes) {
            m_replyTimer.stop();
            timedOut = true;
            return;
        }
    }
    m_replyTimer.stop();
    reply.chop(1);
}

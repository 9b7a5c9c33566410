#include "SimStream.h"

namespace sim {

namespace {
constexpr int tickMs = 20;
}

SimStream::SimStream(SimReader& reader, QObject* parent) : QObject(parent), m_reader(&reader)
{
    m_timer.setInterval(tickMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimStream::sendDue);
}

bool SimStream::start(qint64 bytesPerSecond, qint64 limit)
{
    stop();
    if (bytesPerSecond < 0 || (bytesPerSecond == 0 && limit < 0))
        return false;
    m_rate = bytesPerSecond;
    m_limit = limit;
    m_sent = 0;
    if (m_rate == 0) {
        sendBytes(m_limit);
        emit finished();
        return true;
    }
    m_clock.start();
    m_timer.start();
    return true;
}

void SimStream::stop()
{
    m_timer.stop();
}

void SimStream::sendDue()
{
    qint64 due = m_rate * m_clock.elapsed() / 1000 - m_sent;
    if (m_limit >= 0)
        due = std::min(due, m_limit - m_sent);
    sendBytes(due);
    if (m_limit >= 0 && m_sent >= m_limit) {
        stop();
        emit finished();
    }
}

void SimStream::sendBytes(qint64 count)
{
    if (count <= 0 || !m_reader)
        return;
    QByteArray bytes(count, Qt::Uninitialized);
    for (qint64 i = 0; i < count; ++i)
        bytes[i] = char((m_sent + i) & 0xff);
    m_sent += count;
    m_reader->sendUnsolicited(bytes);
}

} // namespace sim

#include "moc_SimStream.cpp"

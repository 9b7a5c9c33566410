#include "ImageTransfer.h"

#include "comm/EventWait.h"
#include "comm/Link.h"

#include <QIODevice>

#include <cmath>

namespace download {

namespace {

QString problem(const QIODevice& image, const QString& imageName)
{
    return imageName + QStringLiteral(" (") + image.errorString() + QLatin1Char(')');
}

} // namespace

ImageTransfer::ImageTransfer(Link& link, eventwait::Deadline& deadline, const bool& closing)
    : m_link(link), m_deadline(deadline), m_closing(closing),
      m_today([] { return QDate::currentDate(); })
{
}

void ImageTransfer::setTimeScale(double pauses, double timeouts)
{
    m_pauseScale = pauses;
    m_timeoutScale = timeouts;
}

void ImageTransfer::setDateSource(std::function<QDate()> today)
{
    m_today = std::move(today);
}

void ImageTransfer::setStatusSink(std::function<void(const QString&)> sink)
{
    m_status = std::move(sink);
}

TransferOutcome ImageTransfer::run(QIODevice& image, const QString& imageName, const Parameters& p,
                                   bool tcp)
{
    m_p = p;
    m_tcp = tcp;
    m_stage = Stage::Handshake;

    // Leftovers of an earlier run (a late acknowledgement) would spoil the ready reply.
    m_link.discardPending();
    if (!m_link.write(kAttentionSequence))
        return failed(Failure::LinkLost);
    if (!m_deadline.waitOut(scaled(p.pauseMs, m_pauseScale), m_closing))
        return {TransferOutcome::Closing, {}, {}, m_stage};

    // On serial, whatever the reader said while waking up is not the reply.
    if (!tcp)
        m_link.discardPending();
    if (!m_link.write(p.startCommand))
        return failed(Failure::LinkLost);
    const Wait ready = awaitReady();
    if (ready != Wait::Done)
        return fromWait(ready, Failure::ReadyTimeout);

    return sendImage(image, imageName);
}

TransferOutcome ImageTransfer::sendImage(QIODevice& image, const QString& imageName)
{
    const qint64 dataLength = image.size() - m_p.trailerBytes;
    // An image of no more than its trailer has no data part to send.
    if (dataLength <= 0)
        return failed(Failure::EarlyEnd);

    qint64 bytesRead = 0;
    qint64 bytesAcked = 0;
    QByteArray block(m_p.blockSize, '\0');
    while (bytesRead < dataLength) {
        const qint64 wanted = std::min<qint64>(m_p.blockSize, dataLength - bytesRead);
        const qint64 got = image.read(block.data(), wanted);
        if (got < 0)
            return failed(Failure::FileUnreadable, problem(image, imageName));
        if (got < wanted)
            return failed(Failure::EarlyEnd);
        bytesRead += got;
        const bool last = bytesRead == dataLength;
        if (last && m_p.hundredAtLastBlock)
            setStatus(completeText());
        if (!m_link.write(frameBlock(QByteArrayView(block.constData(), got))))
            return failed(Failure::LinkLost);
        m_stage = last ? Stage::LastBlock : Stage::FullBlock;
        const Wait acked = awaitAck(kBlockAck, scaled(m_p.ackTimeoutMs, m_timeoutScale));
        if (acked != Wait::Done)
            return fromWait(acked, Failure::NotAcknowledged);
        if (!last) {
            bytesAcked += m_p.blockSize;
            setStatus(progressText(bytesAcked, dataLength));
        }
    }

    QByteArray ending(1, '\0');
    if (m_p.trailerAndDate) {
        QByteArray trailer(m_p.trailerBytes, '\0');
        const qint64 got = image.read(trailer.data(), trailer.size());
        if (got < 0)
            return failed(Failure::FileUnreadable, problem(image, imageName));
        if (got != trailer.size())
            return failed(Failure::EarlyEnd);
        ending += trailer;
        ending += dateStamp(m_today());
    }
    if (!m_link.write(ending))
        return failed(Failure::LinkLost);
    m_stage = Stage::Final;
    const int finalTimeout = scaled(m_p.finalTimeoutMs, m_timeoutScale);
    Wait final = awaitAck(kFinalAck, finalTimeout);
    for (int group = 0; group < m_p.ffGroups && final == Wait::Done; ++group) {
        if (!m_link.write(QByteArray(kGroupBytes, '\xff')))
            return failed(Failure::LinkLost);
        final = awaitAck(kFinalAck, finalTimeout);
    }
    if (final != Wait::Done)
        return fromWait(final, Failure::NotAcknowledged);
    return {TransferOutcome::Complete, {}, {}, m_stage};
}

ImageTransfer::Wait ImageTransfer::awaitBytes(QByteArray& got)
{
    for (;;) {
        eventwait::pass(m_link.pending() > 0);
        if (m_closing)
            return Wait::Closing;
        if (m_deadline.expired()) {
            m_deadline.stop();
            return Wait::TimedOut;
        }
        const qint64 pending = m_link.pending();
        if (pending <= 0) {
            if (!m_link.isOpen()) {
                m_deadline.stop();
                return Wait::LinkLost;
            }
            continue;
        }
        // Serial takes one character a pass, so what follows stays pending.
        got = m_link.read(m_tcp ? pending : 1);
        if (!got.isEmpty())
            return Wait::Done;
    }
}

ImageTransfer::Wait ImageTransfer::awaitReady()
{
    m_deadline.arm(scaled(m_p.readyTimeoutMs, m_timeoutScale));
    QByteArray reply;
    for (;;) {
        QByteArray got;
        if (const Wait wait = awaitBytes(got); wait != Wait::Done)
            return wait;
        // Once longer than the reply it can never match; it need not grow further.
        if (reply.size() <= m_p.readyReply.size())
            reply += got;
        if (reply == m_p.readyReply)
            break;
    }
    m_deadline.stop();
    return Wait::Done;
}

ImageTransfer::Wait ImageTransfer::awaitAck(char expected, int timeoutMs)
{
    m_deadline.arm(timeoutMs);
    QByteArray got;
    if (const Wait wait = awaitBytes(got); wait != Wait::Done)
        return wait;
    m_deadline.stop();
    return got.at(0) == expected ? Wait::Done : Wait::Wrong;
}

int ImageTransfer::scaled(int ms, double factor) const
{
    return int(std::lround(ms * factor));
}

void ImageTransfer::setStatus(const QString& text)
{
    if (m_status)
        m_status(text);
}

TransferOutcome ImageTransfer::failed(Failure failure, const QString& detail) const
{
    return {TransferOutcome::Failed, failure, detail, m_stage};
}

TransferOutcome ImageTransfer::fromWait(Wait wait, Failure refused) const
{
    switch (wait) {
    case Wait::Closing:
        return {TransferOutcome::Closing, {}, {}, m_stage};
    case Wait::LinkLost:
        return failed(Failure::LinkLost);
    case Wait::Done:
    case Wait::TimedOut:
    case Wait::Wrong:
        break;
    }
    return failed(refused);
}

} // namespace download

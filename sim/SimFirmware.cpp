#include "SimFirmware.h"

#include <QTimer>

namespace sim {

namespace {
constexpr int kTrailerAndDate = 44 + 8;
constexpr int kGroupBytes = 52;
constexpr char kFf = '\xff';
} // namespace

SimFirmware::SimFirmware(SimReader& reader, QObject* parent) : QObject(parent), m_reader(&reader)
{
    // The attention sequence arrives as two short commands; the loader says nothing to them.
    reader.addCommand("\x1b", [](const QByteArray&) { return std::optional<QByteArray>(); });
    connect(&reader, &SimReader::attentionSequence, this, [this] {
        emit attentionReceived();
        if (!m_faults.afterAttention.isEmpty())
            m_reader->sendUnsolicited(m_faults.afterAttention);
    });
    connect(&reader, &SimReader::attentionByte, this, &SimFirmware::onAttentionByte);
    connect(&reader, &SimReader::linkWasReset, this, [this](const QObject* link) {
        if (m_active && (!m_link || link == m_link))
            leave();
    });
}

void SimFirmware::onAttentionByte(char byte, const QObject* link)
{
    if ((byte != 'B' && byte != 'w') || !m_reader)
        return;
    m_active = true;
    m_phase = Phase::Start;
    m_link = link;
    m_reader->setRawConsumer(
        [this](const QByteArray& bytes, const QObject* from) { consume(bytes, from); }, link);
    take(byte);
}

void SimFirmware::consume(const QByteArray& bytes, const QObject* link)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        // What the loader does not take goes back to the command parser.
        if (!take(bytes.at(i))) {
            m_reader->clearRawConsumer(bytes.mid(i), link);
            return;
        }
        if (!m_active) {
            m_reader->clearRawConsumer(bytes.mid(i + 1), link);
            return;
        }
    }
}

bool SimFirmware::take(char byte)
{
    switch (m_phase) {
    case Phase::Start:
        if (byte == 'B' || byte == 'w')
            return start(byte);
        leave();
        return false;
    case Phase::Length:
        m_expected = quint8(byte);
        m_buffer.clear();
        m_check = 0;
        if (m_expected > 0) {
            m_phase = Phase::Data;
        } else if (image().startCommand == "B") {
            m_expected = kTrailerAndDate;
            m_phase = Phase::Trailer;
        } else {
            finish(0);
        }
        return true;
    case Phase::Data:
        m_buffer += byte;
        m_check ^= quint8(byte);
        if (m_buffer.size() == m_expected)
            m_phase = Phase::Check;
        return true;
    case Phase::Check:
        if (quint8(byte) == m_check) {
            blockDone();
        } else {
            // A spoilt block ends the download; the answer is anything but "K".
            send("E");
            leave();
        }
        return true;
    case Phase::Trailer:
        m_buffer += byte;
        if (m_buffer.size() == m_expected) {
            image().trailer = m_buffer.left(kTrailerAndDate - 8);
            image().dateStamp = m_buffer.right(8);
            finish(0);
        }
        return true;
    case Phase::FfGroup:
        // The groups are optional: anything else is the next command.
        if (m_buffer.isEmpty() && byte != kFf) {
            leave();
            return false;
        }
        if (byte != kFf) {
            leave();
            return true;
        }
        m_buffer += byte;
        if (m_buffer.size() == kGroupBytes)
            finish(++image().ffGroups);
        return true;
    }
    return true;
}

bool SimFirmware::start(char command)
{
    FirmwareImage fresh;
    fresh.startCommand = QByteArray(1, command);
    m_images.append(fresh);
    m_phase = Phase::Length;
    const QByteArray reply =
        m_faults.readyReply.value_or(command == 'B' ? QByteArray("TK") : QByteArray("YK"));
    if (m_faults.readySplitMs >= 0 && reply.size() > 1) {
        send(reply.left(1));
        send(reply.mid(1), m_faults.readySplitMs);
    } else if (!reply.isEmpty()) {
        send(reply);
    } else {
        emit heldBack();
    }
    return true;
}

void SimFirmware::blockDone()
{
    FirmwareImage& current = image();
    ++current.blocks;
    current.dataLength += m_buffer.size();
    if (m_keepData)
        current.data += m_buffer;
    m_phase = Phase::Length;
    const QByteArray ack = "K" + m_faults.afterAck;
    if (current.blocks != m_faults.faultBlock) {
        send(ack);
        return;
    }
    switch (m_faults.blockFault) {
    case DownloadFaults::None:
        send(ack);
        break;
    case DownloadFaults::NoAck:
        emit heldBack();
        break;
    case DownloadFaults::WrongAck:
        send("X");
        break;
    case DownloadFaults::LateAck:
        send(ack, m_faults.lateMs);
        emit heldBack();
        break;
    case DownloadFaults::DropLink: {
        const QObject* link = m_link;
        leave();
        emit m_reader->closeRequested(link);
        break;
    }
    }
}

void SimFirmware::finish(int stage)
{
    m_buffer.clear();
    if (stage == 0) {
        image().complete = true;
        emit imageComplete(image());
    }
    if (m_faults.silentFinal == stage) {
        leave();
        emit heldBack();
        return;
    }
    send("B");
    if (image().startCommand == "B" && stage < 2)
        m_phase = Phase::FfGroup;
    else
        leave();
}

void SimFirmware::leave()
{
    if (m_active && m_reader)
        m_reader->clearRawConsumer();
    m_active = false;
    m_phase = Phase::Start;
    m_link = nullptr;
    m_buffer.clear();
}

void SimFirmware::send(const QByteArray& bytes, int delayMs)
{
    if (!m_reader)
        return;
    if (delayMs <= 0) {
        emit m_reader->send(bytes, m_link);
        return;
    }
    QTimer::singleShot(delayMs, Qt::PreciseTimer, this, [this, bytes, link = m_link] {
        if (m_reader)
            emit m_reader->send(bytes, link);
    });
}

} // namespace sim

#include "moc_SimFirmware.cpp"

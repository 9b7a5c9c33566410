#include "SimEcho.h"

namespace sim {

namespace {
const QByteArray attentionSequence("\0\x1b\r\0\x1b\r", 6);
constexpr char echoCommand = '*';
} // namespace

SimEcho::SimEcho(SimReader& reader, QObject* parent) : QObject(parent), m_reader(&reader)
{
    connect(&reader, &SimReader::attentionByte, this, &SimEcho::onAttentionByte);
}

SimEcho::~SimEcho()
{
    if (m_active && m_reader)
        m_reader->clearRawConsumer();
}

void SimEcho::setFaultAt(qint64 n, Fault fault, char byte)
{
    m_faults.insert(n, {fault, byte});
}

void SimEcho::clearFaults()
{
    m_faults.clear();
    m_silent = false;
    m_wrongEvery = false;
}

void SimEcho::onAttentionByte(char byte, const QObject* link)
{
    if (byte != echoCommand || !m_reader)
        return;
    m_active = true;
    m_count = 0;
    m_recent.clear();
    m_held.clear();
    // Tied to no link, it outlives the link it started on.
    m_reader->setRawConsumer(
        [this](const QByteArray& bytes, const QObject* from) { consume(bytes, from); },
        m_staysEchoing ? nullptr : link);
    emit started();
}

void SimEcho::switchOffAndOn()
{
    if (m_active && m_reader)
        m_reader->clearRawConsumer();
    m_active = false;
    m_held.clear();
}

void SimEcho::consume(const QByteArray& bytes, const QObject* link)
{
    if (!m_reader || !m_reader->hasRawConsumer()) {
        m_active = false;
        return;
    }
    QByteArray echo;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char byte = bytes.at(i);
        m_recent = (m_recent + byte).right(attentionSequence.size());
        if (m_recent == attentionSequence && !m_staysEchoing) {
            // A new test begins: back to commands, which see the attention sequence.
            m_active = false;
            m_recent.clear();
            m_held.clear();
            if (!echo.isEmpty())
                m_reader->sendUnsolicited(echo);
            m_reader->clearRawConsumer(attentionSequence + bytes.mid(i + 1), link);
            return;
        }
        ++m_count;
        if (m_silent)
            continue;
        const char answer = m_wrongEvery ? char(~byte) : byte;
        echo += m_held;
        m_held.clear();
        const auto fault = m_faults.constFind(m_count);
        if (fault == m_faults.cend()) {
            echo += answer;
            continue;
        }
        switch (fault->fault) {
        case Fault::Wrong:
            echo += fault->byte;
            break;
        case Fault::Doubled:
            echo += answer;
            echo += answer;
            break;
        case Fault::StrayBefore:
            echo += fault->byte;
            echo += answer;
            break;
        case Fault::StrayAfter:
            echo += answer;
            echo += fault->byte;
            break;
        case Fault::LateByOne:
            m_held = QByteArray(1, answer);
            break;
        }
    }
    if (!echo.isEmpty())
        m_reader->sendUnsolicited(echo);
}

} // namespace sim

#include "moc_SimEcho.cpp"

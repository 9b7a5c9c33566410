#include "EchoTest.h"

namespace echotest {

QString firstLine(bool tcp)
{
    return tcp ? QStringLiteral("Starting Loopback Test on tcp port")
               : QStringLiteral("Starting Loopback Test on serial port");
}

QString timeoutLine(std::int64_t charsSent)
{
    return signedNumberText(charsSent) + QStringLiteral(": timeout");
}

QString badEchoLine(std::int64_t charsSent, std::uint8_t expected, std::uint8_t received)
{
    return signedNumberText(charsSent) + QStringLiteral(": bad echo, expected ") +
           QString::number(expected, 16).toUpper() + QStringLiteral(" received ") +
           QString::number(received, 16).toUpper();
}

QString linkClosedLine(std::int64_t charsSent)
{
    return signedNumberText(charsSent) + QStringLiteral(": link closed");
}

QString endLine(std::int64_t charsSent)
{
    return signedNumberText(charsSent) + QStringLiteral(": end of test");
}

QString counterText(std::int64_t charsSent)
{
    return QStringLiteral("Characters Sent: ") + signedNumberText(charsSent);
}

QString waitingText()
{
    return QStringLiteral("Waiting for the reader to start echoing");
}

QString summaryLine(const Tally& tally)
{
    return QStringLiteral("Summary - characters sent: %1, bad echoes: %2, time-outs: %3, extra "
                          "bytes: %4")
        .arg(tally.charsSent)
        .arg(tally.badEchoes)
        .arg(tally.timeouts)
        .arg(tally.extraBytes);
}

QString leftEchoingLine()
{
    return QStringLiteral("The reader is left echoing what it is sent: switch it off and on "
                          "before other commands");
}

void EchoJudge::setAside(char byte)
{
    // The late echo of an owed character settles it and every one before it.
    const qsizetype owed = m_owed.lastIndexOf(byte);
    if (owed >= 0)
        m_owed.remove(0, owed + 1);
    else
        ++m_extraBytes;
}

void EchoJudge::sent(std::uint8_t code)
{
    if (m_hasCurrent && !m_currentGood) {
        m_owed += m_current;
        if (m_owed.size() > kMaxOwed)
            m_owed.remove(0, 1);
    }
    for (const char byte : std::as_const(m_unjudged))
        setAside(byte);
    m_unjudged.clear();
    m_current = char(code);
    m_hasCurrent = true;
    m_currentGood = false;
    m_holding = false;
}

void EchoJudge::take(const QByteArray& bytes)
{
    m_unjudged += bytes;
}

EchoJudge::Verdict EchoJudge::judge(std::uint8_t& received)
{
    while (!m_unjudged.isEmpty()) {
        const char byte = m_unjudged.front();
        if (byte == m_current) {
            m_unjudged.remove(0, 1);
            m_owed.clear();
            m_currentGood = true;
            m_lastGood = byte;
            m_hasLastGood = true;
            m_mayHold = true;
            m_holding = false;
            received = std::uint8_t(byte);
            return Verdict::Good;
        }
        if (m_unjudged.size() > 1) {
            setAside(byte);
            m_unjudged.remove(0, 1);
            continue;
        }
        if (m_mayHold && (m_owed.contains(byte) || (m_hasLastGood && byte == m_lastGood))) {
            m_holding = true;
            return Verdict::Waiting;
        }
        m_unjudged.clear();
        received = std::uint8_t(byte);
        return Verdict::Bad;
    }
    return Verdict::Waiting;
}

EchoJudge::Verdict EchoJudge::expire(std::uint8_t& received)
{
    if (!m_holding || m_unjudged.isEmpty())
        return Verdict::TimedOut;
    received = std::uint8_t(m_unjudged.front());
    m_unjudged.clear();
    m_holding = false;
    m_mayHold = false;
    return Verdict::Bad;
}

} // namespace echotest

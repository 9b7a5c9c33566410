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

void EchoJudge::take(const QByteArray& bytes)
{
    if (m_outOfStep)
        return;
    m_unjudged += bytes;
    if (m_unjudged.size() > kMaxOwed + 1) {
        m_outOfStep = true;
        m_unjudged.clear();
        m_owed.clear();
    }
}

EchoJudge::Verdict EchoJudge::judge(std::uint8_t sent, std::uint8_t& received)
{
    const qsizetype count = m_unjudged.size();
    if (m_outOfStep || count == 0)
        return Verdict::Waiting;
    const qsizetype older = count - 1;
    if (older > 0 && (older > m_owed.size() || m_unjudged.first(older) != m_owed.last(older)))
        return Verdict::Waiting;
    received = std::uint8_t(m_unjudged.back());
    m_unjudged.clear();
    m_owed.clear();
    return received == sent ? Verdict::Good : Verdict::Bad;
}

void EchoJudge::timedOut(std::uint8_t sent)
{
    if (m_outOfStep)
        return;
    m_owed += char(sent);
    if (m_owed.size() > kMaxOwed)
        m_owed.remove(0, 1);
}

} // namespace echotest

#include "EchoTest.h"

namespace echotest {

QString firstLine(bool tcp)
{
    return tcp ? QStringLiteral("Starting Loopback Test on tcp port")
               : QStringLiteral("Starting Loopback Test on serial port");
}

QString signedNumberText(std::int64_t value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
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

} // namespace echotest

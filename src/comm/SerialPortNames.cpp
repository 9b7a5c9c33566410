#include "SerialPortNames.h"

#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <tuple>

namespace {

// Rank of a port's family in the documented order, and its number.
std::tuple<int, int, QString> sortKey(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^tty(S|USB|ACM)(\\d+)$"));
    const auto match = pattern.match(name);
    if (!match.hasMatch())
        return {3, 0, name};
    const QString family = match.captured(1);
    const int rank = family == QLatin1String("S") ? 0 : family == QLatin1String("USB") ? 1 : 2;
    return {rank, match.captured(2).toInt(), name};
}

} // namespace

QStringList SerialPortNames::systemOrder(QStringList portNames)
{
    std::sort(portNames.begin(), portNames.end(),
              [](const QString& a, const QString& b) { return sortKey(a) < sortKey(b); });
    return portNames;
}

QString SerialPortNames::deviceFor(int portNumber) const
{
    if (m_overrides.contains(portNumber))
        return m_overrides.value(portNumber);
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.portName();
    names = systemOrder(names);
    if (portNumber < 1 || portNumber > names.size())
        return QString();
    return QStringLiteral("/dev/") + names.at(portNumber - 1);
#endif
}

void SerialPortNames::setOverride(int portNumber, const QString& device)
{
    m_overrides.insert(portNumber, device);
}

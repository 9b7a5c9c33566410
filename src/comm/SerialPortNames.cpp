#include "SerialPortNames.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <tuple>

namespace {

// Rank of a port's family in the documented order, its number, then its name.
std::tuple<int, int, QString, QString> sortKey(const QString& path)
{
    static const QRegularExpression pattern(QStringLiteral("^tty(S|USB|ACM)(\\d+)$"));
    const QString name = path.section(QLatin1Char('/'), -1);
    const auto match = pattern.match(name);
    if (!match.hasMatch())
        return {3, 0, name, path};
    const QString family = match.captured(1);
    const int rank = family == QLatin1String("S") ? 0 : family == QLatin1String("USB") ? 1 : 2;
    return {rank, match.captured(2).toInt(), name, path};
}

QStringList systemSerialPorts()
{
    QStringList paths;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        paths << info.systemLocation();
    return paths;
}

// Where a command line's device leads: a bare name is a device in /dev, as
// the system lists its ports; a relative path starts in the current folder.
// Windows names its ports (COM12, \\.\COM12) rather than giving them paths.
QString devicePath(const QString& device)
{
#ifdef Q_OS_WIN
    return device;
#else
    if (!device.contains(QLatin1Char('/')))
        return QStringLiteral("/dev/") + device;
    return QDir::cleanPath(QDir::current().absoluteFilePath(device));
#endif
}

} // namespace

SerialPortNames::SerialPortNames()
    : m_systemPorts(systemSerialPorts), m_stableNameFolder(QStringLiteral("/dev/serial/by-id"))
{
}

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
    const QStringList paths = systemOrder(m_systemPorts());
    if (portNumber < 1 || portNumber > paths.size())
        return QString();
    return paths.at(portNumber - 1);
#endif
}

void SerialPortNames::setOverride(int portNumber, const QString& device)
{
    m_overrides.insert(portNumber, device);
}

void SerialPortNames::setSystemPorts(std::function<QStringList()> lister)
{
    m_systemPorts = std::move(lister);
}

void SerialPortNames::setStableNameFolder(const QString& folder)
{
    m_stableNameFolder = folder;
}

QString SerialPortNames::stableNameFor(const QString& device) const
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return QString();
    const QDir folder(m_stableNameFolder);
    const QStringList links =
        folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& link : links) {
        const QString path = folder.filePath(link);
        if (QDir::cleanPath(path) != QDir::cleanPath(device) &&
            QFileInfo(path).canonicalFilePath() == target)
            return path;
    }
    return QString();
}

QString SerialPortNames::describe(int portNumber) const
{
    const QString device = deviceFor(portNumber);
    if (device.isEmpty())
        return QString();
    QStringList lines{device};
    // A pinned link (a stable name, say) says which device it leads to now.
    const QFileInfo info(device);
    const QString target = info.canonicalFilePath();
    if (!target.isEmpty() && target != QDir::cleanPath(info.absoluteFilePath()))
        lines << QStringLiteral("Device: %1").arg(target);
    const QString stableName = stableNameFor(device);
    if (!stableName.isEmpty())
        lines << QStringLiteral("Stable name: %1").arg(stableName);
    return lines.join(QLatin1Char('\n'));
}

std::optional<SerialPortNames::Pins> SerialPortNames::parsePins(const QStringList& values,
                                                                QString& error)
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9]+)=(.*)$"));
    Pins pins;
    for (const QString& value : values) {
        const auto match = pattern.match(value);
        if (!match.hasMatch()) {
            error = QStringLiteral("--port \"%1\": give a port number and a device, as in "
                                   "--port 3=/dev/ttyUSB0.")
                        .arg(value);
            return std::nullopt;
        }
        bool numeric = false;
        const int port = match.captured(1).toInt(&numeric);
        if (!numeric || port < kFirstPort || port > kLastPort) {
            error = QStringLiteral("--port \"%1\": the port number must be %2 to %3.")
                        .arg(value)
                        .arg(kFirstPort)
                        .arg(kLastPort);
            return std::nullopt;
        }
        const QString device = match.captured(2);
        if (device.isEmpty()) {
            error = QStringLiteral("--port \"%1\": no device after \"=\".").arg(value);
            return std::nullopt;
        }
        if (pins.contains(port)) {
            error = QStringLiteral("--port \"%1\": port %2 is already pinned to %3.")
                        .arg(value)
                        .arg(port)
                        .arg(pins.value(port));
            return std::nullopt;
        }
        pins.insert(port, devicePath(device));
    }
    return pins;
}

void SerialPortNames::pin(const Pins& pins)
{
    for (auto it = pins.cbegin(); it != pins.cend(); ++it)
        setOverride(it.key(), it.value());
}

#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Maps the port numbers the reader's users know ("1" to "8") to devices.
// On Windows port n is COMn. Elsewhere port n is the n-th serial port the
// system reports, in this order: built-in ttyS ports by number, then USB
// adapters (ttyUSB) by number, then ACM adapters (ttyACM) by number, then
// any other port by name. A port can be pinned to any device path instead.
class SerialPortNames
{
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 8;

    SerialPortNames();

    // Device for port n, or an empty text when the system has no such port.
    QString deviceFor(int portNumber) const;

    // Puts a device (a pseudo-terminal, a /dev/serial/by-id link) in the
    // place of port n; an empty device leaves port n without one.
    void setOverride(int portNumber, const QString& device);

    // What a port option's tip says: the device, and where there is one the
    // device a link leads to or the stable name of the adapter. Empty when
    // the port has no device.
    QString describe(int portNumber) const;
    // The link in the stable-name folder that leads to this device, or an
    // empty text; never the device path itself.
    QString stableNameFor(const QString& device) const;

    // Where the system's serial devices come from (full paths) and where the
    // links that name USB adapters by their identity live; tests put their
    // own in place.
    void setSystemPorts(std::function<QStringList()> lister);
    void setStableNameFolder(const QString& folder);

    // Sorts system port names (or paths, by their file names) into the
    // documented order.
    static QStringList systemOrder(QStringList portNames);

    // Reads "N=DEVICE" values of the command line into port pins. A device
    // without a folder is taken from /dev, a relative path from the current
    // folder. On a bad value, says why in error and gives nothing.
    using Pins = QMap<int, QString>;
    static std::optional<Pins> parsePins(const QStringList& values, QString& error);
    void pin(const Pins& pins);

private:
    QMap<int, QString> m_overrides;
    std::function<QStringList()> m_systemPorts;
    QString m_stableNameFolder;
};

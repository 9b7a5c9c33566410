#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Maps the port numbers the reader's users know ("1" to "8") to devices.
// On Windows port n is COMn. Elsewhere port n is the n-th serial port the
// system reports, in this order: built-in ttyS ports by number, then USB
// adapters (ttyUSB) by number, then ACM adapters (ttyACM) by number, then
// any other port by name.
class SerialPortNames
{
public:
    // Device for port n, or an empty text when the system has no such port.
    QString deviceFor(int portNumber) const;

    // Puts a device (for example a pseudo-terminal) in the place of port n.
    void setOverride(int portNumber, const QString& device);

    // Sorts system port names into the documented order.
    static QStringList systemOrder(QStringList portNames);

private:
    QMap<int, QString> m_overrides;
};

#include "SerialLink.h"

#include "SerialPortNames.h"

#include <QStringList>

namespace {

struct PortSettings
{
    qint32 baud = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

bool parseSettings(const QString& text, PortSettings& out)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return false;
    bool ok = false;
    out.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || out.baud <= 0)
        return false;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity == QLatin1String("N"))
        out.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        out.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        out.parity = QSerialPort::OddParity;
    else
        return false;
    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return false;
    out.dataBits = static_cast<QSerialPort::DataBits>(dataBits);
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        out.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("2"))
        out.stopBits = QSerialPort::TwoStop;
    else
        return false;
    return true;
}

} // namespace

SerialLink::SerialLink(const SerialPortNames& names, QObject* parent) : Link(parent), m_names(names)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
}

bool SerialLink::setSettings(const QString& settings)
{
    PortSettings parsed;
    if (!parseSettings(settings, parsed))
        return false;
    m_settings = settings;
    return true;
}

QString SerialLink::deviceName() const
{
    return deviceFor(m_portNumber);
}

QString SerialLink::deviceFor(int portNumber) const
{
    return m_names.deviceFor(portNumber);
}

bool SerialLink::open()
{
    if (m_port.isOpen())
        m_port.close();
    PortSettings parsed;
    const QString device = deviceName();
    if (device.isEmpty() || !parseSettings(m_settings, parsed))
        return false;
    m_port.setPortName(device);
    if (!m_port.open(QIODevice::ReadWrite))
        return false;
    const bool configured = m_port.setBaudRate(parsed.baud) && m_port.setParity(parsed.parity) &&
                            m_port.setDataBits(parsed.dataBits) &&
                            m_port.setStopBits(parsed.stopBits) &&
                            m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        m_port.close();
        return false;
    }
    // A pseudo-terminal has no modem lines; the reader does not need them.
    m_port.setDataTerminalReady(true);
    m_port.clearError();
    return true;
}

void SerialLink::close()
{
    if (m_port.isOpen())
        m_port.close();
}

qint64 SerialLink::pending() const
{
    return m_port.isOpen() ? m_port.bytesAvailable() : 0;
}

QByteArray SerialLink::read(qint64 maxBytes)
{
    return m_port.read(maxBytes);
}

bool SerialLink::write(const QByteArray& bytes)
{
    if (!m_port.isOpen())
        return false;
    if (m_port.write(bytes) != bytes.size())
        return false;
    m_port.flush();
    return true;
}

void SerialLink::onError(QSerialPort::SerialPortError error)
{
    // A port whose far end went away reports ReadError without end at full
    // CPU until it is closed; the next send then fails as for a closed port.
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::WriteError)
        close();
}

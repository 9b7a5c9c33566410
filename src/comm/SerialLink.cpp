#include "SerialLink.h"

#include "EventWait.h"
#include "SerialPortNames.h"

#include <QDeadlineTimer>
#include <QTimer>

#include <QStringList>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <unistd.h>
#endif

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

LinkFailure otherError(const QString& device, const QString& detail)
{
    LinkFailure failure;
    failure.kind = LinkFailure::Kind::OtherSerialError;
    failure.target = device;
    failure.detail = detail;
    return failure;
}

} // namespace

SerialLink::SerialLink(const SerialPortNames& names, QObject* parent) : Link(parent), m_names(names)
{
    connect(&m_port, &SerialDevice::errorOccurred, this, &SerialLink::onError);
    connect(&m_port, &SerialDevice::readyRead, this, &SerialLink::takeFromPort);
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

void SerialLink::failNextOpen(QSerialPort::SerialPortError error, const DeviceAccess& access)
{
    m_injectedFailure = std::make_pair(error, access);
}

bool SerialLink::failOpen(LinkFailure failure)
{
    m_lastFailure = std::move(failure);
    return false;
}

LinkFailure SerialLink::noSuchDevice() const
{
    LinkFailure failure;
    failure.kind = LinkFailure::Kind::NoSuchDevice;
    failure.port = QString::number(m_portNumber);
    for (int number = 1; number <= 8; ++number) {
        const QString device = deviceFor(number);
        if (!device.isEmpty())
            failure.availablePorts << QStringLiteral("%1 (%2)").arg(number).arg(device);
    }
    return failure;
}

bool SerialLink::open()
{
    m_lastFailure = {};
    if (m_port.isOpen())
        m_port.close();
    PortSettings parsed;
    const QString device = deviceName();
    if (device.isEmpty())
        return failOpen(noSuchDevice());
    if (!parseSettings(m_settings, parsed))
        return failOpen(otherError(
            device, QStringLiteral("the settings \"%1\" are not valid").arg(m_settings)));
    if (m_injectedFailure) {
        const auto [error, access] = *std::exchange(m_injectedFailure, std::nullopt);
        return failOpen(serialOpenFailure(device, error, QStringLiteral("injected"), access));
    }
    m_port.setPortName(device);
    m_openDevice = device;
    if (!m_port.open(QIODevice::ReadWrite)) {
        return failOpen(serialOpenFailure(device, m_port.error(), m_port.errorString(),
                                          probeDeviceAccess(device)));
    }
    const bool configured = m_port.setBaudRate(parsed.baud) && m_port.setParity(parsed.parity) &&
                            m_port.setDataBits(parsed.dataBits) &&
                            m_port.setStopBits(parsed.stopBits) &&
                            m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        const LinkFailure failure = otherError(device, m_port.errorString());
        m_port.close();
        return failOpen(failure);
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
    // Unread bytes go with the port, as they would in the port's own buffer.
    m_received.clear();
    m_readOffset = 0;
}

void SerialLink::closeAfterSending()
{
    if (m_port.isOpen() && m_port.bytesToWrite() > 0) {
        // Ten bit times a byte, and a second for the driver's own buffer.
        const qint64 needMs =
            m_port.bytesToWrite() * 10 * 1000 / std::max<qint32>(1, m_port.baudRate()) + 1000;
        const QDeadlineTimer deadline(needMs);
        QTimer wake;
        wake.setSingleShot(true);
        wake.start(std::chrono::milliseconds(needMs));
        while (m_port.isOpen() && m_port.bytesToWrite() > 0 && !deadline.hasExpired())
            eventwait::waitForNextEvent();
    }
    close();
}

void SerialLink::takeFromPort()
{
    if (m_port.bytesAvailable() <= 0)
        return;
    if (m_readOffset > 0) {
        m_received.remove(0, m_readOffset);
        m_readOffset = 0;
    }
    m_received += m_port.readAll();
}

qint64 SerialLink::pending() const
{
    if (!m_port.isOpen())
        return 0;
    return m_received.size() - m_readOffset + m_port.bytesAvailable();
}

QByteArray SerialLink::read(qint64 maxBytes)
{
    if (m_readOffset >= m_received.size())
        takeFromPort();
    const qsizetype count = qsizetype(std::min<qint64>(maxBytes, m_received.size() - m_readOffset));
    QByteArray bytes = m_received.mid(m_readOffset, count);
    m_readOffset += count;
    if (m_readOffset == m_received.size()) {
        // Drained: give the memory back.
        m_received.clear();
        m_readOffset = 0;
    }
    return bytes;
}

bool SerialLink::write(const QByteArray& bytes)
{
    if (!m_port.isOpen())
        return false;
    qint64 sent = 0;
    bool deviceFull = false;
#ifdef Q_OS_UNIX
    // Straight to the device while nothing waits in Qt's write buffer: each
    // write through the buffer switches its write notifier on and off, and
    // each switch wakes the event loop, which costs more than the write
    // itself for the few bytes of a command.
    if (m_port.bytesToWrite() == 0 && m_port.handle() >= 0) {
        const ssize_t count = ::write(m_port.handle(), bytes.constData(), size_t(bytes.size()));
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        sent = std::max<qint64>(count, 0);
        deviceFull = sent < bytes.size();
    }
#endif
    if (sent == bytes.size())
        return true;
    // The driver's buffer is full: Qt writes the rest as it drains. No flush
    // then: writing to a full device at once fails with EAGAIN, which Qt
    // reports as a write error that closes the port.
    if (m_port.write(bytes.constData() + sent, bytes.size() - sent) != bytes.size() - sent)
        return false;
    if (!deviceFull)
        m_port.flush();
    return true;
}

void SerialLink::onError(QSerialPort::SerialPortError error)
{
    // A port whose far end went away reports ReadError without end at full
    // CPU until it is closed; the loss is then reported, and the link reads
    // "Disconnected".
    if ((error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
         error == QSerialPort::WriteError) &&
        m_port.isOpen()) {
        close();
        LinkFailure failure;
        failure.kind = LinkFailure::Kind::DeviceGone;
        failure.target = m_openDevice;
        failure.when = QTime::currentTime();
        emit lost(failure);
    }
}

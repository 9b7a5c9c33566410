#pragma once

#include "Link.h"
#include "LinkFailure.h"

#include <QSerialPort>

#ifdef Q_OS_WIN
#include "ComPort.h"
// QSerialPort reads nothing under Wine (see ComPort).
using SerialDevice = ComPort;
#else
using SerialDevice = QSerialPort;
#endif

#include <optional>
#include <utility>

class SerialPortNames;

// The serial port link: a numbered port and a settings string such as
// "9600,N,8,1", applied when the port is opened.
class SerialLink : public Link
{
    Q_OBJECT
public:
    explicit SerialLink(const SerialPortNames& names, QObject* parent = nullptr);

    void setPortNumber(int portNumber) { m_portNumber = portNumber; }
    int portNumber() const { return m_portNumber; }
    // Accepts "baud,parity,data bits,stop bits"; false leaves the settings as they were.
    bool setSettings(const QString& settings);
    QString settings() const { return m_settings; }

    // On failure, lastFailure() says why.
    bool open();
    // Drops whatever the port has not sent yet.
    void close();
    // Closes once what the port still holds has gone out to the device, with
    // the event loop served meanwhile, and no later than the device needs
    // for those bytes at its speed.
    void closeAfterSending();
    LinkFailure lastFailure() const { return m_lastFailure; }
    // The speed the open port runs at; 0 while it is closed.
    qint32 openBaudRate() const { return m_port.isOpen() ? m_port.baudRate() : 0; }
    // Makes the next open() fail as if the system had refused the device
    // with this error and access, for what a test machine cannot produce.
    void failNextOpen(QSerialPort::SerialPortError error, const DeviceAccess& access);
    // Device the chosen port number stands for right now.
    QString deviceName() const;
    QString deviceFor(int portNumber) const;
    const SerialPortNames& portNames() const { return m_names; }

    bool isOpen() const override { return m_port.isOpen(); }
    qint64 pending() const override;
    QByteArray read(qint64 maxBytes) override;
    bool write(const QByteArray& bytes) override;

signals:
    // The open port failed under us: the device went away.
    void lost(const LinkFailure& failure);

private:
    void onError(QSerialPort::SerialPortError error);
    bool failOpen(LinkFailure failure);
    LinkFailure noSuchDevice() const;
    // Moves what the port received into m_received. The port's own buffer
    // keeps a 32 KiB block for every read, however few bytes it brought, so
    // a reader that talks while nobody reads would cost many times its bytes.
    void takeFromPort();

    const SerialPortNames& m_names;
    SerialDevice m_port;
    int m_portNumber = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    QString m_openDevice;
    QByteArray m_received;
    qsizetype m_readOffset = 0;
    LinkFailure m_lastFailure;
    std::optional<std::pair<QSerialPort::SerialPortError, DeviceAccess>> m_injectedFailure;
};

#pragma once

#include "Link.h"

#include <QSerialPort>

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

    bool open();
    void close();
    // Device the chosen port number stands for right now.
    QString deviceName() const;
    QString deviceFor(int portNumber) const;

    bool isOpen() const override { return m_port.isOpen(); }
    qint64 pending() const override;
    QByteArray read(qint64 maxBytes) override;
    bool write(const QByteArray& bytes) override;

private:
    void onError(QSerialPort::SerialPortError error);

    const SerialPortNames& m_names;
    QSerialPort m_port;
    int m_portNumber = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
};

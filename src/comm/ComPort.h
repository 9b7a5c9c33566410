#pragma once

#include <QObject>
#include <QSerialPort>

#include <memory>
#include <utility>

// A Windows COM port with the part of QSerialPort's interface the serial link uses.
//
// QSerialPort starts each read when a comm-event wait completes, and learns of that
// completion from an APC. Wine never delivers that APC; on a port without modem lines (a
// pseudo-terminal) it ends the wait at once, and on one with them it makes the wait block the
// caller, open() included. So QSerialPort reads nothing there. This port keeps a read pending
// instead, with a read interval time-out so that it returns shortly after the last byte, which
// Windows and Wine both honour, and takes its completions as APCs, as QSerialPort does for
// its reads and writes.
class ComPort : public QObject
{
    Q_OBJECT
public:
    explicit ComPort(QObject* parent = nullptr);
    ~ComPort() override;

    // COMn, as Windows names the port.
    void setPortName(const QString& name) { m_name = name; }
    // Opens for reading and writing whatever the mode; false with error() set on failure.
    bool open(QIODevice::OpenMode mode);
    // Drops what has not been sent yet and what was received but not read.
    void close();
    bool isOpen() const;

    bool setBaudRate(qint32 baud);
    bool setParity(QSerialPort::Parity parity);
    bool setDataBits(QSerialPort::DataBits dataBits);
    bool setStopBits(QSerialPort::StopBits stopBits);
    // Only NoFlowControl is needed, and only it is offered.
    bool setFlowControl(QSerialPort::FlowControl flowControl);
    qint32 baudRate() const;
    bool setDataTerminalReady(bool set);

    qint64 bytesAvailable() const { return m_received.size(); }
    QByteArray readAll() { return std::exchange(m_received, {}); }
    // Queues the bytes and starts sending them; returns size, or -1 when the port is closed.
    qint64 write(const char* data, qint64 size);
    qint64 bytesToWrite() const;
    // Writing starts at once in write(); nothing is left to push.
    bool flush() { return isOpen(); }

    QSerialPort::SerialPortError error() const { return m_error; }
    QString errorString() const { return m_errorString; }
    void clearError() { setError(QSerialPort::NoError, {}); }

signals:
    void readyRead();
    void errorOccurred(QSerialPort::SerialPortError error);

private:
    struct Io;

    void setError(QSerialPort::SerialPortError error, const QString& text);
    // Sets the error from the system's last error; false for the caller to return.
    bool failWith(QSerialPort::SerialPortError error);
    bool applySettings();
    bool startRead();
    void finishRead(quint32 error, quint32 count);
    void startWrite();
    void finishWrite(quint32 error, quint32 count);

    QString m_name;
    std::unique_ptr<Io> m_io;
    QByteArray m_received;
    QSerialPort::SerialPortError m_error = QSerialPort::NoError;
    QString m_errorString;
};

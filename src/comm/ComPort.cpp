#include "ComPort.h"

#include <qt_windows.h>

namespace {

// A read returns once this long has passed after a byte with no further byte; until the
// first byte it stays pending, however long that takes.
constexpr DWORD kReadIntervalMs = 1;
constexpr DWORD kReadChunk = 4096;

QSerialPort::SerialPortError openError(DWORD code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return QSerialPort::DeviceNotFoundError;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return QSerialPort::PermissionError;
    default:
        return QSerialPort::OpenError;
    }
}

} // namespace

struct ComPort::Io
{
    // Completions come as APCs, which Qt's event loop runs while it waits for events. The
    // wait goes on after them unless an event was posted, so each completion posts one for
    // whoever waits on what it changed.
    struct Operation : OVERLAPPED
    {
        ComPort* port = nullptr;
    };
    static void CALLBACK readDone(DWORD error, DWORD count, OVERLAPPED* operation)
    {
        ComPort* port = static_cast<Operation*>(operation)->port;
        port->finishRead(error, count);
        QMetaObject::invokeMethod(
            port, [] {}, Qt::QueuedConnection);
    }
    static void CALLBACK writeDone(DWORD error, DWORD count, OVERLAPPED* operation)
    {
        ComPort* port = static_cast<Operation*>(operation)->port;
        port->finishWrite(error, count);
        QMetaObject::invokeMethod(
            port, [] {}, Qt::QueuedConnection);
    }

    HANDLE handle = INVALID_HANDLE_VALUE;
    DCB settings{};
    Operation readOperation;
    Operation writeOperation;
    bool reading = false;
    bool writing = false;
    bool closing = false;
    QByteArray readChunk = QByteArray(kReadChunk, Qt::Uninitialized);
    // The bytes WriteFileEx is sending; they stay put until it is done.
    QByteArray sending;
    QByteArray queued;
};

ComPort::ComPort(QObject* parent) : QObject(parent), m_io(std::make_unique<Io>())
{
    m_io->readOperation.port = m_io->writeOperation.port = this;
}

ComPort::~ComPort()
{
    close();
}

bool ComPort::isOpen() const
{
    return m_io->handle != INVALID_HANDLE_VALUE;
}

void ComPort::setError(QSerialPort::SerialPortError error, const QString& text)
{
    m_error = error;
    m_errorString = text;
    emit errorOccurred(error);
}

bool ComPort::failWith(QSerialPort::SerialPortError error)
{
    setError(error, qt_error_string(int(GetLastError())));
    return false;
}

bool ComPort::open(QIODevice::OpenMode)
{
    const std::wstring path = L"\\\\.\\" + m_name.toStdWString();
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failWith(openError(GetLastError()));
    DCB settings{};
    settings.DCBlength = sizeof settings;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    if (!GetCommState(handle, &settings) || !SetCommTimeouts(handle, &timeouts)) {
        failWith(QSerialPort::OpenError);
        CloseHandle(handle);
        return false;
    }
    // Raw bytes both ways: no flow control, no replaced or dropped characters.
    settings.fBinary = TRUE;
    settings.fOutxCtsFlow = settings.fOutxDsrFlow = settings.fDsrSensitivity = FALSE;
    settings.fOutX = settings.fInX = settings.fErrorChar = settings.fNull = FALSE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fAbortOnError = FALSE;
    m_io->settings = settings;
    m_io->handle = handle;
    if (!applySettings()) {
        close();
        return false;
    }
    if (!startRead()) {
        failWith(QSerialPort::OpenError);
        close();
        return false;
    }
    return true;
}

void ComPort::close()
{
    if (!isOpen())
        return;
    // Every operation must be over, its completion run, before its buffer is reused.
    m_io->closing = true;
    CancelIoEx(m_io->handle, nullptr);
    while (m_io->reading || m_io->writing)
        SleepEx(INFINITE, TRUE);
    m_io->closing = false;
    CloseHandle(m_io->handle);
    m_io->handle = INVALID_HANDLE_VALUE;
    m_io->sending.clear();
    m_io->queued.clear();
    m_received.clear();
}

bool ComPort::applySettings()
{
    return SetCommState(m_io->handle, &m_io->settings) ||
           failWith(QSerialPort::UnsupportedOperationError);
}

bool ComPort::setBaudRate(qint32 baud)
{
    m_io->settings.BaudRate = DWORD(baud);
    return applySettings();
}

bool ComPort::setParity(QSerialPort::Parity parity)
{
    m_io->settings.fParity = parity != QSerialPort::NoParity;
    switch (parity) {
    case QSerialPort::EvenParity:
        m_io->settings.Parity = EVENPARITY;
        break;
    case QSerialPort::OddParity:
        m_io->settings.Parity = ODDPARITY;
        break;
    case QSerialPort::MarkParity:
        m_io->settings.Parity = MARKPARITY;
        break;
    case QSerialPort::SpaceParity:
        m_io->settings.Parity = SPACEPARITY;
        break;
    default:
        m_io->settings.Parity = NOPARITY;
        break;
    }
    return applySettings();
}

bool ComPort::setDataBits(QSerialPort::DataBits dataBits)
{
    m_io->settings.ByteSize = BYTE(dataBits);
    return applySettings();
}

bool ComPort::setStopBits(QSerialPort::StopBits stopBits)
{
    m_io->settings.StopBits = stopBits == QSerialPort::TwoStop          ? TWOSTOPBITS
                              : stopBits == QSerialPort::OneAndHalfStop ? ONE5STOPBITS
                                                                        : ONESTOPBIT;
    return applySettings();
}

bool ComPort::setFlowControl(QSerialPort::FlowControl flowControl)
{
    if (flowControl == QSerialPort::NoFlowControl)
        return true;
    setError(QSerialPort::UnsupportedOperationError, QStringLiteral("flow control is not offered"));
    return false;
}

qint32 ComPort::baudRate() const
{
    return qint32(m_io->settings.BaudRate);
}

bool ComPort::setDataTerminalReady(bool set)
{
    m_io->settings.fDtrControl = set ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    return isOpen() && EscapeCommFunction(m_io->handle, set ? SETDTR : CLRDTR);
}

bool ComPort::startRead()
{
    static_cast<OVERLAPPED&>(m_io->readOperation) = {};
    m_io->reading = ReadFileEx(m_io->handle, m_io->readChunk.data(), kReadChunk,
                               &m_io->readOperation, Io::readDone);
    return m_io->reading;
}

void ComPort::finishRead(quint32 error, quint32 count)
{
    m_io->reading = false;
    if (m_io->closing)
        return;
    if (error != ERROR_SUCCESS) {
        setError(QSerialPort::ReadError, qt_error_string(int(error)));
        return;
    }
    m_received.append(m_io->readChunk.constData(), qsizetype(count));
    if (!startRead()) {
        failWith(QSerialPort::ReadError);
        return;
    }
    if (count > 0)
        emit readyRead();
}

qint64 ComPort::write(const char* data, qint64 size)
{
    if (!isOpen())
        return -1;
    m_io->queued.append(data, qsizetype(size));
    startWrite();
    return size;
}

qint64 ComPort::bytesToWrite() const
{
    return m_io->sending.size() + m_io->queued.size();
}

void ComPort::startWrite()
{
    if (!isOpen() || m_io->writing || m_io->closing || m_io->queued.isEmpty())
        return;
    m_io->sending = std::exchange(m_io->queued, {});
    static_cast<OVERLAPPED&>(m_io->writeOperation) = {};
    if (!WriteFileEx(m_io->handle, m_io->sending.constData(), DWORD(m_io->sending.size()),
                     &m_io->writeOperation, Io::writeDone)) {
        m_io->sending.clear();
        failWith(QSerialPort::WriteError);
        return;
    }
    m_io->writing = true;
}

void ComPort::finishWrite(quint32 error, quint32 count)
{
    m_io->writing = false;
    if (m_io->closing)
        return;
    if (error != ERROR_SUCCESS) {
        setError(QSerialPort::WriteError, qt_error_string(int(error)));
        return;
    }
    // Without write time-outs the whole block goes; should a driver stop short, the rest
    // goes first next time.
    m_io->queued.prepend(m_io->sending.mid(qsizetype(count)));
    m_io->sending.clear();
    startWrite();
    // Wakes a wait for what is left to send.
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);
}

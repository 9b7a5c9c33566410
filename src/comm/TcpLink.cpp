#include "TcpLink.h"

#include "EventWait.h"

#include <QThread>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <sys/socket.h>
#endif

TcpLink::TcpLink(QObject* parent) : Link(parent)
{
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        // Commands are a few bytes each; without this the kernel holds one back
        // until the previous unanswered send (the two returns) is acknowledged.
        // The option only takes on a connected socket.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_wasConnected = true;
        emit connectCompleted();
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                m_sawError = true;
                m_error = error;
                m_errorText = m_socket.errorString();
            });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_wasConnected)
            return;
        m_wasConnected = false;
        LinkFailure failure;
        failure.kind = LinkFailure::Kind::ClosedByReader;
        failure.target = m_host;
        failure.port = QString::number(m_port);
        failure.when = QTime::currentTime();
        emit lost(failure);
    });
}

void TcpLink::dropConnection()
{
    // Ours, not the reader's: not reported as a lost connection.
    m_wasConnected = false;
    m_socket.abort();
}

void TcpLink::connectTo(const QString& host, quint16 port)
{
    dropConnection();
    m_host = host;
    m_port = port;
    m_sawError = false;
    m_socket.connectToHost(host, port);
}

bool TcpLink::waitForConnect(const bool& connectSeen, const std::function<bool()>& giveUp)
{
    int sleeps = 0;
    do {
        if (m_sleep)
            m_sleep(kConnectSleepMs);
        else
            QThread::msleep(kConnectSleepMs);
        if (++sleeps == kConnectSleeps || giveUp())
            return false;
        eventwait::yieldToEventLoop();
    } while (!connectSeen);
    return true;
}

void TcpLink::close()
{
    // Whatever a write handed over goes out before the connection drops,
    // also the part the kernel had no room for yet: the socket closes once
    // it has sent that.
    if (m_socket.state() == QAbstractSocket::ConnectedState) {
        m_socket.flush();
        if (m_socket.bytesToWrite() > 0) {
            m_wasConnected = false;
            m_socket.disconnectFromHost();
            return;
        }
    }
    dropConnection();
}

LinkFailure TcpLink::connectFailure() const
{
    LinkFailure failure;
    failure.target = m_host;
    failure.port = QString::number(m_port);
    if (!m_sawError) {
        failure.kind = LinkFailure::Kind::NoAnswer;
        return failure;
    }
    switch (m_error) {
    case QAbstractSocket::HostNotFoundError:
        failure.kind = LinkFailure::Kind::HostNotFound;
        break;
    case QAbstractSocket::ConnectionRefusedError:
        failure.kind = LinkFailure::Kind::ConnectionRefused;
        break;
    case QAbstractSocket::SocketTimeoutError:
        failure.kind = LinkFailure::Kind::NoAnswer;
        break;
    default:
        failure.kind = LinkFailure::Kind::OtherTcpError;
        failure.detail = m_errorText;
        break;
    }
    return failure;
}

bool TcpLink::isOpen() const
{
    return m_socket.state() == QAbstractSocket::ConnectedState;
}

qint64 TcpLink::pending() const
{
    return m_socket.bytesAvailable();
}

QByteArray TcpLink::read(qint64 maxBytes)
{
    return m_socket.read(maxBytes);
}

bool TcpLink::write(const QByteArray& bytes)
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return false;
    qint64 sent = 0;
#ifdef Q_OS_UNIX
    // Straight to the socket while nothing waits in Qt's write buffer: each
    // write through the buffer also wakes the event loop twice, which costs
    // more than the write itself for the few bytes of a command or a block.
    if (m_socket.bytesToWrite() == 0) {
        const ssize_t count = ::send(int(m_socket.socketDescriptor()), bytes.constData(),
                                     size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        sent = std::max<qint64>(count, 0);
    }
#endif
    if (sent == bytes.size())
        return true;
    // The kernel's buffer is full: Qt sends the rest when it drains.
    if (m_socket.write(bytes.constData() + sent, bytes.size() - sent) != bytes.size() - sent)
        return false;
    m_socket.flush();
    return true;
}

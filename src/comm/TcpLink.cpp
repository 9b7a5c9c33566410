#include "TcpLink.h"

TcpLink::TcpLink(QObject* parent) : Link(parent)
{
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        // Commands are a few bytes each; without this the kernel holds one back
        // until the previous unanswered send (the two returns) is acknowledged.
        // The option only takes on a connected socket.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        emit connectCompleted();
    });
}

void TcpLink::connectTo(const QString& host, quint16 port)
{
    m_socket.abort();
    m_socket.connectToHost(host, port);
}

void TcpLink::close()
{
    // Whatever was handed to the socket goes out before the connection drops.
    if (m_socket.state() == QAbstractSocket::ConnectedState)
        m_socket.flush();
    m_socket.abort();
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
    if (m_socket.write(bytes) != bytes.size())
        return false;
    m_socket.flush();
    return true;
}

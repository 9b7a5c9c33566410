#include "SimTcpServer.h"

#include "SimReader.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace sim {

SimTcpServer::SimTcpServer(SimReader& reader, QObject* parent) : QObject(parent), m_reader(&reader)
{
    connect(&m_server, &QTcpServer::newConnection, this, &SimTcpServer::acceptClient);
    connect(&reader, &SimReader::send, this, [this](const QByteArray& bytes, const QObject* link) {
        if (m_client && (!link || link == this))
            m_client->write(bytes);
    });
    connect(&reader, &SimReader::closeRequested, this, [this](const QObject* link) {
        if (!link || link == this)
            dropClient();
    });
}

SimTcpServer::~SimTcpServer()
{
    // The server deletes its sockets; they must not call back into a half-destroyed object.
    if (m_client)
        m_client->disconnect(this);
    if (m_reader)
        m_reader->linkReset(this);
}

bool SimTcpServer::listen(quint16 port, const QHostAddress& address)
{
    return address.isLoopback() && m_server.listen(address, port);
}

void SimTcpServer::setAccepting(bool accepting)
{
    if (accepting)
        m_server.resumeAccepting();
    else
        m_server.pauseAccepting();
}

void SimTcpServer::acceptClient()
{
    while (QTcpSocket* next = m_server.nextPendingConnection()) {
        if (m_client)
            dropClient();
        m_client = next;
        // Replies are small and awaited one at a time; don't let them sit in Nagle's buffer.
        next->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(next, &QTcpSocket::readyRead, this, [this, next] {
            const QByteArray bytes = next->readAll();
            if (m_reader)
                m_reader->receive(bytes, this);
        });
        connect(next, &QTcpSocket::disconnected, this, [this, next] { release(next); });
        emit clientConnected();
    }
}

void SimTcpServer::dropClient()
{
    if (!m_client)
        return;
    QTcpSocket* client = m_client;
    release(client);
    // Let replies already written reach the client before the connection ends.
    client->disconnectFromHost();
}

void SimTcpServer::release(QTcpSocket* client)
{
    m_client = nullptr;
    client->disconnect(this);
    if (client->state() == QAbstractSocket::UnconnectedState)
        client->deleteLater();
    else
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
    if (m_reader)
        m_reader->linkReset(this);
    emit clientDisconnected();
}

} // namespace sim

#include "moc_SimTcpServer.cpp"

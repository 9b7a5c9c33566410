#pragma once

#include "SimReader.h"

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace sim {

// The reader's TCP side: listens on 127.0.0.1 only and talks to one client at a time;
// a new client takes the place of the old one, as on the real reader.
class SimTcpServer : public QObject
{
    Q_OBJECT
public:
    explicit SimTcpServer(SimReader& reader, QObject* parent = nullptr);
    ~SimTcpServer() override;

    // Port 0 picks a free port; port() tells which. Loopback only: 127.0.0.1 or ::1.
    bool listen(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }

    // The listening socket, for a pool that watches many listeners at once.
    qintptr listeningDescriptor() const { return m_server.socketDescriptor(); }
    // A listener that does not accept leaves new clients waiting in the system's queue.
    void setAccepting(bool accepting);

    bool hasClient() const { return m_client != nullptr; }
    // Ends the current client's connection after what was already written goes out.
    void dropClient();

signals:
    void clientConnected();
    void clientDisconnected();

private:
    void acceptClient();
    void release(QTcpSocket* client);

    // Guarded: a transport may outlive its reader at tear-down.
    QPointer<SimReader> m_reader;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
};

} // namespace sim

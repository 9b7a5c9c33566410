#pragma once

#include "Link.h"
#include "LinkFailure.h"

#include <QTcpSocket>

// The TCP client link to a reader.
class TcpLink : public Link
{
    Q_OBJECT
public:
    explicit TcpLink(QObject* parent = nullptr);

    // Drops any earlier connection and starts a new outgoing one.
    void connectTo(const QString& host, quint16 port);
    void close();
    // Why the last connectTo() has not completed, from what the socket said.
    LinkFailure connectFailure() const;

    bool isOpen() const override;
    qint64 pending() const override;
    QByteArray read(qint64 maxBytes) override;
    bool write(const QByteArray& bytes) override;

signals:
    void connectCompleted();
    // The reader ended an open connection.
    void lost(const LinkFailure& failure);

private:
    void dropConnection();

    QTcpSocket m_socket;
    QString m_host;
    quint16 m_port = 0;
    QAbstractSocket::SocketError m_error = QAbstractSocket::UnknownSocketError;
    QString m_errorText;
    bool m_sawError = false;
    bool m_wasConnected = false;
};

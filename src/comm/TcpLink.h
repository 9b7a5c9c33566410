#pragma once

#include "Link.h"
#include "LinkFailure.h"

#include <QTcpSocket>

#include <functional>

// The TCP client link to a reader.
class TcpLink : public Link
{
    Q_OBJECT
public:
    explicit TcpLink(QObject* parent = nullptr);

    static constexpr int kConnectSleepMs = 100;
    static constexpr int kConnectSleeps = 30;

    // Drops any earlier connection and starts a new outgoing one.
    void connectTo(const QString& host, quint16 port);
    // Waits for the connection started by connectTo: sleeps of 100 ms with
    // the event loop served between them, giving up at the thirtieth or as
    // soon as giveUp says so. connectSeen is set by the connectCompleted
    // handler of the caller.
    bool waitForConnect(const bool& connectSeen, const std::function<bool()>& giveUp);
    // What one sleep of the connect wait does; a plain sleep of that many
    // milliseconds unless a test puts a shorter wait in its place.
    using Sleep = std::function<void(int ms)>;
    void setConnectSleep(Sleep sleep) { m_sleep = std::move(sleep); }
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
    Sleep m_sleep;
};

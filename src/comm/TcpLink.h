#pragma once

#include "Link.h"

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

    bool isOpen() const override;
    qint64 pending() const override;
    QByteArray read(qint64 maxBytes) override;
    bool write(const QByteArray& bytes) override;

signals:
    void connectCompleted();

private:
    QTcpSocket m_socket;
};

#pragma once

#include <QByteArray>
#include <QObject>

// What reader operations may do with a link, whichever kind it is.
class Link : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isOpen() const = 0;
    // Received bytes waiting to be read.
    virtual qint64 pending() const = 0;
    // Reads up to maxBytes of the pending bytes.
    virtual QByteArray read(qint64 maxBytes) = 0;
    // Queues the bytes as one write and starts sending them; false on failure.
    virtual bool write(const QByteArray& bytes) = 0;
};

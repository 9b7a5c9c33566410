#pragma once

#include <QByteArray>
#include <QObject>

#include <algorithm>

// Sent before a command that must reach the reader whatever it was doing:
// NUL ESC CR, twice.
inline const QByteArray kAttentionSequence("\x00\x1b\r\x00\x1b\r", 6);

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

    // Throws away what has arrived, so late replies and chatter are never
    // taken for what comes next. Reads in bounded pieces so a flood costs no
    // more memory than one piece.
    void discardPending()
    {
        constexpr qint64 kPiece = 64 * 1024;
        while (pending() > 0) {
            if (read(std::min(pending(), kPiece)).isEmpty())
                return;
        }
    }
};

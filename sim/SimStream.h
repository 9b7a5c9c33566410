#pragma once

#include "SimReader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace sim {

// A steady stream of bytes from the reader, for watching the terminal work: the byte
// values 0 to 255 over and over, at a chosen rate, to the link that spoke last (every
// link before any has spoken).
class SimStream : public QObject
{
    Q_OBJECT
public:
    explicit SimStream(SimReader& reader, QObject* parent = nullptr);

    // bytesPerSecond 0 sends the whole limit at once; limit < 0 streams until stop().
    // False when asked for an endless flood.
    bool start(qint64 bytesPerSecond, qint64 limit = -1);
    void stop();
    bool running() const { return m_timer.isActive(); }
    qint64 sent() const { return m_sent; }

signals:
    void finished();

private:
    void sendDue();
    void sendBytes(qint64 count);

    QPointer<SimReader> m_reader;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_rate = 0;
    qint64 m_limit = -1;
    qint64 m_sent = 0;
};

} // namespace sim

#pragma once

#include "SimReader.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

namespace sim {

// The reader's echo mode: after the attention sequence and "*", every byte received is
// sent straight back on its link, until the link ends or the attention sequence comes
// again. Characters are counted from 1, the first one after "*", as the echo test counts.
class SimEcho : public QObject
{
    Q_OBJECT
public:
    explicit SimEcho(SimReader& reader, QObject* parent = nullptr);
    ~SimEcho() override;

    // The reader goes quiet at character n for ms milliseconds, then sends everything it
    // owes, in order, in one piece.
    void setLateAt(qint64 n, int ms);
    // Character n comes back as this byte.
    void setWrongAt(qint64 n, char byte);
    // Nothing comes back at all.
    void setSilent(bool silent) { m_silent = silent; }
    void clearFaults();

    bool active() const { return m_active; }
    qint64 count() const { return m_count; }

signals:
    void started();

private:
    void onAttentionByte(char byte, const QObject* link);
    void consume(const QByteArray& bytes, const QObject* link);
    void sendHeld();

    QPointer<SimReader> m_reader;
    bool m_active = false;
    qint64 m_count = 0;
    // The last bytes received, to see the attention sequence come again.
    QByteArray m_recent;

    qint64 m_lateAt = 0;
    int m_lateMs = 0;
    qint64 m_wrongAt = 0;
    char m_wrongByte = 0;
    bool m_silent = false;
    QByteArray m_held;
    QTimer m_lateTimer;
};

} // namespace sim

#pragma once

#include "SimReader.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>

namespace sim {

// The reader's echo mode: after the attention sequence and "*", every byte received is
// sent straight back on its link, until the link ends or the attention sequence comes
// again (or, as some readers do, never: setStaysEchoing). Characters are counted from 1, the first
// one after "*", as the echo test counts.
class SimEcho : public QObject
{
    Q_OBJECT
public:
    explicit SimEcho(SimReader& reader, QObject* parent = nullptr);
    ~SimEcho() override;

    enum class Fault
    {
        Wrong,       // comes back as the given byte
        Doubled,     // comes back twice
        StrayBefore, // the given byte, then the echo
        StrayAfter,  // the echo, then the given byte
        LateByOne    // held back, then sent in one piece with the next character's echo
    };
    // Character n comes back with this fault; each character may have one.
    void setFaultAt(qint64 n, Fault fault, char byte = 0);
    // Character n comes back as this byte.
    void setWrongAt(qint64 n, char byte) { setFaultAt(n, Fault::Wrong, byte); }
    // Every character comes back with all its bits inverted.
    void setWrongEvery(bool wrong) { m_wrongEvery = wrong; }
    // Nothing comes back at all.
    void setSilent(bool silent) { m_silent = silent; }
    // Once a test has started it, echo mode never ends by itself: every byte
    // on any link comes back, commands and the attention sequence included,
    // until the reader is switched off and on.
    void setStaysEchoing(bool stays) { m_staysEchoing = stays; }
    void switchOffAndOn();
    void clearFaults();

    bool active() const { return m_active; }
    qint64 count() const { return m_count; }

signals:
    void started();

private:
    void onAttentionByte(char byte, const QObject* link);
    void consume(const QByteArray& bytes, const QObject* link);

    QPointer<SimReader> m_reader;
    bool m_active = false;
    qint64 m_count = 0;
    // The last bytes received, to see the attention sequence come again.
    QByteArray m_recent;

    struct FaultAt
    {
        Fault fault = Fault::Wrong;
        char byte = 0;
    };
    QHash<qint64, FaultAt> m_faults;
    bool m_wrongEvery = false;
    bool m_silent = false;
    bool m_staysEchoing = false;
    // An echo held back until the next character's.
    QByteArray m_held;
};

} // namespace sim

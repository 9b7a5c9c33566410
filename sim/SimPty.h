#pragma once

#include "SimReader.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QSocketNotifier;

namespace sim {

// The reader's serial side: a pseudo-terminal whose slave the utility opens with
// QSerialPort exactly as it would a real port. The sim works the master end.
class SimPty : public QObject
{
    Q_OBJECT
public:
    explicit SimPty(SimReader& reader, QObject* parent = nullptr);
    ~SimPty() override;

    bool open();
    // Closing the master is the pseudo-terminal's way of unplugging the cable: the
    // utility's port sees an error, and bytes it had not read yet are lost.
    void close();
    bool isOpen() const { return m_master >= 0; }
    // A reader that stops reading: what the utility writes then waits in the
    // pseudo-terminal, which takes a few KiB, until reading resumes.
    void setReading(bool reading);
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_errorString; }

signals:
    void closed();

private:
    void readMaster();
    void writePending();
    void fail(const char* what);

    // Guarded: a transport may outlive its reader at tear-down.
    QPointer<SimReader> m_reader;
    int m_master = -1;
    // Held open for the pty's whole life: with no slave open the master reads EIO and
    // polls readable for ever, so every time the utility closed its port we would spin.
    int m_slave = -1;
    QString m_slavePath;
    QString m_errorString;
    QByteArray m_outgoing;
    // How much of m_outgoing has gone out; the pty takes a few KiB a write.
    qsizetype m_written = 0;
    QSocketNotifier* m_readNotifier = nullptr;
    QSocketNotifier* m_writeNotifier = nullptr;
};

} // namespace sim

#pragma once

#include "SimReader.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>

namespace sim {

// The reader's service commands: its clock ("t", "+"), operating mode ("|"),
// memory usage ("z"), transaction log ("lr", "l", "lc") and restart (NUL "X").
// Installs itself into a SimReader and keeps the state a test reads back.
class SimUtilities
{
public:
    enum Mode
    {
        Online = 1,
        ProxDump = 2,
        Collection = 5
    };

    // The reader's handlers call back into this object: it must outlive
    // every command the reader is given.
    explicit SimUtilities(SimReader& reader);

    // The reader's wall clock, running from the time last set; it knows no time zone.
    QDateTime clock() const;
    void setClock(const QDateTime& wallTime);

    int mode() const { return m_mode; }
    int restartCount() const { return m_restartCount; }
    int totalSlots() const { return m_totalSlots; }
    void setTotalSlots(int count) { m_totalSlots = count; }

    // The stored transactions, oldest first; "l" hands them out in this order.
    QList<QByteArray>& log() { return m_log; }
    // Replaces the log with `count` made-up transactions.
    void fillLog(int count);
    static QByteArray sampleRecord(int number);
    // Records handed out since the last "lr".
    int uploaded() const { return m_uploaded; }

    // Faults of the upload, counted in "l" commands since the last "lr" (1 is the first):
    // drop the link instead of answering, or say nothing. 0 switches them off.
    void setDropOnRecordRequest(int request) { m_dropOnRequest = request; }
    void setSilentOnRecordRequest(int request) { m_silentOnRequest = request; }

private:
    std::optional<QByteArray> setClockCommand(const QByteArray& argument);
    std::optional<QByteArray> nextRecord(const QByteArray& argument);
    QByteArray memoryReply() const;

    SimReader& m_reader;
    QDateTime m_clockBase;
    QElapsedTimer m_clockRunning;
    int m_mode = Online;
    int m_restartCount = 0;
    int m_totalSlots = 1000;
    QList<QByteArray> m_log;
    int m_uploaded = 0;
    int m_requests = 0;
    int m_dropOnRequest = 0;
    int m_silentOnRequest = 0;
};

} // namespace sim

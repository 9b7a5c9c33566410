#pragma once

#include "core/NumberText.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

// Command texts, reply slicing and status texts of the utilities window:
// everything it does that needs no window.
namespace utilitycommands {

inline const QString kNotConnected = QStringLiteral("Not Connected");
inline const QString kNoResponse = QStringLiteral("No response from reader");
inline const QString kModeSwitched = QStringLiteral("Mode Switched");
inline const QString kTimeSet = QStringLiteral("Time set in reader");
inline const QString kTimeNotSet = QStringLiteral("Time not set");
inline const QString kInvalidHours = QStringLiteral("Invalid hours to add/subtract");
inline const QString kMemoryReceived = QStringLiteral("Memory data received");
inline const QString kLogCleared = QStringLiteral("Log Cleared");
inline const QString kClearQuestion = QStringLiteral("Do you wish to clear the reader data");
inline const QString kInvalidUploadReply = QStringLiteral("invalid response from reader");
inline const QString kUploadNotCreated = QStringLiteral("Upload file could not be created");
inline const QString kUploadNotWritten = QStringLiteral("Upload file could not be written");

// The PC's date and time; tests put a fixed clock in its place.
using PcClock = std::function<QDateTime()>;

// "Current Date/Time: yyyy-mm-dd  hh:mm:ss", 24-hour clock.
QString clockDisplayText(const QDateTime& now);

// Characters first..first+length-1 (1-based) of a reply; shorter or empty
// when the reply ends sooner, never past its end.
QByteArray replyField(const QByteArray& reply, int first, int length);

// The modes the reader can be switched to.
enum class ReaderMode
{
    Online,
    ProxDump,
    Collection
};
// The command that switches the reader to a mode: "|1", "|2", "|5".
QByteArray modeCommand(ReaderMode mode);

// Whole hours to shift the clock by, as typed; nothing when empty or above 24.
std::optional<int> hoursToShift(const QString& typed);

// "+" yymmddhhmmss and the weekday digit (Monday 1 .. Sunday 7) of the given
// time shifted by the hours, forward or back, across days and years.
QByteArray setTimeCommand(const QDateTime& now, int hours, bool add);

// A "t" reply yymmddhhmmss shown as 20yy-mm-dd hh:mm:ss, not validated.
QString readerTimeText(const QByteArray& reply);

struct MemoryUsage
{
    QString totalSlots;
    QString usedSlots;
    QString uploaded;
};
// A "z" reply: characters 1-5, 6-10 and 16-20.
MemoryUsage memoryUsage(const QByteArray& reply);

QString uploadProgressText(qint64 records);
QString uploadCompleteText(qint64 records);

} // namespace utilitycommands

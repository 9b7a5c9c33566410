#include "SimUtilities.h"

#include <algorithm>

namespace sim {

namespace {

const QByteArray kAccepted = "OK";
const QByteArray kRefused = "?";
const QByteArray kTimeAccepted = "O";
const QByteArray kEndOfLog = "END";
constexpr int kFieldDigits = 5;

QDateTime wallClockNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return QDateTime(now.date(), now.time(), Qt::UTC);
}

QByteArray field(int value)
{
    return QByteArray::number(value).rightJustified(kFieldDigits, '0').right(kFieldDigits);
}

bool allDigits(const QByteArray& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

SimUtilities::SimUtilities(SimReader& reader) : m_reader(reader)
{
    setClock(wallClockNow());

    reader.addCommand("t", [this](const QByteArray&) {
        return std::optional(clock().toString(QStringLiteral("yyMMddHHmmss")).toLatin1());
    });
    reader.addCommand("+",
                      [this](const QByteArray& argument) { return setClockCommand(argument); });
    reader.addCommand("|", [this](const QByteArray& argument) {
        if (argument != "1" && argument != "2" && argument != "5")
            return std::optional(kRefused);
        m_mode = argument.toInt();
        return std::optional(kAccepted);
    });
    reader.addCommand("z", [this](const QByteArray&) { return std::optional(memoryReply()); });
    reader.addCommand("lr", [this](const QByteArray&) {
        m_uploaded = 0;
        m_requests = 0;
        return std::optional(kAccepted);
    });
    reader.addCommand("l", [this](const QByteArray& argument) { return nextRecord(argument); });
    reader.addCommand("lc", [this](const QByteArray&) {
        m_log.clear();
        m_uploaded = 0;
        return std::optional(kAccepted);
    });
    // Restart arrives as NUL "X"; the programming commands "X073" and on are longer.
    reader.addCommand("X", [this](const QByteArray& argument) -> std::optional<QByteArray> {
        if (!argument.isEmpty())
            return kRefused;
        ++m_restartCount;
        return std::nullopt;
    });
}

QDateTime SimUtilities::clock() const
{
    return m_clockBase.addMSecs(m_clockRunning.elapsed());
}

void SimUtilities::setClock(const QDateTime& wallTime)
{
    m_clockBase = QDateTime(wallTime.date(), wallTime.time(), Qt::UTC);
    m_clockRunning.start();
}

std::optional<QByteArray> SimUtilities::setClockCommand(const QByteArray& argument)
{
    // yymmddhhmmss and the weekday, Monday 1 to Sunday 7, which must fit the date.
    if (argument.size() != 13 || !allDigits(argument))
        return kRefused;
    const QDate date(2000 + argument.mid(0, 2).toInt(), argument.mid(2, 2).toInt(),
                     argument.mid(4, 2).toInt());
    const QTime time(argument.mid(6, 2).toInt(), argument.mid(8, 2).toInt(),
                     argument.mid(10, 2).toInt());
    if (!date.isValid() || !time.isValid() || date.dayOfWeek() != argument.mid(12, 1).toInt())
        return kRefused;
    setClock(QDateTime(date, time, Qt::UTC));
    return kTimeAccepted;
}

std::optional<QByteArray> SimUtilities::nextRecord(const QByteArray& argument)
{
    if (!argument.isEmpty())
        return kRefused;
    ++m_requests;
    if (m_requests == m_dropOnRequest) {
        m_reader.dropCommandLink();
        return std::nullopt;
    }
    if (m_requests == m_silentOnRequest)
        return std::nullopt;
    if (m_uploaded >= m_log.size())
        return kEndOfLog;
    return m_log.at(m_uploaded++);
}

QByteArray SimUtilities::memoryReply() const
{
    // Total slots, used slots, five reserved digits, records uploaded since "lr".
    const int used = int(m_log.size());
    return field(std::max(m_totalSlots, used)) + field(used) + field(0) + field(m_uploaded);
}

void SimUtilities::fillLog(int count)
{
    m_log.clear();
    m_log.reserve(count);
    for (int number = 1; number <= count; ++number)
        m_log.append(sampleRecord(number));
    m_uploaded = 0;
}

QByteArray SimUtilities::sampleRecord(int number)
{
    // Sequence, time of the read, card number, door: shaped like a reader's own record.
    const QDateTime when = QDateTime(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC).addSecs(number * 37);
    const quint32 card = 1000000u + quint32(number) * 7919u % 8999999u;
    return QByteArray::number(number).rightJustified(6, '0') + ' ' +
           when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + ' ' +
           QByteArray::number(card).rightJustified(10, '0') + " 01";
}

} // namespace sim

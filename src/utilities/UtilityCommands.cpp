#include "UtilityCommands.h"

namespace utilitycommands {

namespace {
constexpr int kMaxHours = 24;
}

QString clockDisplayText(const QDateTime& now)
{
    return QStringLiteral("Current Date/Time: ") +
           now.toString(QStringLiteral("yyyy-MM-dd  HH:mm:ss"));
}

QByteArray replyField(const QByteArray& reply, int first, int length)
{
    if (first < 1 || length <= 0 || first > reply.size())
        return {};
    return reply.mid(first - 1, length);
}

QByteArray modeCommand(ReaderMode mode)
{
    switch (mode) {
    case ReaderMode::Online:
        return "|1";
    case ReaderMode::ProxDump:
        return "|2";
    case ReaderMode::Collection:
        return "|5";
    }
    return {};
}

std::optional<int> hoursToShift(const QString& typed)
{
    // At most a few digits can be typed; anything longer is as out of range as 25.
    if (typed.isEmpty() || typed.size() > 5)
        return std::nullopt;
    bool ok = false;
    const int hours = typed.toInt(&ok);
    if (!ok || hours < 0 || hours > kMaxHours)
        return std::nullopt;
    return hours;
}

QByteArray setTimeCommand(const QDateTime& now, int hours, bool add)
{
    // Wall-clock arithmetic: the reader has no time zone, so a daylight-saving
    // change between now and then must not move the result by an hour.
    const QDateTime wall(now.date(), now.time(), Qt::UTC);
    const QDateTime when = wall.addSecs(qint64(add ? hours : -hours) * 3600);
    const QString digits = when.toString(QStringLiteral("yyyyMMdd")).right(6) +
                           when.toString(QStringLiteral("HHmmss"));
    // Qt numbers the days as the reader does: Monday 1 to Sunday 7.
    return '+' + digits.toLatin1() + QByteArray::number(when.date().dayOfWeek());
}

QString readerTimeText(const QByteArray& reply)
{
    const auto field = [&reply](int first) {
        return QString::fromLatin1(replyField(reply, first, 2));
    };
    return QStringLiteral("20") + field(1) + QLatin1Char('-') + field(3) + QLatin1Char('-') +
           field(5) + QLatin1Char(' ') + field(7) + QLatin1Char(':') + field(9) + QLatin1Char(':') +
           field(11);
}

MemoryUsage memoryUsage(const QByteArray& reply)
{
    return {QString::fromLatin1(replyField(reply, 1, 5)),
            QString::fromLatin1(replyField(reply, 6, 5)),
            QString::fromLatin1(replyField(reply, 16, 5))};
}

QString uploadProgressText(qint64 records)
{
    return QStringLiteral("Transactions uploaded: ") + signedNumberText(records);
}

QString uploadCompleteText(qint64 records)
{
    return QStringLiteral("Upload complete, ") + signedNumberText(records) +
           QStringLiteral(" transactions received ");
}

} // namespace utilitycommands

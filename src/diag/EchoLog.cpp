#include "EchoLog.h"

#include "EchoTest.h"
#include "core/AppState.h"

#include <QElapsedTimer>

#include <algorithm>

EchoLog::EchoLog(QObject* parent) : QAbstractListModel(parent)
{
    m_announce.setSingleShot(true);
    m_announce.setInterval(kAnnounceMs);
    connect(&m_announce, &QTimer::timeout, this, &EchoLog::announce);
}

void EchoLog::add(const Line& line)
{
    m_lines.push_back(line);
    if (!m_announce.isActive())
        m_announce.start();
}

void EchoLog::addFirst(bool tcp)
{
    add({0, tcp ? Kind::FirstTcp : Kind::FirstSerial, 0, 0});
}

void EchoLog::addTimeout(std::int64_t charsSent)
{
    add({charsSent, Kind::Timeout, 0, 0});
}

void EchoLog::addBadEcho(std::int64_t charsSent, std::uint8_t expected, std::uint8_t received)
{
    add({charsSent, Kind::BadEcho, expected, received});
}

void EchoLog::addLinkClosed(std::int64_t charsSent)
{
    add({charsSent, Kind::LinkClosed, 0, 0});
}

void EchoLog::addEnd(std::int64_t charsSent)
{
    add({charsSent, Kind::End, 0, 0});
}

void EchoLog::addSummary(const echotest::Tally& tally)
{
    m_tally = tally;
    add({tally.charsSent, Kind::Summary, 0, 0});
}

void EchoLog::addLeftEchoing()
{
    add({0, Kind::LeftEchoing, 0, 0});
}

void EchoLog::addBusy()
{
    add({0, Kind::Busy, 0, 0});
}

void EchoLog::clear()
{
    m_announce.stop();
    m_announce.setInterval(kAnnounceMs);
    beginResetModel();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_shown = 0;
    endResetModel();
}

void EchoLog::announce()
{
    m_announce.stop();
    const int total = int(m_lines.size());
    if (total == m_shown)
        return;
    QElapsedTimer busy;
    busy.start();
    beginInsertRows({}, m_shown, total - 1);
    m_shown = total;
    endInsertRows();
    emit linesShown();
    m_announce.setInterval(
        int(std::max<qint64>(kAnnounceMs, busy.elapsed() * (kQuietPerBusy + 1))));
}

int EchoLog::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_shown;
}

QVariant EchoLog::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_shown ||
        (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    return textOf(m_lines[size_t(index.row())]);
}

QString EchoLog::textOf(const Line& line) const
{
    switch (line.kind) {
    case Kind::FirstSerial:
        return echotest::firstLine(false);
    case Kind::FirstTcp:
        return echotest::firstLine(true);
    case Kind::Timeout:
        return echotest::timeoutLine(line.charsSent);
    case Kind::BadEcho:
        return echotest::badEchoLine(line.charsSent, line.expected, line.received);
    case Kind::LinkClosed:
        return echotest::linkClosedLine(line.charsSent);
    case Kind::End:
        return echotest::endLine(line.charsSent);
    case Kind::Summary:
        return echotest::summaryLine(m_tally);
    case Kind::LeftEchoing:
        return echotest::leftEchoingLine();
    case Kind::Busy:
        return kOperationRunningText;
    }
    return {};
}

#pragma once

#include "EchoTest.h"

#include <QAbstractListModel>
#include <QTimer>

#include <cstdint>
#include <vector>

// The echo test's list. A full run with a faulty reader gives a line for each
// of its 512,000 characters, so a line is kept as a few bytes and its text
// made when shown. A list view lays out every row again whenever rows are
// added, so the view hears of new lines in batches: at most every
// kAnnounceMs, and never more often than keeps that work to about a tenth of
// the time however long the list grows.
class EchoLog : public QAbstractListModel
{
    Q_OBJECT
public:
    static constexpr int kAnnounceMs = 100;
    static constexpr int kQuietPerBusy = 10;

    explicit EchoLog(QObject* parent = nullptr);

    void addFirst(bool tcp);
    void addTimeout(std::int64_t charsSent);
    void addBadEcho(std::int64_t charsSent, std::uint8_t expected, std::uint8_t received);
    void addLinkClosed(std::int64_t charsSent);
    void addEnd(std::int64_t charsSent);
    // The run in figures, once, after its end line.
    void addSummary(const echotest::Tally& tally);
    void addLeftEchoing();
    // A start refused while another reader operation runs.
    void addBusy();
    void clear();
    // Tells the view of every line added so far.
    void announce();

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

signals:
    // Lines were added to the view.
    void linesShown();

private:
    enum class Kind : std::uint8_t
    {
        FirstSerial,
        FirstTcp,
        Timeout,
        BadEcho,
        LinkClosed,
        End,
        Summary,
        LeftEchoing,
        Busy
    };
    struct Line
    {
        std::int64_t charsSent;
        Kind kind;
        std::uint8_t expected;
        std::uint8_t received;
    };
    void add(const Line& line);
    QString textOf(const Line& line) const;

    std::vector<Line> m_lines;
    echotest::Tally m_tally;
    // Lines the view knows of.
    int m_shown = 0;
    QTimer m_announce;
};

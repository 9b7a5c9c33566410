#pragma once

#include "ProgrammingRun.h"
#include "config/Profile.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Programming many readers over TCP with one profile, without windows.
namespace batch {

// The TCP port of the communications window's start values.
inline constexpr quint16 kDefaultReaderPort = 57;

struct Reader
{
    QString host;
    quint16 port = kDefaultReaderPort;
};

struct Outcome
{
    Reader reader;
    bool connected = false;
    ProgrammingResult result;
    double seconds = 0;

    bool programmed() const
    {
        return connected && result.outcome == ProgrammingResult::Outcome::Programmed;
    }
    // "programmed", "validation failed", "no connection", "no reply to step N", ...
    QString resultText() const;
};

// "HOST" or "HOST:PORT"; an IPv6 address goes in brackets: "[::1]:5757".
std::optional<Reader> parseReader(const QString& text);
// One reader a line; blank lines and lines starting with # are skipped.
// Bad lines are reported in errors, with their line numbers.
QList<Reader> parseReaderList(const QString& text, QStringList* errors);

// The report's first line, and one row a reader: address, port, the "V"
// reply, result, seconds taken. Each ends with a line end.
QByteArray csvHeader();
QByteArray csvRow(const Outcome& outcome);

// The batch's time limit for a connection: the communications window's
// thirty 100 ms sleeps, with the socket's own signal ending the wait at once.
inline constexpr int kConnectLimitMs = 3000;

struct Timing
{
    int connectLimitMs = kConnectLimitMs;
};

// Works through the readers with up to `jobs` of them at a time, each job
// on a thread of its own with its own link and reply timer, so that a silent
// reader holds up nobody else. Serves the calling thread's event loop
// meanwhile. onFinished is called on the calling thread as each reader ends,
// with the count done so far; outcomes are handed over there and not kept.
// Returns how many were programmed.
int programReaders(const QList<Reader>& readers, const Profile& profile, int jobs,
                   const std::function<void(const Outcome&, int done)>& onFinished,
                   const Timing& timing = {});

} // namespace batch

#pragma once

#include "config/Profile.h"

#include <QByteArray>
#include <QDateTime>
#include <QFileDevice>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Work on many readers over TCP without windows: identify them, program
// them, set their clocks, collect their transactions, flash their firmware.
namespace batch {

// The TCP port of the communications window's start values.
inline constexpr quint16 kDefaultReaderPort = 57;

struct Reader
{
    QString host;
    quint16 port = kDefaultReaderPort;

    // "HOST:PORT", an IPv6 address in brackets: "[::1]:6100".
    QString address() const;
};

// "HOST" or "HOST:PORT"; an IPv6 address goes in brackets: "[::1]:5757".
std::optional<Reader> parseReader(const QString& text);
// One reader a line; blank lines and lines starting with # are skipped.
// Bad lines are reported in errors, with their line numbers.
QList<Reader> parseReaderList(const QString& text, QStringList* errors);

// What is done to every reader, always in this order, each step only after
// the one before it succeeded: identify, program, set the clock, collect the
// transactions, clear the log, flash.
struct Work
{
    bool identify = false;
    std::optional<Profile> profile; // program the reader with it
    bool setTime = false;
    QString collectFolder; // collect into this folder when not empty
    bool clearAfter = false;
    QByteArray image; // flash it when not empty
    QString imageName;
    // When the run began; part of each collected file's name.
    QDateTime started = QDateTime::currentDateTime();

    bool collects() const { return !collectFolder.isEmpty(); }
    bool flashes() const { return !image.isEmpty(); }
    // "Programming and setting the clock of", for the run's first line.
    QString activity() const;
    // What a reader that went through all of it is: "programmed, clock set".
    QString accomplished() const;
};

struct Outcome
{
    Reader reader;
    bool done = false; // every step succeeded
    // accomplished() when done, else what went wrong: "no connection",
    // "no reply to step 11", "set time answered "?"", ...
    QString result;
    QByteArray version; // the reader's answer to "V"
    QString clockSet;   // the time the reader's clock was set to
    qint64 records = 0; // records written to the file
    QString file;       // the file the records went to
    bool flashed = false;
    double seconds = 0;
};

// The report's first line, and one row a reader: address, port, the "V"
// reply, result, seconds taken, then the columns of the work's steps: the
// clock set, records and file collected, image flashed. Each ends with a
// line end.
QByteArray csvHeader(const Work& work);
QByteArray csvRow(const Outcome& outcome, const Work& work);

// Why a file took less than it was given: a file that takes only part of a
// write says nothing, which on a disk means it is full.
QString writeProblem(const QFileDevice& file);

// Every time limit and pause of the run is multiplied by scale: the
// connect limit, the reply time-out, the download's pauses and time-outs.
struct Timing
{
    double scale = 1.0;
};

// The batch's time limit for a connection: the communications window's
// thirty 100 ms sleeps, with the socket's own signal ending the wait at once.
inline constexpr int kConnectLimitMs = 3000;

// Works through the readers with up to `jobs` of them at a time, each job
// on a thread of its own with its own link and time limits, so that a silent
// reader holds up nobody else. Serves the calling thread's event loop
// meanwhile. onFinished is called on the calling thread as each reader ends,
// with the count done so far; outcomes are handed over there and not kept.
// Returns how many readers went through all of the work.
int runReaders(const QList<Reader>& readers, const Work& work, int jobs,
               const std::function<void(const Outcome&, int done)>& onFinished,
               const Timing& timing = {});

} // namespace batch

#pragma once

class QCommandLineParser;
class QTextStream;

// The command line of work on many readers: karvel-utility with one or more
// of --identify, --program PROFILE, --set-time, --collect DIR [--clear-after]
// or --flash IMAGE, for the readers of --reader HOST[:PORT] ... and
// --readers FILE, with [--report FILE] [--jobs N].
namespace batch {

inline constexpr int kDefaultJobs = 16;
// Each job is a thread with a connection of its own.
inline constexpr int kMaxJobs = 256;

// Exit statuses: every reader went through all of the work; some reader did
// not; the run could not start.
inline constexpr int kAllDone = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsageError = 2;

void addCommandLineOptions(QCommandLineParser& parser);
// Whether any option of this command line is given: the program then works
// without windows, or refuses the command line.
bool requested(const QCommandLineParser& parser);
// Runs the work the options describe, reporting on out and err; the report
// file gets each reader's row as the reader ends. Refuses with kUsageError,
// before any reader is contacted, whatever cannot work.
int runFromCommandLine(const QCommandLineParser& parser, QTextStream& out, QTextStream& err);

} // namespace batch

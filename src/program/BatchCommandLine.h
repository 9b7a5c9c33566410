#pragma once

#include "BatchProgramming.h"

class QCommandLineParser;
class QTextStream;

// The command line of batch programming: karvel-utility --program PROFILE
// --reader HOST[:PORT] ... [--readers FILE] [--report FILE] [--jobs N].
namespace batch {

inline constexpr int kDefaultJobs = 16;

// Exit statuses: every reader programmed; some reader not; the run could not start.
inline constexpr int kAllProgrammed = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsageError = 2;

void addCommandLineOptions(QCommandLineParser& parser);
bool requested(const QCommandLineParser& parser);
// Runs the batch the options describe, reporting on out and err; the
// report file gets each reader's row as the reader ends.
int runFromCommandLine(const QCommandLineParser& parser, QTextStream& out, QTextStream& err,
                       const Timing& timing = {});

} // namespace batch

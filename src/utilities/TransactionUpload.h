#pragma once

#include <QByteArray>

#include <functional>

struct AppState;
class CommandChannel;
class QIODevice;

// The record loop of the transaction upload, shared by the utilities window
// and the command line: the bytes on the wire and in the file are the same.
namespace transactionupload {

enum class Outcome
{
    Complete,   // "END" came: every record the reader holds is in the file
    NoReply,    // a reply did not come in time
    LinkLost,   // a request could not be sent, or the link closed during the wait
    NotWritten, // the file refused a record
};

struct Result
{
    Outcome outcome = Outcome::Complete;
    // Records written whole; a file loses the part of a record it refused.
    qint64 records = 0;
};

// Asks for one record after the other with "l" until the reader answers
// "END", writing each reply as a line ended CR LF as it comes. onRecord
// hears the count after each record written.
Result receiveRecords(CommandChannel& channel, const AppState& state, QIODevice& file,
                      const std::function<void(qint64 records)>& onRecord = {});

} // namespace transactionupload

#include "TransactionUpload.h"

#include "comm/CommandChannel.h"
#include "comm/Link.h"
#include "core/AppState.h"

#include <QFileDevice>

namespace transactionupload {

Result receiveRecords(CommandChannel& channel, const AppState& state, QIODevice& file,
                      const std::function<void(qint64 records)>& onRecord)
{
    Result result;
    for (;;) {
        channel.sendReaderCommand("l");
        if (state.sendFailed) {
            result.outcome = Outcome::LinkLost;
            return result;
        }
        const auto [reply, timedOut] = channel.readReaderLine();
        if (timedOut) {
            // The wait also ends when the reader closes the link.
            result.outcome = channel.activeLink().isOpen() ? Outcome::NoReply : Outcome::LinkLost;
            return result;
        }
        if (reply == "END")
            return result;
        const QByteArray line = reply + "\r\n";
        const qint64 before = file.pos();
        if (file.write(line) != line.size()) {
            // A record written in part would read as a record of its own.
            if (auto* onDisk = qobject_cast<QFileDevice*>(&file))
                onDisk->resize(before);
            result.outcome = Outcome::NotWritten;
            return result;
        }
        ++result.records;
        if (onRecord)
            onRecord(result.records);
    }
}

} // namespace transactionupload

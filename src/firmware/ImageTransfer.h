#pragma once

#include "DownloadProtocol.h"

#include <QDate>
#include <QString>

#include <functional>

class Link;
class QIODevice;
namespace eventwait {
class Deadline;
}

namespace download {

struct TransferOutcome
{
    enum Kind
    {
        Complete,
        Failed,
        Closing, // the program is ending: nothing is reported
    } kind = Complete;
    Failure failure = Failure::LinkLost;
    QString detail;
    // Where the transfer stood when it ended.
    Stage stage = Stage::Handshake;
};

// One image sent over an open link with the block protocol, for the download
// windows and the command line alike: the attention sequence, the pause, the
// start command and its ready reply, each block and its acknowledgement, the
// end marker with the trailer and date stamp, and the final acknowledgement.
class ImageTransfer
{
public:
    // Every pause and wait runs on deadline; closing ends them at once.
    ImageTransfer(Link& link, eventwait::Deadline& deadline, const bool& closing);

    // Pauses and time-outs are multiplied by these.
    void setTimeScale(double pauses, double timeouts);
    // The date stamp's date, asked for when the stamp is sent; today by default.
    void setDateSource(std::function<QDate()> today);
    // Hears each status text as the transfer goes.
    void setStatusSink(std::function<void(const QString&)> sink);

    // Sends the image from its start. imageName names it in a failure's detail.
    TransferOutcome run(QIODevice& image, const QString& imageName, const Parameters& p, bool tcp);

private:
    enum class Wait
    {
        Done,
        TimedOut,
        Wrong,
        LinkLost,
        Closing,
    };

    TransferOutcome sendImage(QIODevice& image, const QString& imageName);
    // Waits for received bytes under the armed deadline: serial one
    // character, TCP everything pending.
    Wait awaitBytes(QByteArray& got);
    // The exact ready reply after the start command.
    Wait awaitReady();
    // The acknowledgement of a block, the end or an FF group: serial reads
    // one character, TCP reads all pending bytes and looks at the first.
    Wait awaitAck(char expected, int timeoutMs);
    int scaled(int ms, double factor) const;
    void setStatus(const QString& text);
    TransferOutcome failed(Failure failure, const QString& detail = QString()) const;
    TransferOutcome fromWait(Wait wait, Failure refused) const;

    Link& m_link;
    eventwait::Deadline& m_deadline;
    const bool& m_closing;
    Parameters m_p;
    bool m_tcp = true;
    Stage m_stage = Stage::Handshake;
    double m_pauseScale = 1.0;
    double m_timeoutScale = 1.0;
    std::function<QDate()> m_today;
    std::function<void(const QString&)> m_status;
};

} // namespace download

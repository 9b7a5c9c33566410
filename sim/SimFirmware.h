#pragma once

#include "SimReader.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>

#include <optional>

namespace sim {

// One image as the reader's loader took it in.
struct FirmwareImage
{
    QByteArray startCommand; // "B" (firmware, or the extension over TCP) or "w"
    QByteArray data;         // the blocks' data in order; empty when data is not kept
    qint64 dataLength = 0;
    int blocks = 0;
    QByteArray trailer;
    QByteArray dateStamp;
    int ffGroups = 0;
    bool complete = false; // the final "B" went out
};

// Ways the loader can misbehave, for the failure paths.
struct DownloadFaults
{
    // Answer to the start command instead of the right one; empty: no answer at all.
    std::optional<QByteArray> readyReply;
    // At 0 or more: the ready reply goes out in two pieces this many ms apart.
    int readySplitMs = -1;
    // Sent as soon as the attention sequence is in, before the start command.
    QByteArray afterAttention;

    enum BlockFault
    {
        None,
        NoAck,
        WrongAck,
        LateAck,
        DropLink
    };
    BlockFault blockFault = None;
    int faultBlock = 0; // 1-based number of the block the fault hits
    int lateMs = 0;
    // Sent after every block acknowledgement.
    QByteArray afterAck;
    // No final "B": 0 after the end (and trailer), 1 or 2 after that FF group.
    int silentFinal = -1;
};

// The reader's loader: after the attention sequence 00 1B 0D 00 1B 0D it takes
// "B" (answered "TK") or "w" (answered "YK"), then blocks of a length byte, data
// and XOR check byte, each answered "K", up to an end marker 00. After "B" follow
// the 44-byte trailer and an eight-digit date, answered "B", and on the TCP link
// optionally two groups of 52 FF bytes, each answered "B". After "w" the end
// marker is answered "B" at once.
class SimFirmware : public QObject
{
    Q_OBJECT
public:
    explicit SimFirmware(SimReader& reader, QObject* parent = nullptr);

    DownloadFaults& faults() { return m_faults; }
    // Off for large images when only the figures matter.
    void setKeepData(bool keep) { m_keepData = keep; }
    // Every download begun since construction or clearImages(), oldest first.
    const QList<FirmwareImage>& images() const { return m_images; }
    void clearImages() { m_images.clear(); }
    // Back to command mode wherever the loader stood, as after a power cycle.
    void restart() { leave(); }

signals:
    void attentionReceived();
    void imageComplete(const sim::FirmwareImage& image);
    // A fault kept back an answer that a working loader gives at once: to the
    // start command, a block or the end. A late answer still follows.
    void heldBack();

private:
    enum class Phase
    {
        Start,
        Length,
        Data,
        Check,
        Trailer,
        FfGroup,
    };

    // A "B" or "w" after the attention sequence starts a download.
    void onAttentionByte(char byte, const QObject* link);
    void consume(const QByteArray& bytes, const QObject* link);
    // Takes one byte; false hands it and the rest back to the command parser.
    bool take(char byte);
    bool start(char command);
    void blockDone();
    void finish(int stage);
    void leave();
    void send(const QByteArray& bytes, int delayMs = 0);
    FirmwareImage& image() { return m_images.last(); }

    QPointer<SimReader> m_reader;
    DownloadFaults m_faults;
    bool m_keepData = true;
    QList<FirmwareImage> m_images;

    bool m_active = false;
    const QObject* m_link = nullptr;
    Phase m_phase = Phase::Start;
    int m_expected = 0;
    QByteArray m_buffer;
    quint8 m_check = 0;
};

} // namespace sim

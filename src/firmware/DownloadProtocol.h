#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>

#include <cstdint>

// The block protocol that carries a firmware image or a bootloader extension
// to the reader, kept apart from any window or link.
namespace download {

constexpr int kTrailerBytes = 44;
constexpr int kGroupBytes = 52;
constexpr char kBlockAck = 'K';
constexpr char kFinalAck = 'B';

enum class Variant
{
    Firmware,      // the firmware download window
    BootExtension, // the bootloader extension window
};

// Everything that differs between the two windows and the two links.
struct Parameters
{
    int trailerBytes = kTrailerBytes; // held back from the blocks and sent after the end marker
    int pauseMs = 0;                  // after the attention sequence
    QByteArray startCommand;
    QByteArray readyReply;
    int readyTimeoutMs = 10000;
    int blockSize = 50;
    int ackTimeoutMs = 10000;
    int finalTimeoutMs = 10000;
    bool trailerAndDate = true;
    int ffGroups = 0; // groups of 52 FF bytes, each answered by the final acknowledgement
    bool hundredAtLastBlock = true; // "Downloading - 100 % complete" when the last block starts
    bool clearStatusOnError = false;
    bool errorCodes = false; // serial messages carry the stage number
};

Parameters parametersFor(Variant variant, bool tcp);

// Length byte, data, XOR of the data. Data of 1 to 255 bytes.
QByteArray frameBlock(QByteArrayView data);
std::uint8_t checkByte(QByteArrayView data);

// Eight digits, month, day, year.
QByteArray dateStamp(const QDate& date);

// Status text after an acknowledged full block. The two digits are the
// hundredths of acked / dataLength; a ratio that would round up to one shows 99,
// since "100 %" is kept for the last block.
QString progressText(qint64 acked, qint64 dataLength);
QString completeText();

// Stage of a serial download a failure is reported with.
enum class Stage : std::int16_t
{
    Handshake = 1,
    FullBlock = 2,
    LastBlock = 3,
    Final = 4,
};

enum class Failure
{
    ReadyTimeout,    // no exact ready reply in time
    NotAcknowledged, // a block, the end or an FF group without its acknowledgement
    EarlyEnd,        // the image's data part ended before its length
    FileUnreadable,
    LinkLost,
};

// The message box text of a failed download. detail names the file or the
// system's reason where the failure has one.
QString failureMessage(Failure failure, bool errorCodes, Stage stage,
                       const QString& detail = QString());

} // namespace download

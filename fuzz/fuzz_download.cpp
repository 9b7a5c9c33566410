// The block framing of a firmware or bootloader extension download: an image
// of any content cut into blocks as each window and link does, and read back
// as the reader's loader reads it (length, data, XOR check, until a zero
// length), gives back the image's data part exactly; the progress shown
// never goes back and keeps "100 %" for the end.
#include "FuzzApp.h"

#include "firmware/DownloadProtocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QRegularExpression>

#include <cstdio>

namespace {

using namespace download;

// The data of every block up to the end marker; fails on a spoilt block.
QByteArray readBlocks(const QByteArray& stream, qsizetype& at, int& blocks)
{
    QByteArray data;
    for (;;) {
        FUZZ_CHECK(at < stream.size());
        const int length = quint8(stream[at++]);
        if (length == 0)
            return data;
        FUZZ_CHECK(at + length + 1 <= stream.size());
        const QByteArray block = stream.mid(at, length);
        std::uint8_t check = 0;
        for (const char byte : block)
            check ^= std::uint8_t(byte);
        FUZZ_CHECK(std::uint8_t(stream[at + length]) == check);
        data += block;
        at += length + 1;
        ++blocks;
    }
}

int percentShown(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^Downloading - (\\d\\d) % complete$"));
    const QRegularExpressionMatch match = pattern.match(text);
    FUZZ_CHECK(match.hasMatch());
    return match.captured(1).toInt();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const Variant variant = input.ConsumeBool() ? Variant::Firmware : Variant::BootExtension;
    const bool tcp = input.ConsumeBool();
    const Parameters p = parametersFor(variant, tcp);
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const QByteArray image(bytes.data(), qsizetype(bytes.size()));

    const qsizetype dataLength = image.size() - p.trailerBytes;
    if (dataLength <= 0)
        return 0; // nothing to send: "Early end of binary file"

    // What goes out after the ready reply, block by block, then the end.
    QByteArray stream;
    int lastPercent = 0;
    for (qsizetype sent = 0; sent < dataLength; sent += p.blockSize) {
        const QByteArray block =
            image.mid(sent, std::min<qsizetype>(p.blockSize, dataLength - sent));
        const QByteArray frame = frameBlock(block);
        FUZZ_CHECK(frame.size() == block.size() + 2);
        stream += frame;
        if (sent + p.blockSize < dataLength) {
            const int percent = percentShown(progressText(sent + p.blockSize, dataLength));
            FUZZ_CHECK(percent >= lastPercent && percent <= 99);
            lastPercent = percent;
        }
    }
    stream += '\0';
    if (p.trailerAndDate)
        stream += image.right(p.trailerBytes) + dateStamp(QDate(2024, 2, 29));

    qsizetype at = 0;
    int blocks = 0;
    FUZZ_CHECK(readBlocks(stream, at, blocks) == image.left(dataLength));
    FUZZ_CHECK(blocks == (dataLength + p.blockSize - 1) / p.blockSize);
    const QByteArray ending = stream.mid(at);
    if (p.trailerAndDate)
        FUZZ_CHECK(ending == image.right(p.trailerBytes) + "02292024");
    else
        FUZZ_CHECK(ending.isEmpty());
    return 0;
}

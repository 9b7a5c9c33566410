// The firmware and bootloader extension downloads, window and all, sending an
// image of any content to a loader that reads the block framing as the
// reader does (length, data, XOR check, until a zero length). What the loader
// takes in is the image's data part, then its trailer and date stamp; the
// progress shown never goes back and keeps "100 %" for the end; a block the
// loader refuses ends the download with the message for its stage.
#include "FuzzApp.h"

#include "comm/CommandChannel.h"
#include "comm/Link.h"
#include "core/AppState.h"
#include "core/Dialogs.h"
#include "firmware/DownloadProtocol.h"
#include "firmware/DownloadWindow.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using namespace download;

class Answers : public Dialogs
{
public:
    bool askYesNo(const QString&, Answer) override { return true; }
    void inform(const QString& text) override { messages << text; }
    std::optional<QString> chooseOpenFile(const QString&) override { return std::nullopt; }
    std::optional<QString> chooseSaveFile(const QString&, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    QStringList messages;
};

// The reader's loader, answering at once and taking apart what it is sent.
class Loader : public Link
{
public:
    // Back to waiting for the attention sequence, with nothing taken in yet.
    void restart(const Parameters& p, int refusedBlock, const DownloadWindow& shownBy)
    {
        data.clear();
        ending.clear();
        blocks = ffGroups = 0;
        refused = finished = false;
        statusAtBlock.clear();
        m_phase = Phase::Attention;
        m_buffer.clear();
        m_replies.clear();
        m_p = p;
        m_refusedBlock = refusedBlock;
        window = &shownBy;
    }

    bool isOpen() const override { return true; }
    qint64 pending() const override { return m_replies.size(); }
    QByteArray read(qint64 maxBytes) override
    {
        const QByteArray bytes = m_replies.left(maxBytes);
        m_replies.remove(0, bytes.size());
        return bytes;
    }
    bool write(const QByteArray& bytes) override
    {
        for (const char byte : bytes)
            take(byte);
        return true;
    }

    QByteArray data;
    QByteArray ending; // trailer and date stamp
    int blocks = 0;
    int ffGroups = 0;
    bool refused = false;
    bool finished = false;
    QStringList statusAtBlock; // what the window showed as each block came in
    const DownloadWindow* window = nullptr;

private:
    enum class Phase
    {
        Attention,
        Start,
        Length,
        Data,
        Check,
        Ending,
        FfGroup,
        Done,
    };

    void take(char byte)
    {
        FUZZ_CHECK(!refused && m_phase != Phase::Done); // nothing after the end
        switch (m_phase) {
        case Phase::Attention:
            m_buffer += byte;
            FUZZ_CHECK(kAttentionSequence.startsWith(m_buffer));
            if (m_buffer == kAttentionSequence)
                m_phase = Phase::Start;
            return;
        case Phase::Start:
            FUZZ_CHECK(byte == m_p.startCommand.at(0));
            m_replies += m_p.readyReply;
            m_phase = Phase::Length;
            return;
        case Phase::Length:
            m_length = quint8(byte);
            m_buffer.clear();
            if (m_length > 0) {
                statusAtBlock << window->statusLine->text();
                m_phase = Phase::Data;
            } else if (m_p.trailerAndDate) {
                m_phase = Phase::Ending;
            } else {
                endAcknowledged();
            }
            return;
        case Phase::Data:
            m_buffer += byte;
            if (m_buffer.size() == m_length)
                m_phase = Phase::Check;
            return;
        case Phase::Check: {
            FUZZ_CHECK(quint8(byte) == checkByte(m_buffer));
            data += m_buffer;
            ++blocks;
            refused = blocks == m_refusedBlock;
            m_replies += refused ? 'E' : kBlockAck;
            m_phase = Phase::Length;
            return;
        }
        case Phase::Ending:
            ending += byte;
            if (ending.size() == m_p.trailerBytes + 8)
                endAcknowledged();
            return;
        case Phase::FfGroup:
            FUZZ_CHECK(byte == '\xff');
            m_buffer += byte;
            if (m_buffer.size() == kGroupBytes) {
                ++ffGroups;
                endAcknowledged();
            }
            return;
        case Phase::Done:
            return;
        }
    }

    void endAcknowledged()
    {
        m_replies += kFinalAck;
        m_buffer.clear();
        finished = ffGroups == m_p.ffGroups;
        m_phase = finished ? Phase::Done : Phase::FfGroup;
    }

    Parameters m_p;
    int m_refusedBlock = 0;
    Phase m_phase = Phase::Attention;
    QByteArray m_buffer;
    int m_length = 0;
    QByteArray m_replies;
};

// One of each window for the whole run, as a user downloads again and again.
struct Bench
{
    QTemporaryDir files;
    AppState state;
    Answers answers;
    Loader loader;
    CommandChannel channel{state, loader, loader};
    DownloadWindow firmware{state, channel, answers, nullptr, Variant::Firmware};
    DownloadWindow extension{state, channel, answers, nullptr, Variant::BootExtension};
};
Bench* bench = nullptr;

// -1 for a status line that is not a progress text.
int percentShown(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^Downloading - (\\d\\d\\d?) % complete$"));
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzApplication();
    bench = new Bench;
    for (DownloadWindow* window : {&bench->firmware, &bench->extension}) {
        window->setTimeScale(0, 1);
        window->setDateSource([] { return QDate(2024, 2, 29); });
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    FuzzedDataProvider input(bytes, size);
    const Variant variant = input.ConsumeBool() ? Variant::Firmware : Variant::BootExtension;
    const bool tcp = input.ConsumeBool();
    const int refusedBlock = input.ConsumeIntegral<std::uint8_t>();
    const std::string content = input.ConsumeRemainingBytesAsString();
    const QByteArray image(content.data(), qsizetype(content.size()));

    const QString path = bench->files.filePath(QStringLiteral("image.bin"));
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
               file.write(image) == image.size());
    file.close();

    AppState& state = bench->state;
    state.chosenLink = tcp ? LinkKind::Tcp : LinkKind::Serial;
    state.connection = ConnectionState::Connected;
    state.connectedLink = state.chosenLink;
    state.connectedBaudRate = tcp ? 0 : 9600;
    const Parameters p = parametersFor(variant, tcp);
    DownloadWindow& window = variant == Variant::Firmware ? bench->firmware : bench->extension;
    Loader& loader = bench->loader;
    loader.restart(p, refusedBlock, window);
    Answers& answers = bench->answers;
    answers.messages.clear();
    window.chosenFile = path;
    window.startDownload();

    const qsizetype dataLength = image.size() - p.trailerBytes;
    const qsizetype blocks = dataLength <= 0 ? 0 : (dataLength + p.blockSize - 1) / p.blockSize;
    FUZZ_CHECK(answers.messages.size() == 1);
    if (dataLength <= 0) {
        FUZZ_CHECK(answers.messages.first() == QStringLiteral("Early end of binary file"));
        FUZZ_CHECK(loader.blocks == 0);
        return 0;
    }
    if (refusedBlock >= 1 && refusedBlock <= blocks) {
        // The refused block is the last one sent, and its stage is reported on serial.
        FUZZ_CHECK(loader.refused && loader.blocks == refusedBlock);
        QString expected = QStringLiteral("Download Error");
        if (!tcp)
            expected += refusedBlock == blocks ? QStringLiteral(", error code 3")
                                               : QStringLiteral(", error code 2");
        FUZZ_CHECK(answers.messages.first() == expected);
    } else {
        FUZZ_CHECK(answers.messages.first() == QStringLiteral("Download complete"));
        FUZZ_CHECK(loader.finished && loader.blocks == blocks);
        FUZZ_CHECK(loader.data == image.left(dataLength));
        if (p.trailerAndDate)
            FUZZ_CHECK(loader.ending == image.right(p.trailerBytes) + "02292024");
        FUZZ_CHECK(loader.ffGroups == p.ffGroups);
    }
    FUZZ_CHECK(loader.data == image.left(loader.data.size()));

    int shown = 0;
    for (qsizetype block = 0; block < loader.statusAtBlock.size(); ++block) {
        const int percent = percentShown(loader.statusAtBlock[block]);
        if (block == 0) {
            FUZZ_CHECK(loader.statusAtBlock[block] ==
                           QStringLiteral("Preparing to Download Flash") ||
                       (percent == 100 && blocks == 1));
            continue;
        }
        const bool last = block == blocks - 1;
        FUZZ_CHECK(percent >= shown && percent <= (last && p.hundredAtLastBlock ? 100 : 99));
        FUZZ_CHECK((percent == 100) == (last && p.hundredAtLastBlock));
        shown = percent;
    }
    return 0;
}

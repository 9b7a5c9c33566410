// What the utility takes from a reader's replies: the command channel cuts
// the byte stream into reply lines, however the link hands the bytes over,
// and the utilities window slices fields out of a line of any length.
#include "FuzzApp.h"

#include "comm/CommandChannel.h"
#include "comm/Link.h"
#include "core/AppState.h"
#include "utilities/UtilityCommands.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>

namespace {

using namespace utilitycommands;

void checkSlicing(FuzzedDataProvider& input)
{
    const int first = input.ConsumeIntegralInRange<int>(-2, 40);
    const int length = input.ConsumeIntegralInRange<int>(-2, 40);
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const QByteArray reply(bytes.data(), qsizetype(bytes.size()));

    const QByteArray field = replyField(reply, first, length);
    if (first >= 1 && length > 0 && first <= reply.size()) {
        FUZZ_CHECK(field.size() == std::min<qsizetype>(length, reply.size() - first + 1));
        FUZZ_CHECK(reply.mid(first - 1).startsWith(field));
    } else {
        FUZZ_CHECK(field.isEmpty());
    }

    // yymmddhhmmss as 20yy-mm-dd hh:mm:ss; a short reply gives short fields.
    const QString time = readerTimeText(reply);
    FUZZ_CHECK(time.size() <= 19 && time.startsWith(QStringLiteral("20")));
    if (reply.size() >= 12) {
        const QString digits = QString::fromLatin1(reply.left(12));
        FUZZ_CHECK(time == QStringLiteral("20%1-%2-%3 %4:%5:%6")
                               .arg(digits.mid(0, 2), digits.mid(2, 2), digits.mid(4, 2),
                                    digits.mid(6, 2), digits.mid(8, 2), digits.mid(10, 2)));
    }

    const MemoryUsage usage = memoryUsage(reply);
    FUZZ_CHECK(usage.totalSlots == QString::fromLatin1(reply.mid(0, 5)));
    FUZZ_CHECK(usage.usedSlots == QString::fromLatin1(reply.mid(5, 5)));
    FUZZ_CHECK(usage.uploaded == QString::fromLatin1(reply.mid(15, 5)));

    if (const std::optional<int> hours = hoursToShift(QString::fromLatin1(reply)))
        FUZZ_CHECK(*hours >= 0 && *hours <= 24);
}

// A link that hands over a fixed stream in pieces: the next piece arrives,
// as the next event, once the one before has been read up.
class PiecewiseLink : public Link
{
public:
    PiecewiseLink(QByteArray stream, QList<qsizetype> pieces)
        : m_stream(std::move(stream)), m_pieces(std::move(pieces))
    {
        deliver();
    }

    bool isOpen() const override { return m_read < m_stream.size(); }
    qint64 pending() const override { return m_delivered - m_read; }
    QByteArray read(qint64 maxBytes) override
    {
        const qint64 count = std::min(maxBytes, pending());
        const QByteArray bytes = m_stream.mid(m_read, count);
        m_read += count;
        if (pending() == 0 && m_delivered < m_stream.size())
            QMetaObject::invokeMethod(
                this, [this] { deliver(); }, Qt::QueuedConnection);
        return bytes;
    }
    bool write(const QByteArray& bytes) override
    {
        // What arrived before a command is never taken for its reply.
        FUZZ_CHECK(pending() == 0);
        written += bytes;
        return true;
    }

    qsizetype position() const { return m_read; }
    const QByteArray& stream() const { return m_stream; }
    QByteArray written;

private:
    void deliver()
    {
        const qsizetype piece = m_pieces.isEmpty() ? m_stream.size() : m_pieces.takeFirst();
        m_delivered = std::min<qsizetype>(m_stream.size(), m_delivered + piece);
    }

    QByteArray m_stream;
    QList<qsizetype> m_pieces;
    qsizetype m_delivered = 0;
    qsizetype m_read = 0;
};

void checkLineFraming(FuzzedDataProvider& input)
{
    AppState state;
    state.chosenLink = input.ConsumeBool() ? LinkKind::Tcp : LinkKind::Serial;
    state.connection = ConnectionState::Connected;
    state.connectedLink = state.chosenLink;
    QList<bool> operations; // true: send a command, false: read a reply line
    for (int count = input.ConsumeIntegralInRange(1, 8); count > 0; --count)
        operations << input.ConsumeBool();
    QList<qsizetype> pieces;
    for (int count = input.ConsumeIntegralInRange(0, 8); count > 0; --count)
        pieces << input.ConsumeIntegralInRange<qsizetype>(1, 64);
    // A peer that never sends CR: the same bytes many times over.
    const int repeats = input.ConsumeIntegralInRange(0, 3) == 3 ? 80 : 1;
    const std::string command = input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 4));
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const QByteArray stream = QByteArray(bytes.data(), qsizetype(bytes.size())).repeated(repeats);

    PiecewiseLink link(stream, pieces);
    PiecewiseLink unused({}, {});
    CommandChannel channel(state, state.isTcp() ? unused : link, state.isTcp() ? link : unused);
    for (const bool send : operations) {
        if (send) {
            const QByteArray text(command.data(), qsizetype(command.size()));
            link.written.clear();
            channel.sendReaderCommand(text);
            FUZZ_CHECK(!state.sendFailed && link.written == text + '\r');
            continue;
        }
        const qsizetype start = link.position();
        const auto [reply, timedOut] = channel.readReaderLine();
        const qsizetype end = link.position();
        const QByteArray taken = stream.mid(start, end - start);
        FUZZ_CHECK(!channel.replyDeadline().isArmed());
        if (!timedOut) {
            // One line: everything up to the first CR, the CR itself dropped.
            FUZZ_CHECK(taken.endsWith('\r') && taken.indexOf('\r') == taken.size() - 1);
            FUZZ_CHECK(reply == taken.chopped(1));
        } else if (end - start > CommandChannel::kMaxReplyBytes) {
            FUZZ_CHECK(!taken.contains('\r') && reply.isEmpty());
        } else {
            // Only the end of the stream ends a read without a CR.
            FUZZ_CHECK(!taken.contains('\r') && reply == taken && end == stream.size());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool())
        checkSlicing(input);
    else
        checkLineFraming(input);
    return 0;
}

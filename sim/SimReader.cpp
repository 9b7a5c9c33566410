#include "SimReader.h"

#include <algorithm>

namespace sim {

namespace {

const QByteArray unknownCommandReply = "?";
const QByteArray acceptedReply = "OK";

// The entry whose key is the longest prefix of text, so that "lr" can live beside "l".
template <typename T>
const T* longestPrefixMatch(const QMap<QByteArray, T>& table, const QByteArray& text,
                            QByteArray* matched = nullptr)
{
    const T* best = nullptr;
    qsizetype bestLength = -1;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it.key().size() > bestLength && text.startsWith(it.key())) {
            best = &it.value();
            bestLength = it.key().size();
            if (matched)
                *matched = it.key();
        }
    }
    return best;
}

QByteArray withoutLeadingNuls(const QByteArray& command)
{
    qsizetype start = 0;
    while (start < command.size() && command.at(start) == '\0')
        ++start;
    return command.mid(start);
}

} // namespace

SimReader::SimReader(QObject* parent) : QObject(parent)
{
    m_delayTimer.setSingleShot(true);
    m_delayTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_delayTimer, &QTimer::timeout, this, &SimReader::sendDue);
    m_clock.start();
    m_idleTimer.setSingleShot(true);
    m_idleTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_idleTimer, &QTimer::timeout, this, [this] { emit closeRequested(m_lastLink); });

    addHandler("V", [this](const QByteArray&) { return Reply(m_state.firmwareVersion); });

    // Programming commands and the length of the value each carries.
    addParameterCommand("X073", 5);
    addParameterCommand("X121", 3);
    addParameterCommand("X122", 6);
    for (const char* letters : {"X074", "X076", "X078", "X081", "X083", "X085"})
        addParameterCommand(letters, 15);
    for (const char* letters : {"X075", "X077", "X079"})
        addParameterCommand(letters, 12);
    for (const char* letters : {"X080", "X082", "X084"})
        addParameterCommand(letters, 10);
    addParameterCommand("\\", 5);
    addParameterCommand("g", 5);
    addParameterCommand("h", 10);

    // Reset arrives as NUL "U1"; a resetting reader has nothing to say.
    addHandler("U1", [this](const QByteArray&) {
        ++m_state.resetCount;
        return Reply();
    });
}

void SimReader::addHandler(const QByteArray& letters, Handler handler)
{
    m_handlers.insert(letters, std::move(handler));
}

void SimReader::addParameterCommand(const QByteArray& letters, int length)
{
    addHandler(letters, [this, letters, length](const QByteArray& argument) {
        // Kept even when malformed, so a test can see what the utility actually sent.
        m_state.parameters.insert(letters, argument);
        return Reply(argument.size() == length ? acceptedReply : unknownCommandReply);
    });
}

void SimReader::receive(const QByteArray& bytes, const QObject* link)
{
    m_received += bytes;
    emit bytesArrived(bytes);
    m_lastLink = link;
    if (m_idleTimer.interval() > 0)
        m_idleTimer.start();
    if (m_rawConsumer) {
        // A copy: the consumer may end its own mode while it runs.
        const RawConsumer consumer = m_rawConsumer;
        consumer(bytes, link);
        return;
    }
    parse(bytes, link);
}

void SimReader::parse(const QByteArray& bytes, const QObject* link)
{
    m_partial[link] += bytes;
    offerAttentionByte(link);
    // Looked up on every pass: handling a command may drop the link and forget its bytes.
    for (auto it = m_partial.find(link); it != m_partial.end() && !m_rawConsumer;
         it = m_partial.find(link)) {
        const qsizetype end = it->indexOf('\r');
        if (end < 0)
            break;
        const QByteArray command = it->left(end);
        it->remove(0, end + 1);
        const bool attentionHalf = command == QByteArray("\0\x1b", 2);
        const int halves = attentionHalf ? m_attentionHalves.value(link) + 1 : 0;
        m_attentionHalves[link] = halves;
        if (!command.isEmpty())
            handleCommand(command, link);
        if (halves == 2)
            emit attentionSequence(link);
        offerAttentionByte(link);
    }
}

void SimReader::offerAttentionByte(const QObject* link)
{
    auto it = m_partial.find(link);
    if (m_attentionHalves.value(link) < 2 || it == m_partial.end() || it->isEmpty())
        return;
    m_attentionHalves[link] = 0;
    const char byte = it->at(0);
    emit attentionByte(byte, link);
    if (!m_rawConsumer)
        return;
    const QByteArray rest = m_partial.take(link).mid(1);
    const RawConsumer consumer = m_rawConsumer;
    if (!rest.isEmpty())
        consumer(rest, link);
}

void SimReader::setRawConsumer(RawConsumer consumer, const QObject* link)
{
    m_rawConsumer = std::move(consumer);
    m_rawLink = link;
}

void SimReader::clearRawConsumer(const QByteArray& unused, const QObject* link)
{
    m_rawConsumer = nullptr;
    m_rawLink = nullptr;
    if (!unused.isEmpty())
        parse(unused, link);
}

void SimReader::handleCommand(const QByteArray& command, const QObject* link)
{
    m_commands.append(command);
    emit commandReceived(command);

    const QByteArray text = withoutLeadingNuls(command);
    QByteArray letters;
    const Handler* handler = longestPrefixMatch(m_handlers, text, &letters);
    Reply reply = handler ? (*handler)(text.mid(letters.size())) : Reply(unknownCommandReply);

    if (const Override* configured = longestPrefixMatch(m_overrides, text)) {
        switch (configured->kind) {
        case Override::Answer:
            reply = configured->replyLine;
            break;
        case Override::Silent:
            reply.reset();
            break;
        case Override::Close:
            output({}, true, link);
            return;
        }
    }
    if (reply)
        output(m_chatterBefore + *reply + m_lineEnding + m_chatterAfter, false, link);
}

void SimReader::output(QByteArray bytes, bool close, const QObject* link)
{
    if (m_replyDelayMs <= 0 && m_queue.isEmpty()) {
        if (close)
            emit closeRequested(link);
        else
            emit send(bytes, link);
        return;
    }
    // Queued even without a delay while earlier replies still wait, to keep their order.
    m_queue.append(
        {m_clock.elapsed() + std::max(m_replyDelayMs, 0), std::move(bytes), close, link});
    if (!m_delayTimer.isActive())
        m_delayTimer.start(int(std::max<qint64>(m_queue.first().dueMs - m_clock.elapsed(), 0)));
}

void SimReader::sendDue()
{
    // Emitting may drop the link, which empties the queue: check it on every pass.
    while (!m_queue.isEmpty() && m_queue.first().dueMs <= m_clock.elapsed()) {
        const Outgoing next = m_queue.takeFirst();
        if (next.close)
            emit closeRequested(next.link);
        else
            emit send(next.bytes, next.link);
    }
    if (!m_queue.isEmpty() && !m_delayTimer.isActive())
        m_delayTimer.start(int(std::max<qint64>(m_queue.first().dueMs - m_clock.elapsed(), 0)));
}

void SimReader::linkReset(const QObject* link)
{
    m_partial.remove(link);
    m_attentionHalves.remove(link);
    // A mode lasts as long as the link it started on.
    if (m_rawConsumer && m_rawLink == link)
        clearRawConsumer();
    m_queue.removeIf([link](const Outgoing& item) { return item.link == link; });
    if (m_queue.isEmpty())
        m_delayTimer.stop();
    emit linkWasReset(link);
}

void SimReader::setReply(const QByteArray& commandPrefix, const QByteArray& replyLine)
{
    m_overrides.insert(commandPrefix, {Override::Answer, replyLine});
}

void SimReader::setSilentOn(const QByteArray& commandPrefix)
{
    m_overrides.insert(commandPrefix, {Override::Silent, {}});
}

void SimReader::setCloseOn(const QByteArray& commandPrefix)
{
    m_overrides.insert(commandPrefix, {Override::Close, {}});
}

void SimReader::clearOverrides()
{
    m_overrides.clear();
}

void SimReader::setReplyDelay(int ms)
{
    m_replyDelayMs = ms;
}

void SimReader::setIdleDrop(int ms)
{
    m_idleTimer.setInterval(std::max(ms, 0));
    if (ms <= 0)
        m_idleTimer.stop();
}

void SimReader::setLineEnding(const QByteArray& ending)
{
    m_lineEnding = ending;
}

void SimReader::setChatterBefore(const QByteArray& bytes)
{
    m_chatterBefore = bytes;
}

void SimReader::setChatterAfter(const QByteArray& bytes)
{
    m_chatterAfter = bytes;
}

void SimReader::sendUnsolicited(const QByteArray& bytes)
{
    emit send(bytes, m_lastLink);
}

void SimReader::addCommand(const QByteArray& letters, CommandHandler handler)
{
    addHandler(letters, std::move(handler));
}

void SimReader::dropCommandLink()
{
    output({}, true, m_lastLink);
}

void SimReader::clearRecord()
{
    m_received.clear();
    m_commands.clear();
}

} // namespace sim

#include "moc_SimReader.cpp"

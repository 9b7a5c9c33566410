#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace sim {

// What the reader keeps between commands: the part a test reads back after a run.
struct ReaderState
{
    QByteArray firmwareVersion = "KARVEL READER SIM V1.00";
    // Last value sent with each programming command, by its command letters
    // ("X073", "\\", "g", ...), exactly as received after the letters.
    QMap<QByteArray, QByteArray> parameters;
    int resetCount = 0;
};

// The reader's command-and-reply behaviour, independent of any transport. A transport
// feeds it the bytes it received and writes out what it emits; everything runs on the
// caller's thread and nothing blocks, so it can share the utility's event loop.
//
// Several transports may serve one reader (TCP and a pty at once): each passes itself as
// the link, and replies and link drops are addressed to the link the command came in on,
// so one link's traffic never turns up as stale bytes on another. A null link stands for
// "no particular link": what is addressed to it goes to every transport.
class SimReader : public QObject
{
    Q_OBJECT
public:
    explicit SimReader(QObject* parent = nullptr);

    // Bytes that arrived on a link, in any chunking.
    void receive(const QByteArray& bytes, const QObject* link = nullptr);
    // A link ended or a new one started: forget its half-received command and any
    // reply still waiting for its delay, which belonged to the old connection.
    void linkReset(const QObject* link = nullptr);

    // Overrides, matched against the command with its leading NULs removed; the longest
    // matching prefix wins. They change only what goes back: the command still takes
    // effect (a programming command is still stored, a reset still counted).
    void setReply(const QByteArray& commandPrefix, const QByteArray& replyLine);
    void setSilentOn(const QByteArray& commandPrefix);
    void setCloseOn(const QByteArray& commandPrefix);
    void clearOverrides();

    void setReplyDelay(int ms);
    // From the next byte received on, the link that brought it is dropped
    // once nothing more came for ms, as a network module drops an idle
    // connection; 0 never drops.
    void setIdleDrop(int ms);
    void setLineEnding(const QByteArray& ending);
    void setChatterBefore(const QByteArray& bytes);
    void setChatterAfter(const QByteArray& bytes);
    // Sent at once, as given, with no line ending, on the link that spoke last.
    void sendUnsolicited(const QByteArray& bytes);

    // Every byte received since construction or clearRecord(), exactly.
    QByteArray received() const { return m_received; }
    // Each command as received (NULs kept, CR removed); empty commands are left out.
    QList<QByteArray> commands() const { return m_commands; }
    void clearRecord();

    // While set, every byte received goes to the consumer instead of the command parser:
    // modes such as the echo test or a block transfer have no command framing. The mode
    // ends with clearRawConsumer(), which hands bytes it did not use back to the parser.
    using RawConsumer = std::function<void(const QByteArray& bytes, const QObject* link)>;
    void setRawConsumer(RawConsumer consumer, const QObject* link);
    void clearRawConsumer(const QByteArray& unused = {}, const QObject* link = nullptr);
    bool hasRawConsumer() const { return bool(m_rawConsumer); }

    // Lets a subject keep its own commands in its own file. The handler gets
    // what follows the letters and returns the reply line, or nothing.
    using CommandHandler = std::function<std::optional<QByteArray>(const QByteArray& argument)>;
    void addCommand(const QByteArray& letters, CommandHandler handler);
    // From inside a handler: drop the link the command came in on, after
    // whatever is already on its way (the handler then returns nothing).
    void dropCommandLink();

    QByteArray parameter(const QByteArray& letters) const
    {
        return m_state.parameters.value(letters);
    }
    int resetCount() const { return m_state.resetCount; }
    ReaderState& state() { return m_state; }
    const ReaderState& state() const { return m_state; }

signals:
    void send(QByteArray bytes, const QObject* link);
    // Bytes as they arrived, before the reader acts on them.
    void bytesArrived(QByteArray bytes);
    void closeRequested(const QObject* link);
    void commandReceived(QByteArray command);
    // The attention sequence 00 1B 0D 00 1B 0D came in on a link.
    void attentionSequence(const QObject* link);
    // The attention sequence came in on a link, followed by this byte.
    // A mode started by that byte calls setRawConsumer(); what follows the byte goes there.
    void attentionByte(char byte, const QObject* link);
    // linkReset() ran: a mode on that link is over.
    void linkWasReset(const QObject* link);

private:
    // A command's own answer: a reply line, or nothing at all.
    using Reply = std::optional<QByteArray>;
    // Runs one command; gets what follows the command letters.
    using Handler = std::function<Reply(const QByteArray& argument)>;

    struct Override
    {
        enum Kind
        {
            Answer,
            Silent,
            Close
        } kind = Answer;
        QByteArray replyLine;
    };
    struct Outgoing
    {
        qint64 dueMs = 0;
        QByteArray bytes;
        bool close = false;
        const QObject* link = nullptr;
    };

    void addHandler(const QByteArray& letters, Handler handler);
    void addParameterCommand(const QByteArray& letters, int length);
    void handleCommand(const QByteArray& command, const QObject* link);
    void output(QByteArray bytes, bool close, const QObject* link);
    void sendDue();
    void parse(const QByteArray& bytes, const QObject* link);
    // After the attention sequence, the next byte may start a mode.
    void offerAttentionByte(const QObject* link);

    ReaderState m_state;
    QMap<QByteArray, Handler> m_handlers;
    QMap<QByteArray, Override> m_overrides;

    int m_replyDelayMs = 0;
    QByteArray m_lineEnding = "\r";
    QByteArray m_chatterBefore;
    QByteArray m_chatterAfter;

    QHash<const QObject*, QByteArray> m_partial;
    const QObject* m_lastLink = nullptr;
    QByteArray m_received;
    QList<QByteArray> m_commands;

    QList<Outgoing> m_queue;
    RawConsumer m_rawConsumer;
    const QObject* m_rawLink = nullptr;
    // Links whose last two commands were the halves of the attention sequence.
    QHash<const QObject*, int> m_attentionHalves;
    QTimer m_delayTimer;
    QElapsedTimer m_clock;
    QTimer m_idleTimer;
};

} // namespace sim

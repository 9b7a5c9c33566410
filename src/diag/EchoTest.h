#pragma once

#include "core/NumberText.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// The echo test's bookkeeping without a window: what each link waits, the
// lines of the list and the counter text.
namespace echotest {

constexpr int kCodesPerPass = 256;
constexpr int kPasses = 2000;
constexpr int kCounterStep = 1000;

struct Timing
{
    int passes = kPasses;
    int serialPauseMs = 2000;
    int tcpPauseMs = 5000;
    int serialEchoMs = 1000;
    int tcpEchoMs = 5000;

    int pauseMs(bool tcp) const { return tcp ? tcpPauseMs : serialPauseMs; }
    int echoMs(bool tcp) const { return tcp ? tcpEchoMs : serialEchoMs; }
};

constexpr char kEchoCommand = '*';

QString firstLine(bool tcp);
QString timeoutLine(std::int64_t charsSent);
QString badEchoLine(std::int64_t charsSent, std::uint8_t expected, std::uint8_t received);
QString linkClosedLine(std::int64_t charsSent);
QString endLine(std::int64_t charsSent);
// The counter caption, shown at every multiple of kCounterStep.
QString counterText(std::int64_t charsSent);
// The counter's text while the reader is given time to start echoing.
QString waitingText();

// How a run went, for the line after the end line.
struct Tally
{
    std::int64_t charsSent = 0;
    std::int64_t badEchoes = 0;
    std::int64_t timeouts = 0;
    // Bytes that were the echo of no character: doubled echoes, stray bytes.
    std::int64_t extraBytes = 0;
};
QString summaryLine(const Tally& tally);
// Said last when the reader echoed: it goes on echoing after the test.
QString leftEchoingLine();

// Decides which received byte answers the character just sent, and finds
// the link's step again after a fault. Echoes come back in the order the
// characters went out, so a byte that arrived before a character was sent is
// never its echo, and one followed by more bytes is not the one answer to it:
// either is a late echo of an earlier character or an extra byte. A single
// byte that is not the echo is a bad echo, unless it is the echo of a recent
// character still owed one (or a repeat of the last good echo): then the
// character's own echo is most likely right behind it and is waited for. If
// that wait runs out, the byte counts as the bad echo after all, and no such
// wait is made again until an echo is good, so a reader that is simply one
// character behind costs one wait, not one a character.
class EchoJudge
{
public:
    enum class Verdict
    {
        Waiting,
        Good,
        Bad,
        TimedOut
    };

    // The next character goes out; the echo command counts as one, since a
    // reader that is already echoing sends it back too.
    void sent(std::uint8_t code);
    // Bytes received since the last call.
    void take(const QByteArray& bytes);
    // The verdict on the character last sent, from what has arrived.
    Verdict judge(std::uint8_t& received);
    // Its echo time is up: Bad with the byte held back, or TimedOut.
    Verdict expire(std::uint8_t& received);
    std::int64_t extraBytes() const { return m_extraBytes; }
    bool sawGoodEcho() const { return m_hasLastGood; }

    // Characters owed an echo that are kept in mind; older ones are not.
    static constexpr qsizetype kMaxOwed = kCodesPerPass;

private:
    // A byte that answers no character awaited now.
    void setAside(char byte);

    char m_current = 0;
    bool m_hasCurrent = false;
    bool m_currentGood = false;
    // Codes of the characters since the last echo accounted for, oldest first.
    QByteArray m_owed;
    char m_lastGood = 0;
    bool m_hasLastGood = false;
    QByteArray m_unjudged;
    bool m_holding = false;
    bool m_mayHold = true;
    std::int64_t m_extraBytes = 0;
};

} // namespace echotest

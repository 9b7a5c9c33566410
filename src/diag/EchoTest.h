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

// Decides which received byte answers the character just sent. Exactly one
// pending byte is judged; two or more are judged only when all but the newest
// are the late echoes of characters already reported as time-outs (a reader
// that stalled and then sends everything it owes at once). Any other surplus
// (a doubled echo, a stray byte) is never taken for an echo, so the character
// waits until it times out.
class EchoJudge
{
public:
    enum class Verdict
    {
        Waiting,
        Good,
        Bad
    };

    // Bytes received since the last call.
    void take(const QByteArray& bytes);
    Verdict judge(std::uint8_t sent, std::uint8_t& received);
    // The character got no echo in time; its echo may still come.
    void timedOut(std::uint8_t sent);
    // Received bytes not yet taken for an echo.
    qint64 pending() const { return m_outOfStep ? kMaxOwed + 2 : m_unjudged.size(); }

    // Late echoes looked for; a reader further behind than this stays out of step.
    static constexpr qsizetype kMaxOwed = kCodesPerPass;

private:
    QByteArray m_unjudged;
    // Codes of the characters that timed out since the last judged echo, oldest first.
    QByteArray m_owed;
    // More bytes wait than late echoes can explain: no later character can be
    // judged, so the bytes are not kept.
    bool m_outOfStep = false;
};

} // namespace echotest

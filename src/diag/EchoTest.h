#pragma once

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

// The attention sequence, then the echo command.
inline constexpr char kAttention[] = {'\0', '\x1b', '\r', '\0', '\x1b', '\r'};
constexpr char kEchoCommand = '*';

QString firstLine(bool tcp);
// A whole number with one leading blank, or a minus sign in its place.
QString signedNumberText(std::int64_t value);
QString timeoutLine(std::int64_t charsSent);
QString badEchoLine(std::int64_t charsSent, std::uint8_t expected, std::uint8_t received);
QString linkClosedLine(std::int64_t charsSent);
QString endLine(std::int64_t charsSent);
// The counter caption, shown at every multiple of kCounterStep.
QString counterText(std::int64_t charsSent);

} // namespace echotest

#include "ProgrammingRun.h"

#include "ProxValidation.h"
#include "comm/CommandChannel.h"

#include <optional>

namespace {

// Replies are raw bytes; each byte stands for one character.
QString replyText(const QByteArray& reply)
{
    return QString::fromLatin1(reply);
}

// Sends a command and waits for its reply; nullopt when none came in time.
std::optional<QByteArray> exchange(CommandChannel& channel, const QByteArray& command)
{
    channel.sendReaderCommand(command);
    const auto [reply, timedOut] = channel.readReaderLine();
    if (timedOut)
        return std::nullopt;
    return reply;
}

ProgrammingResult noReply(int step, QByteArray version = {})
{
    ProgrammingResult result;
    result.outcome = ProgrammingResult::Outcome::NoReply;
    result.failedStep = step;
    result.version = std::move(version);
    return result;
}

} // namespace

ProgrammingResult runProgramming(CommandChannel& channel, const ProxValues& prox,
                                 const std::array<std::int16_t, 66>& digitsForBits,
                                 const StepCommandSource& commandFor, ProgrammingProgress& progress)
{
    ProgrammingResult result;
    progress.line(QStringLiteral("Checking Parameters"));
    const ProxValidationResult checked = validateProxSettings(prox, digitsForBits);
    for (const QString& line : checked.lines)
        progress.line(line);
    if (!checked.mayProgram) {
        result.outcome = ProgrammingResult::Outcome::ValidationFailed;
        return result;
    }

    // The run goes on only if the two returns really went out on this link.
    if (!channel.sendTwoReturns()) {
        progress.line(QStringLiteral("Reader could not be reached over the link"));
        result.outcome = ProgrammingResult::Outcome::Unreachable;
        return result;
    }
    progress.line(QStringLiteral("Starting Communications"));

    const std::optional<QByteArray> version = exchange(channel, commandFor(1));
    if (!version) {
        progress.line(stepTimeoutText(1));
        return noReply(1);
    }
    result.version = *version;
    progress.line(replyText(*version));

    for (int step = 2; step <= kProgrammingSteps; ++step) {
        const QByteArray command = commandFor(step);
        progress.text(QString::fromLatin1(command));
        const std::optional<QByteArray> reply = exchange(channel, command);
        if (!reply) {
            progress.line(QStringLiteral(" "));
            progress.line(stepTimeoutText(step));
            return noReply(step, result.version);
        }
        progress.line(QStringLiteral("  [") + replyText(*reply) + QLatin1Char(']'));
        if (*reply != "OK" && result.refusedStep == 0) {
            result.refusedStep = step;
            result.refusal = *reply;
        }
    }
    progress.line(QStringLiteral(" "));
    progress.line(QStringLiteral("Programming Complete"));
    return result;
}

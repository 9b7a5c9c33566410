#include "ProgrammingRun.h"

#include "ProxValidation.h"
#include "comm/CommandChannel.h"

namespace {

// Replies are raw bytes; each byte stands for one character.
QString replyText(const QByteArray& reply)
{
    return QString::fromLatin1(reply);
}

struct Answer
{
    bool came = false;
    // The reply was the command itself.
    bool echoed = false;
    QByteArray text;
};

Answer exchange(CommandChannel& channel, const QByteArray& command)
{
    channel.sendReaderCommand(command);
    const auto [reply, timedOut] = channel.readReaderLine();
    return {!timedOut, !timedOut && channel.isEcho(reply), reply};
}

ProgrammingResult endedAt(ProgrammingResult::Outcome outcome, int step, QByteArray version = {})
{
    ProgrammingResult result;
    result.outcome = outcome;
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

    using Outcome = ProgrammingResult::Outcome;
    const Answer version = exchange(channel, commandFor(1));
    if (!version.came || version.echoed) {
        progress.line(version.came ? kReaderEchoingText : stepTimeoutText(1));
        return endedAt(version.came ? Outcome::Echoing : Outcome::NoReply, 1);
    }
    result.version = version.text;
    progress.line(replyText(version.text));

    for (int step = 2; step <= kProgrammingSteps; ++step) {
        const QByteArray command = commandFor(step);
        progress.text(QString::fromLatin1(command));
        const Answer reply = exchange(channel, command);
        if (!reply.came || reply.echoed) {
            progress.line(QStringLiteral(" "));
            progress.line(reply.came ? kReaderEchoingText : stepTimeoutText(step));
            return endedAt(reply.came ? Outcome::Echoing : Outcome::NoReply, step, result.version);
        }
        progress.line(QStringLiteral("  [") + replyText(reply.text) + QLatin1Char(']'));
        if (reply.text != "OK" && result.refusedStep == 0) {
            result.refusedStep = step;
            result.refusal = reply.text;
        }
    }
    progress.line(QStringLiteral(" "));
    progress.line(QStringLiteral("Programming Complete"));
    return result;
}

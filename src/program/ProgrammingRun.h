#pragma once

#include "ProgrammingCommands.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class CommandChannel;

struct ProgrammingResult
{
    enum class Outcome
    {
        Programmed,
        ValidationFailed,
        // The two returns could not be written: the link is gone.
        Unreachable,
        NoReply,
        // A reply was the command itself: the reader only echoes.
        Echoing,
    };
    Outcome outcome = Outcome::Programmed;
    // The step that got no reply in time, or only its echo.
    int failedStep = 0;
    // The reader's answer to "V", once it came.
    QByteArray version;
    // The first step after "V" whose reply was not "OK", and that reply. The
    // run goes on past it, as the pane shows every reply; 0 when there was none.
    int refusedStep = 0;
    QByteArray refusal;
};

// Where a run's progress goes: the progress pane, or nowhere.
class ProgrammingProgress
{
public:
    virtual ~ProgrammingProgress() = default;
    // Text without a line end, then text ending its line.
    virtual void text(const QString&) {}
    virtual void line(const QString&) {}
};

// Builds the command of step 1..kProgrammingSteps at the moment it is sent.
using StepCommandSource = std::function<QByteArray(int step)>;

// The whole programming sequence, for the window and the batch alike: the
// prox checks, the two returns, then each step's command and its reply.
ProgrammingResult runProgramming(CommandChannel& channel, const ProxValues& prox,
                                 const std::array<std::int16_t, 66>& digitsForBits,
                                 const StepCommandSource& commandFor,
                                 ProgrammingProgress& progress);

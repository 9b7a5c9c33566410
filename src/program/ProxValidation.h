#pragma once

#include "ProgrammingCommands.h"

#include <QStringList>

#include <array>
#include <cstdint>

struct ProxValidationResult
{
    // Lines to append to the progress pane after "Checking Parameters",
    // which the window writes itself because it clears the panes first.
    QStringList lines;
    // False after an empty box or a misplaced field: nothing may be sent.
    // Warnings alone leave it true.
    bool mayProgram = true;
};

// Checks the prox formats and masks before programming. digitsForBits is the
// application's table (entry n: decimal digits of 2^n - 1, n = 0..64); longer
// fields are judged by computing the count, never by reading past the table.
ProxValidationResult validateProxSettings(const ProxValues& prox,
                                          const std::array<std::int16_t, 66>& digitsForBits);

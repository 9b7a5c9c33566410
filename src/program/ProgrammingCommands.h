#pragma once

#include "config/SettingsValues.h"

#include <QByteArray>
#include <QString>
#include <Qt>

inline constexpr int kProgrammingSteps = 19;

// "1" for Qt::Checked, "0" for anything else.
QString checkFlag(Qt::CheckState state);

// Zn: the text right-aligned in `width` characters, zero-filled on the left;
// a longer text keeps only its rightmost `width` characters.
QString zeroFilled(const QString& text, int width);

// Sn: as zeroFilled, but filled with spaces.
QString spaceFilled(const QString& text, int width);

// The command text of programming step 1..kProgrammingSteps, without link
// framing, built from the values as they are now. Empty for any other step.
QByteArray buildStepCommand(int step, const GeneralValues& general, const ProxValues& prox);

// The line shown when the reader does not answer step 1..kProgrammingSteps;
// empty for any other step.
QString stepTimeoutText(int step);

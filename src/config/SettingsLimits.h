#pragma once

#include "program/ProgrammingCommands.h"

#include <array>

// How many digits each box of the settings windows takes: the one table the
// windows and the settings profiles both check against.
namespace settingslimits {

inline constexpr int kLowPowerDigits = 2;
inline constexpr int kSleepTimeDigits = 2;
inline constexpr int kIdLengthDigits = 2;
inline constexpr int kReaderIdDigits = 5;
inline constexpr int kReaderDescriptionDigits = 10;

inline constexpr int kFormatStartDigits = 3;
inline constexpr int kFormatLengthDigits = 2;
inline constexpr int kFormatCharsDigits = 2;
inline constexpr int kTotalBitsDigits = 3;
inline constexpr int kMaskStartDigits = 2;
inline constexpr int kLenValueDigits = 3;

// Const check box of mask entry 0..14: numbered upwards in mask 1 but
// downwards in masks 2 and 3.
inline constexpr std::array<int, 15> kMaskConstChecks{4,  5, 6,  7,  8,  13, 12, 11,
                                                      10, 9, 21, 20, 19, 18, 17};

// A constant mask entry has no start bit: its Start box is pinned at this.
inline constexpr const char* kConstStart = "00";

} // namespace settingslimits

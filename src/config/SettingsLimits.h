#pragma once

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

// A constant mask row has no start bit: its Start box is pinned at this.
inline constexpr const char* kConstStart = "00";

} // namespace settingslimits

#pragma once

#include <array>
#include <cstdint>

// Fills entries 0..64 with the number of decimal digits of 2^n - 1;
// entry 65 stays 0.
void fillDigitsForBits(std::array<std::int16_t, 66>& table);

// Decimal digits of 2^bits - 1 for any bit count (0 for 0 or less),
// so a length beyond the table is still judged correctly.
int digitsForBitCount(int bits);

#include "DigitsForBits.h"

#include <cmath>

int digitsForBitCount(int bits)
{
    if (bits <= 0)
        return 0;
    // 2^n - 1 has as many digits as 2^n, which is never a power of ten.
    return static_cast<int>(std::floor(bits * std::log10(2.0))) + 1;
}

void fillDigitsForBits(std::array<std::int16_t, 66>& table)
{
    table.fill(0);
    for (int n = 1; n <= 64; ++n)
        table[n] = static_cast<std::int16_t>(digitsForBitCount(n));
}

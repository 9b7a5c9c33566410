#pragma once

#include <QString>

#include <cstdint>

// A count as the reader's texts show it: a blank where a minus sign would
// stand, so " 40000" and "-1" line up.
inline QString signedNumberText(std::int64_t value)
{
    return value < 0 ? QString::number(value) : QLatin1Char(' ') + QString::number(value);
}

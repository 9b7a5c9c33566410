#pragma once

#include "SettingsValues.h"

#include <QList>
#include <QString>

#include <array>

// Standard card layouts an installer can pick for a prox format, and the
// card check: what a card's raw bits decode to under each format.
// Bits are counted from 1 at the first bit the reader receives, leading
// parity bit included, exactly as the format boxes count Start.
namespace cardformats {

enum class Parity
{
    Even,
    Odd
};

// A parity bit: the number of ones among the bit itself and `covers`
// (the other bits it guards) is even or odd.
struct ParityBit
{
    int bit = 0;
    Parity kind = Parity::Even;
    QList<int> covers;
};

struct FieldLayout
{
    int start = 0;  // first bit, counted from 1; 0 with length 0: not used
    int length = 0; // bits
    bool lsbFirst = false;
};

struct FormatLayout
{
    int totalBits = 0;
    std::array<FieldLayout, 3> fields{}; // Site, ID, Issue
};

struct CardPreset
{
    QString name;
    FormatLayout layout;
    QList<ParityBit> parity;
};

// Every preset, in the order a person chooses them from.
const QList<CardPreset>& cardPresets();

// The values a preset puts into one format's boxes: two digits at least, as
// the start-up values are written, Chars just large enough for Length, and
// no Lsb flag.
ProxFormatValues presetValues(const CardPreset& preset);

// A format as its boxes describe it; an empty box counts as 0.
FormatLayout formatLayout(const ProxFormatValues& format);

// The preset whose bit layout the format has (fields of length 0 are not
// compared by Start, Chars never are), or -1.
int matchingPreset(const FormatLayout& layout);

enum class CardDataKind
{
    Hex,
    Bits
};

// A card's bits as '0' and '1', bit 1 first, or why the input is not a card.
struct Card
{
    QString bits;
    QString error;
};

// Hex data is right-aligned in the bit count (leading zeros may be left out);
// a bit string is the card itself, and an empty bit count takes its length.
Card readCard(const QString& data, CardDataKind kind, const QString& bitCount);

// One line about the card: its bits and hex value, or the input error.
QString describeCard(const Card& card);

struct FieldReading
{
    bool used = false;
    bool inCard = false; // the field lies within the card's bits
    QString value;       // decimal, when used and in the card
};

struct FormatReading
{
    bool bitCountMatches = false;
    std::array<FieldReading, 3> fields{}; // Site, ID, Issue
    int preset = -1;                      // matching preset, or -1
    QList<int> failedParityBits;          // of the preset, when it has one
};

FormatReading readFormat(const QString& cardBits, const FormatLayout& layout);

// One line about a format: the bit-count mismatch, or the decoded fields and
// the parity verdict of its preset.
QString describeFormat(const FormatReading& reading, const FormatLayout& layout, int cardBits);

} // namespace cardformats

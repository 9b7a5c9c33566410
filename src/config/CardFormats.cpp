#include "CardFormats.h"

#include "core/DigitsForBits.h"

#include <algorithm>

namespace cardformats {

namespace {

QList<int> range(int first, int last)
{
    QList<int> bits;
    for (int bit = first; bit <= last; ++bit)
        bits << bit;
    return bits;
}

// The corporate layouts guard pairs of bits: first, first+1, then skip one,
// and so on up to last.
QList<int> pairs(int first, int last)
{
    QList<int> bits;
    for (int bit = first; bit <= last; ++bit) {
        if ((bit - first) % 3 != 2)
            bits << bit;
    }
    return bits;
}

FormatLayout layout(int totalBits, FieldLayout site, FieldLayout id)
{
    return {totalBits, {site, id, FieldLayout{}}};
}

// Bit 1 is even parity over bits 2 to evenLast, the last bit odd parity over
// bits oddFirst to the one before it.
CardPreset evenOddParity(const char* name, const FormatLayout& bits, int evenLast, int oddFirst)
{
    const int last = bits.totalBits;
    return {
        QString::fromLatin1(name),
        bits,
        {{1, Parity::Even, range(2, evenLast)}, {last, Parity::Odd, range(oddFirst, last - 1)}}};
}

// The corporate layouts: bit 1 is odd parity over the whole card, bit 2 even
// parity over pairs from evenFirst to the next-to-last bit, and the last bit
// odd parity over pairs from oddFirst to the bit before that.
CardPreset corporateParity(const char* name, const FormatLayout& bits, int evenFirst, int oddFirst)
{
    const int last = bits.totalBits;
    return {QString::fromLatin1(name),
            bits,
            {{1, Parity::Odd, range(2, last)},
             {2, Parity::Even, pairs(evenFirst, last - 1)},
             {last, Parity::Odd, pairs(oddFirst, last - 2)}}};
}

QList<CardPreset> makePresets()
{
    return {
        // Site code bits 2-9, card number bits 10-25; bit 1 guards bits
        // 2-13, bit 26 bits 14-25.
        evenOddParity("26-bit", layout(26, {2, 8}, {10, 16}), 13, 14),
        // Site code bits 2-17, card number bits 18-33; bit 1 guards bits
        // 2-17, bit 34 bits 18-33.
        evenOddParity("34-bit", layout(34, {2, 16}, {18, 16}), 17, 18),
        // Company code bits 3-14, card number bits 15-34; bit 2 guards bits
        // 3-4, 6-7, ... 33-34, bit 35 bits 2-3, 5-6, ... 32-33.
        corporateParity("35-bit corporate", layout(35, {3, 12}, {15, 20}), 3, 2),
        // Site code bits 2-17, card number bits 18-36; bit 1 guards bits
        // 2-19, bit 37 bits 19-36 (bit 19 is guarded by both).
        evenOddParity("37-bit with site code", layout(37, {2, 16}, {18, 19}), 19, 19),
        // Card number only, bits 2-36; parity as with site code.
        evenOddParity("37-bit ID only", layout(37, {0, 0}, {2, 35}), 19, 19),
        // Company code bits 3-24, card number bits 25-47; bit 2 guards bits
        // 4-5, 7-8, ... 46-47, bit 48 bits 3-4, 6-7, ... 45-46.
        corporateParity("48-bit corporate", layout(48, {3, 22}, {25, 23}), 4, 3),
        // Every box zero: the reader ignores the format.
        {QStringLiteral("Not used"), layout(0, {0, 0}, {0, 0}), {}},
    };
}

QString twoDigits(int value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

int boxNumber(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok && value > 0 ? value : 0;
}

bool sameField(const FieldLayout& a, const FieldLayout& b)
{
    if (a.length == 0 || b.length == 0)
        return a.length == b.length;
    return a.start == b.start && a.length == b.length && a.lsbFirst == b.lsbFirst;
}

// Bits (most significant first) as a decimal number of any length.
QString decimalOf(QStringView bits)
{
    std::string digits{'0'}; // least significant first
    for (const QChar bit : bits) {
        int carry = bit == QLatin1Char('1') ? 1 : 0;
        for (char& digit : digits) {
            const int value = (digit - '0') * 2 + carry;
            digit = static_cast<char>('0' + value % 10);
            carry = value / 10;
        }
        if (carry)
            digits.push_back(static_cast<char>('0' + carry));
    }
    std::reverse(digits.begin(), digits.end());
    return QString::fromStdString(digits);
}

QString hexOf(const QString& bits)
{
    QString padded = QString(static_cast<int>((4 - bits.size() % 4) % 4), QLatin1Char('0')) + bits;
    QString hex;
    for (qsizetype i = 0; i < padded.size(); i += 4)
        hex += QString::number(padded.mid(i, 4).toInt(nullptr, 2), 16).toUpper();
    return hex;
}

QString withoutBlanks(const QString& text)
{
    QString compact;
    for (const QChar c : text) {
        if (!c.isSpace())
            compact += c;
    }
    return compact;
}

constexpr int kLargestCard = 999; // as many bits as a Total Bits box holds

const std::array<const char*, 3> kFieldNames{"Site", "ID", "Issue"};

} // namespace

const QList<CardPreset>& cardPresets()
{
    static const QList<CardPreset> presets = makePresets();
    return presets;
}

ProxFormatValues presetValues(const CardPreset& preset)
{
    ProxFormatValues values;
    values.totalBits = twoDigits(preset.layout.totalBits);
    for (std::size_t f = 0; f < 3; ++f) {
        const FieldLayout& field = preset.layout.fields[f];
        values.fields[f] = {twoDigits(field.start), twoDigits(field.length),
                            twoDigits(digitsForBitCount(field.length)), Qt::Unchecked};
    }
    return values;
}

FormatLayout formatLayout(const ProxFormatValues& format)
{
    FormatLayout result;
    result.totalBits = boxNumber(format.totalBits);
    for (std::size_t f = 0; f < 3; ++f) {
        const ProxFieldValues& field = format.fields[f];
        result.fields[f] = {boxNumber(field.start), boxNumber(field.length),
                            field.lsb == Qt::Checked};
    }
    return result;
}

int matchingPreset(const FormatLayout& layout)
{
    const QList<CardPreset>& presets = cardPresets();
    for (int i = 0; i < presets.size(); ++i) {
        const FormatLayout& preset = presets[i].layout;
        if (preset.totalBits == layout.totalBits &&
            std::equal(preset.fields.begin(), preset.fields.end(), layout.fields.begin(),
                       sameField))
            return i;
    }
    return -1;
}

Card readCard(const QString& data, CardDataKind kind, const QString& bitCount)
{
    QString compact = withoutBlanks(data);
    if (compact.isEmpty())
        return {{}, QStringLiteral("Enter a card's data to check it against the formats.")};
    const QString countText = bitCount.trimmed();
    bool countGiven = false;
    const int count = countText.toInt(&countGiven);
    if (countGiven && (count < 1 || count > kLargestCard))
        return {{}, QStringLiteral("A card has 1 to %1 bits.").arg(kLargestCard)};

    if (kind == CardDataKind::Bits) {
        for (const QChar c : compact) {
            if (c != QLatin1Char('0') && c != QLatin1Char('1'))
                return {{}, QStringLiteral("A bit string holds only 0 and 1.")};
        }
        if (compact.size() > kLargestCard)
            return {{}, QStringLiteral("A card has 1 to %1 bits.").arg(kLargestCard)};
        if (countGiven && compact.size() != count)
            return {{},
                    QStringLiteral("The bit string has %1 bits, not %2.")
                        .arg(compact.size())
                        .arg(count)};
        return {compact, {}};
    }

    if (compact.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        compact = compact.mid(2);
    QString bits;
    for (const QChar c : compact) {
        bool ok = false;
        const int nibble = QString(c).toInt(&ok, 16);
        if (!ok)
            return {{}, QStringLiteral("Hex data holds only 0 to 9 and A to F.")};
        bits += QString::number(nibble, 2).rightJustified(4, QLatin1Char('0'));
    }
    if (bits.isEmpty())
        return {{}, QStringLiteral("Hex data holds only 0 to 9 and A to F.")};
    if (!countGiven)
        return {{}, QStringLiteral("Enter the card's bit count.")};
    if (bits.size() > count) {
        const qsizetype extra = bits.size() - count;
        if (bits.left(extra).contains(QLatin1Char('1')))
            return {{}, QStringLiteral("The hex data holds more than %1 bits.").arg(count)};
        bits = bits.mid(extra);
    }
    return {bits.rightJustified(count, QLatin1Char('0')), {}};
}

QString describeCard(const Card& card)
{
    if (!card.error.isEmpty())
        return card.error;
    return QStringLiteral("%1 bits, hex %2: %3")
        .arg(card.bits.size())
        .arg(hexOf(card.bits), card.bits);
}

FormatReading readFormat(const QString& cardBits, const FormatLayout& layout)
{
    FormatReading reading;
    reading.bitCountMatches = !cardBits.isEmpty() && layout.totalBits == cardBits.size();
    if (!reading.bitCountMatches)
        return reading;
    for (std::size_t f = 0; f < 3; ++f) {
        const FieldLayout& field = layout.fields[f];
        FieldReading& out = reading.fields[f];
        out.used = field.length > 0;
        out.inCard =
            out.used && field.start >= 1 && field.start + field.length - 1 <= cardBits.size();
        if (!out.inCard)
            continue;
        QString bits = cardBits.mid(field.start - 1, field.length);
        if (field.lsbFirst)
            std::reverse(bits.begin(), bits.end());
        out.value = decimalOf(bits);
    }
    reading.preset = matchingPreset(layout);
    if (reading.preset >= 0) {
        for (const ParityBit& parity : cardPresets()[reading.preset].parity) {
            int ones = cardBits[parity.bit - 1] == QLatin1Char('1') ? 1 : 0;
            for (int bit : parity.covers)
                ones += cardBits[bit - 1] == QLatin1Char('1') ? 1 : 0;
            if ((ones % 2 == 0) != (parity.kind == Parity::Even))
                reading.failedParityBits << parity.bit;
        }
        std::sort(reading.failedParityBits.begin(), reading.failedParityBits.end());
    }
    return reading;
}

QString describeFormat(const FormatReading& reading, const FormatLayout& layout, int cardBits)
{
    if (cardBits <= 0)
        return {};
    if (!reading.bitCountMatches)
        return QStringLiteral("Total Bits %1 does not match the card's %2 bits.")
            .arg(layout.totalBits)
            .arg(cardBits);
    QStringList fields;
    for (std::size_t f = 0; f < 3; ++f) {
        const FieldReading& field = reading.fields[f];
        const QString name = QLatin1String(kFieldNames[f]);
        if (!field.used)
            fields << name + QStringLiteral(" not used");
        else if (!field.inCard)
            fields << name + QStringLiteral(" outside the card");
        else
            fields << name + u' ' + field.value;
    }
    QString line = fields.join(QStringLiteral(", "));
    if (reading.preset < 0)
        return line + QStringLiteral("; custom layout, parity not checked.");
    const QString name = cardPresets()[reading.preset].name;
    if (cardPresets()[reading.preset].parity.isEmpty())
        return line + u'.';
    if (reading.failedParityBits.isEmpty())
        return line + QStringLiteral("; %1 parity holds.").arg(name);
    QStringList failed;
    for (int bit : reading.failedParityBits)
        failed << QString::number(bit);
    const QString bits = failed.size() == 1 ? QStringLiteral("bit ") : QStringLiteral("bits ");
    return line + QStringLiteral("; %1 parity fails at %2.")
                      .arg(name, bits + failed.join(QStringLiteral(", ")));
}

} // namespace cardformats

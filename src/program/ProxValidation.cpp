#include "ProxValidation.h"

#include "core/DigitsForBits.h"

namespace {

const std::array<const char*, 3> kFieldNames{"site", "id", "issue"};

// Leading digits (after any blanks) as a decimal number; anything else, or
// nothing, is 0. Capped so that a long run of digits cannot overflow the
// position sums.
qint64 leadingNumber(const QString& text)
{
    qint64 value = 0;
    const QString digits = text.trimmed();
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        value = qMin<qint64>(value * 10 + (c.unicode() - '0'), 1'000'000'000);
    }
    return value;
}

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

QString formatMessage(const char* kind, int format, int field, const char* what)
{
    return QStringLiteral("%1 - Wie/prox format %2 - %3 %4")
        .arg(QLatin1String(kind))
        .arg(format)
        .arg(QLatin1String(kFieldNames[field]))
        .arg(QLatin1String(what));
}

struct FieldNumbers
{
    qint64 start;
    qint64 length;
    qint64 chars;
};

FieldNumbers fieldNumbers(const ProxFieldValues& field)
{
    return {leadingNumber(field.start), leadingNumber(field.length), leadingNumber(field.chars)};
}

// An empty string when the format's fields fit its bit stream, else the error.
QString positionError(const ProxFormatValues& format, int formatNumber)
{
    for (int f = 0; f < 3; ++f) {
        const FieldNumbers n = fieldNumbers(format.fields[f]);
        if (n.length != 0 && n.start == 0)
            return formatMessage("Error", formatNumber, f,
                                 "field has a length but specifies start of 0");
    }
    const qint64 totalBits = leadingNumber(format.totalBits);
    for (int f = 0; f < 3; ++f) {
        const FieldNumbers n = fieldNumbers(format.fields[f]);
        if (n.start + n.length - 1 > totalBits)
            return formatMessage("Error", formatNumber, f, "field goes beyond end of bit stream");
    }
    return {};
}

bool hasBlankBox(const ProxFormatValues& format)
{
    if (isBlank(format.totalBits))
        return true;
    for (const ProxFieldValues& field : format.fields) {
        if (isBlank(field.start) || isBlank(field.length) || isBlank(field.chars))
            return true;
    }
    return false;
}

bool hasBlankBox(const ProxMaskValues& mask)
{
    for (const ProxMaskRowValues& row : mask) {
        if (isBlank(row.start) || isBlank(row.value))
            return true;
    }
    return false;
}

int digitsNeeded(qint64 bits, const std::array<std::int16_t, 66>& digitsForBits)
{
    if (bits <= 64)
        return digitsForBits[static_cast<std::size_t>(bits)];
    // Length boxes take up to 99 bits; past the table the count is computed.
    return digitsForBitCount(static_cast<int>(qMin<qint64>(bits, 1'000'000)));
}

} // namespace

ProxValidationResult validateProxSettings(const ProxValues& prox,
                                          const std::array<std::int16_t, 66>& digitsForBits)
{
    ProxValidationResult result;
    auto stop = [&result](const QString& line) {
        result.lines << line;
        result.mayProgram = false;
        return result;
    };

    // An empty format box is reported before an empty mask box.
    for (const ProxFormatValues& format : prox.formats) {
        if (hasBlankBox(format))
            return stop(QStringLiteral("Error - Empty field in wiegand/prox formatting"));
    }
    for (const ProxMaskValues& mask : prox.masks) {
        if (hasBlankBox(mask))
            return stop(QStringLiteral("Error - Empty field in wiegand/prox masking"));
    }
    for (int format = 0; format < kProxFormatCount; ++format) {
        const QString error = positionError(prox.formats[format], format + 1);
        if (!error.isEmpty())
            return stop(error);
    }

    for (int format = 0; format < kProxFormatCount; ++format) {
        for (int f = 0; f < 3; ++f) {
            const FieldNumbers n = fieldNumbers(prox.formats[format].fields[f]);
            if (n.chars < digitsNeeded(n.length, digitsForBits))
                result.lines << formatMessage("Warning", format + 1, f,
                                              "bit length may not fit in character size");
        }
    }
    return result;
}

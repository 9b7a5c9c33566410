#include "ProgrammingCommands.h"

namespace {

struct StepText
{
    const char* letters;
    const char* timeout;
};

constexpr std::array<StepText, kProgrammingSteps> kSteps{{
    {"V", "Error 000"},       {"X073", "Error 073"},      {"X121", "Error 121"},
    {"X122", "Error 122"},    {"X074", "Error 074"},      {"X075", "Error 075"},
    {"X076", "Error 076"},    {"X077", "Error 077"},      {"X078", "Error 078"},
    {"X079", "Error 079"},    {"X080", "Error 080"},      {"X081", "Error 081"},
    {"X082", "Error 082"},    {"X083", "Error 083"},      {"X084", "Error 084"},
    {"X085", "Error 085"},    {"\\", "Error \\ command"}, {"g", "Error g command"},
    {"h", "Error h command"},
}};

bool isStep(int step)
{
    return step >= 1 && step <= kProgrammingSteps;
}

// Z3 Start, Z2 Length and the Lsb flag of one field.
QString fieldPosition(const ProxFieldValues& field)
{
    return zeroFilled(field.start, 3) + zeroFilled(field.length, 2) + checkFlag(field.lsb);
}

// Total bits and the Site and ID fields of one format.
QString formatFirstHalf(const ProxFormatValues& format)
{
    return zeroFilled(format.totalBits, 3) + fieldPosition(format.fields[0]) +
           fieldPosition(format.fields[1]);
}

// The Issue field, then the character counts of all three fields.
QString formatSecondHalf(const ProxFormatValues& format)
{
    QString text = fieldPosition(format.fields[2]);
    for (const ProxFieldValues& field : format.fields)
        text += zeroFilled(field.chars, 2);
    return text;
}

QString maskRows(const ProxMaskValues& mask, int first, int count)
{
    QString fields;
    for (int row = first; row < first + count; ++row)
        fields += zeroFilled(mask[row].start, 2) + zeroFilled(mask[row].value, 3);
    return fields;
}

QString stepFields(int step, const GeneralValues& general, const ProxValues& prox)
{
    switch (step) {
    case 1:
        return {};
    case 2:
        return QStringLiteral("1") + checkFlag(general.maskingOn) +
               checkFlag(general.beepOnGoodRead) + QStringLiteral("00");
    case 3:
        return checkFlag(general.farpointe) + checkFlag(general.hid) + checkFlag(general.awid);
    case 4:
        return zeroFilled(general.lowPowerSetting, 3) + zeroFilled(general.sleepTime, 3);
    case 5:
    case 7:
    case 9:
        return formatFirstHalf(prox.formats[(step - 5) / 2]);
    case 6:
    case 8:
    case 10:
        return formatSecondHalf(prox.formats[(step - 6) / 2]);
    case 11:
    case 13:
    case 15:
        // Each mask's first two rows, then its other three in the next step.
        return maskRows(prox.masks[(step - 11) / 2], 0, 2);
    case 12:
    case 14:
    case 16:
        return maskRows(prox.masks[(step - 12) / 2], 2, 3);
    case 17:
        return zeroFilled(general.idLength, 2) + checkFlag(general.includeDateTime) +
               checkFlag(general.includeReaderId) + checkFlag(general.includeReaderDescription);
    case 18:
        return spaceFilled(general.readerId, 5);
    case 19:
        return spaceFilled(general.readerDescription, 10);
    }
    return {};
}

} // namespace

QString checkFlag(Qt::CheckState state)
{
    return state == Qt::Checked ? QStringLiteral("1") : QStringLiteral("0");
}

QString zeroFilled(const QString& text, int width)
{
    return (QString(width, QLatin1Char('0')) + text).right(width);
}

QString spaceFilled(const QString& text, int width)
{
    return (QString(width, QLatin1Char(' ')) + text).right(width);
}

QByteArray buildStepCommand(int step, const GeneralValues& general, const ProxValues& prox)
{
    if (!isStep(step))
        return {};
    return QByteArray(kSteps[step - 1].letters) + stepFields(step, general, prox).toLatin1();
}

QString stepTimeoutText(int step)
{
    if (!isStep(step))
        return {};
    return QString::fromLatin1(kSteps[step - 1].timeout);
}

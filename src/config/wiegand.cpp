#include "wiegand.h"

#include "ConfigLayout.h"
#include "SettingsLimits.h"
#include "program/ProgrammingCommands.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>

using namespace configlayout;
using namespace settingslimits;

namespace {

constexpr std::array<QCheckBox * wiegand::*, 24> kChecks{
    &wiegand::Check1,  &wiegand::Check2,  &wiegand::Check3,  &wiegand::Check4,  &wiegand::Check5,
    &wiegand::Check6,  &wiegand::Check7,  &wiegand::Check8,  &wiegand::Check9,  &wiegand::Check10,
    &wiegand::Check11, &wiegand::Check12, &wiegand::Check13, &wiegand::Check14, &wiegand::Check15,
    &wiegand::Check16, &wiegand::Check17, &wiegand::Check18, &wiegand::Check19, &wiegand::Check20,
    &wiegand::Check21, &wiegand::Check22, &wiegand::Check23, &wiegand::Check24,
};

constexpr qreal kLargestPointSize = 9;

QGridLayout* groupGrid(QFrame* frame, const QStringList& columnCaptions)
{
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->setHorizontalSpacing(5);
    grid->setVerticalSpacing(6);
    for (int column = 0; column < columnCaptions.size(); ++column)
        grid->addWidget(new QLabel(columnCaptions[column], frame), 0, column + 1, Qt::AlignCenter);
    return grid;
}

QCheckBox* flagBox(const QString& accessibleName, QWidget* parent)
{
    auto* box = new QCheckBox(parent);
    box->setAccessibleName(accessibleName);
    return box;
}

} // namespace

wiegand::wiegand(QWidget* parent) : QWidget(parent)
{
    paintSettingsBackground(this);
    // Six grids side by side in a fixed-size working area: a larger desktop
    // font would push the third column out of sight.
    if (font().pointSizeF() > kLargestPointSize) {
        QFont capped = font();
        capped.setPointSizeF(kLargestPointSize);
        setFont(capped);
    }

    auto* groups = new QGridLayout(this);
    groups->setContentsMargins(8, 8, 8, 8);
    groups->setHorizontalSpacing(8);
    groups->setVerticalSpacing(2);
    for (int format = 1; format <= 3; ++format)
        makeFormatGroup(groups, format);
    groups->setRowMinimumHeight(2, 20);
    for (int mask = 1; mask <= 3; ++mask)
        makeMaskGroup(groups, mask);
    groups->setRowStretch(5, 1);
}

QCheckBox* wiegand::check(int number) const
{
    if (number < 1 || number > static_cast<int>(kChecks.size()))
        return nullptr;
    return this->*kChecks[number - 1];
}

void wiegand::makeFormatGroup(QGridLayout* groups, int format)
{
    const QString caption = QStringLiteral("Prox Format # %1").arg(format);
    QFrame* frame = addCaptionedFrame(groups, 0, format - 1, caption);
    QGridLayout* grid = groupGrid(frame, {QStringLiteral("Start"), QStringLiteral("Length"),
                                          QStringLiteral("Lsb"), QStringLiteral("Chars")});

    const ProxFormatControls& controls = kProxFormats[format - 1];
    const QStringList rows{QStringLiteral("Site"), QStringLiteral("ID"), QStringLiteral("Issue")};
    for (int row = 0; row < 3; ++row) {
        const ProxFieldControls& field = controls.fields[row];
        const QString name = caption + u' ' + rows[row] + u' ';
        Text1[field.start] = digitBox(kFormatStartDigits, name + QStringLiteral("Start"), frame);
        Text1[field.length] = digitBox(kFormatLengthDigits, name + QStringLiteral("Length"), frame);
        this->*kChecks[field.lsbCheck - 1] = flagBox(name + QStringLiteral("Lsb"), frame);
        Text1[field.chars] = digitBox(kFormatCharsDigits, name + QStringLiteral("Chars"), frame);

        grid->addWidget(captionFor(rows[row], Text1[field.start], frame), row + 1, 0);
        grid->addWidget(Text1[field.start], row + 1, 1);
        grid->addWidget(Text1[field.length], row + 1, 2);
        grid->addWidget(check(field.lsbCheck), row + 1, 3, Qt::AlignCenter);
        grid->addWidget(Text1[field.chars], row + 1, 4);
    }
    DigitBox* total = digitBox(kTotalBitsDigits, caption + QStringLiteral(" Total Bits"), frame);
    Text1[controls.totalBits] = total;
    grid->addWidget(captionFor(QStringLiteral("Total Bits"), total, frame), 4, 0);
    grid->addWidget(total, 4, 1);
}

void wiegand::makeMaskGroup(QGridLayout* groups, int mask)
{
    const QString caption = QStringLiteral("Prox Mask %1").arg(mask);
    QFrame* frame = addCaptionedFrame(groups, 3, mask - 1, caption);
    QGridLayout* grid = groupGrid(
        frame, {QStringLiteral("Const"), QStringLiteral("Start"), QStringLiteral("Len/Value")});

    for (int row = 1; row <= 5; ++row) {
        const int entry = 5 * (mask - 1) + (row - 1);
        const QString rowCaption = QStringLiteral("Mask %1").arg(row);
        const QString name = caption + u' ' + rowCaption + u' ';
        QCheckBox* constant = flagBox(name + QStringLiteral("Const"), frame);
        this->*kChecks[kMaskConstChecks[entry] - 1] = constant;
        DigitBox* start = digitBox(kMaskStartDigits, name + QStringLiteral("Start"), frame);
        Text2[entry] = start;
        Text3[entry] = digitBox(kLenValueDigits, name + QStringLiteral("Len/Value"), frame);

        // stateChanged rather than clicked: the start-up code switches these
        // boxes too, and must get the same effect as a user's click.
        connect(constant, &QCheckBox::stateChanged, start, [start](int state) {
            // A constant entry has no start bit: pin Start at "00".
            if (state == Qt::Checked) {
                start->setText(QString::fromLatin1(kConstStart));
                start->setEnabled(false);
            } else {
                start->setEnabled(true);
            }
        });

        grid->addWidget(captionFor(rowCaption, constant, frame), row, 0);
        grid->addWidget(constant, row, 1, Qt::AlignCenter);
        grid->addWidget(start, row, 2);
        grid->addWidget(Text3[entry], row, 3);
    }
}

#include "ProxSetupWindow.h"

#include "CardFormats.h"
#include "ConfigLayout.h"
#include "SettingsLimits.h"
#include "SettingsReaders.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

using namespace cardformats;
using namespace configlayout;
using namespace settingslimits;

namespace {

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

ProxSetupWindow::ProxSetupWindow(QWidget* parent) : QWidget(parent)
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
    for (int format = 1; format <= kProxFormatCount; ++format)
        makeFormatGroup(groups, format);
    groups->setRowMinimumHeight(2, 12);
    for (int mask = 1; mask <= kProxMaskCount; ++mask)
        makeMaskGroup(groups, mask);
    groups->setRowMinimumHeight(5, 12);
    makeCardCheck(groups);
    groups->setRowStretch(8, 1);

    // Wired last, once every box exists: any change of a format or of the
    // card shows at once what the card reads as.
    for (const FormatControls& format : formats) {
        connect(format.totalBits, &QLineEdit::textChanged, this, &ProxSetupWindow::refreshFormats);
        for (const FieldControls& field : format.fields) {
            for (DigitBox* box : {field.start, field.length, field.chars})
                connect(box, &QLineEdit::textChanged, this, &ProxSetupWindow::refreshFormats);
            connect(field.lsb, &QCheckBox::stateChanged, this, &ProxSetupWindow::refreshFormats);
        }
    }
    connect(cardData, &QLineEdit::textChanged, this, &ProxSetupWindow::refreshFormats);
    connect(cardBitCount, &QLineEdit::textChanged, this, &ProxSetupWindow::refreshFormats);
    connect(cardDataKind, &QComboBox::currentIndexChanged, this, &ProxSetupWindow::refreshFormats);
    refreshFormats();
}

bool ProxSetupWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A wheel turned over a closed layout list would overwrite a format.
    if (event->type() == QEvent::Wheel &&
        std::find(layoutChoice.begin(), layoutChoice.end(), watched) != layoutChoice.end())
        return true;
    return QWidget::eventFilter(watched, event);
}

void ProxSetupWindow::makeFormatGroup(QGridLayout* groups, int format)
{
    const QString caption = QStringLiteral("Prox Format # %1").arg(format);
    QFrame* frame = addCaptionedFrame(groups, 0, format - 1, caption);
    QGridLayout* grid = groupGrid(frame, {QStringLiteral("Start"), QStringLiteral("Length"),
                                          QStringLiteral("Lsb"), QStringLiteral("Chars")});

    FormatControls& controls = formats[format - 1];
    const QStringList rows{QStringLiteral("Site"), QStringLiteral("ID"), QStringLiteral("Issue")};
    for (int row = 0; row < 3; ++row) {
        FieldControls& field = controls.fields[row];
        const QString name = caption + u' ' + rows[row] + u' ';
        field.start = digitBox(kFormatStartDigits, name + QStringLiteral("Start"), frame);
        field.length = digitBox(kFormatLengthDigits, name + QStringLiteral("Length"), frame);
        field.lsb = flagBox(name + QStringLiteral("Lsb"), frame);
        field.chars = digitBox(kFormatCharsDigits, name + QStringLiteral("Chars"), frame);

        grid->addWidget(captionFor(rows[row], field.start, frame), row + 1, 0);
        grid->addWidget(field.start, row + 1, 1);
        grid->addWidget(field.length, row + 1, 2);
        grid->addWidget(field.lsb, row + 1, 3, Qt::AlignCenter);
        grid->addWidget(field.chars, row + 1, 4);
    }
    DigitBox* total = digitBox(kTotalBitsDigits, caption + QStringLiteral(" Total Bits"), frame);
    controls.totalBits = total;
    grid->addWidget(captionFor(QStringLiteral("Total Bits"), total, frame), 4, 0);
    grid->addWidget(total, 4, 1);

    auto* choice = new QComboBox(frame);
    for (const CardPreset& preset : cardPresets())
        choice->addItem(preset.name);
    choice->setPlaceholderText(QStringLiteral("Custom"));
    choice->setCurrentIndex(-1);
    choice->setAccessibleName(caption + QStringLiteral(" Layout"));
    choice->setToolTip(QStringLiteral("Fill this format from a standard card layout"));
    choice->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    choice->setMinimumContentsLength(6);
    choice->setFocusPolicy(Qt::StrongFocus);
    choice->installEventFilter(this);
    connect(choice, &QComboBox::activated, this,
            [this, format](int preset) { applyLayout(format - 1, preset); });
    layoutChoice[format - 1] = choice;
    grid->addWidget(captionFor(QStringLiteral("Layout"), choice, frame), 5, 0);
    grid->addWidget(choice, 5, 1, 1, 4);
}

void ProxSetupWindow::applyLayout(int format, int preset)
{
    if (preset < 0 || preset >= cardPresets().size())
        return;
    // The boxes are set as a user would type them, so validation and the
    // programming commands see nothing but box values.
    writeProxFormat(formats[format], presetValues(cardPresets()[preset]));
}

void ProxSetupWindow::makeCardCheck(QGridLayout* groups)
{
    // A plain container spanning the three columns holds the captioned frame.
    auto* area = new QWidget(this);
    auto* areaGrid = new QGridLayout(area);
    areaGrid->setContentsMargins(0, 0, 0, 0);
    areaGrid->setVerticalSpacing(2);
    groups->addWidget(area, 6, 0, 1, 3);
    QFrame* frame = addCaptionedFrame(areaGrid, 0, 0, QStringLiteral("Check a Card"));

    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(6, 4, 6, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    cardData = new QLineEdit(frame);
    cardData->setMaxLength(1024);
    cardData->setAccessibleName(QStringLiteral("Card Data"));
    cardData->setToolTip(
        QStringLiteral("The card's raw data, as the reader's bit stream gives it"));
    cardDataKind = new QComboBox(frame);
    cardDataKind->addItems({QStringLiteral("Hex"), QStringLiteral("Bits")});
    cardDataKind->setAccessibleName(QStringLiteral("Card Data written as"));
    cardBitCount = new DigitBox(kTotalBitsDigits, frame);
    cardBitCount->setAccessibleName(QStringLiteral("Bit Count"));
    const int digits = cardBitCount->fontMetrics().horizontalAdvance(QStringLiteral("000"));
    cardBitCount->setFixedWidth(digits + 12);

    auto* dataRow = new QHBoxLayout;
    dataRow->setSpacing(6);
    dataRow->addWidget(cardData, 1);
    dataRow->addWidget(cardDataKind);
    QLabel* countCaption = captionFor(QStringLiteral("Bit Count"), cardBitCount, frame);
    dataRow->addSpacing(8);
    dataRow->addWidget(countCaption);
    dataRow->addWidget(cardBitCount);
    grid->addWidget(captionFor(QStringLiteral("Card Data"), cardData, frame), 0, 0);
    grid->addLayout(dataRow, 0, 1);

    // Values change with every keystroke: their text is what assistive
    // technology reads, and each caption names its value as buddy.
    auto valueLabel = [frame]() {
        auto* label = new QLabel(frame);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // Long bit strings are cut at the frame instead of widening the window.
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        return label;
    };
    cardSummary = valueLabel();
    grid->addWidget(captionFor(QStringLiteral("Card"), cardSummary, frame), 1, 0);
    grid->addWidget(cardSummary, 1, 1);
    for (int format = 0; format < 3; ++format) {
        cardResults[format] = valueLabel();
        const QString caption = QStringLiteral("Prox Format # %1").arg(format + 1);
        grid->addWidget(captionFor(caption, cardResults[format], frame), format + 2, 0);
        grid->addWidget(cardResults[format], format + 2, 1);
    }
    grid->setColumnStretch(1, 1);
}

void ProxSetupWindow::refreshFormats()
{
    const ProxValues values = readProxValues(*this);
    const CardDataKind kind =
        cardDataKind->currentIndex() == 1 ? CardDataKind::Bits : CardDataKind::Hex;
    const Card card = readCard(cardData->text(), kind, cardBitCount->text());
    cardSummary->setText(describeCard(card));
    for (int format = 0; format < 3; ++format) {
        const FormatLayout layout = formatLayout(values.formats[format]);
        layoutChoice[format]->setCurrentIndex(matchingPreset(layout));
        const FormatReading reading = readFormat(card.bits, layout);
        cardResults[format]->setText(
            describeFormat(reading, layout, static_cast<int>(card.bits.size())));
    }
}

void ProxSetupWindow::makeMaskGroup(QGridLayout* groups, int mask)
{
    const QString caption = QStringLiteral("Prox Mask %1").arg(mask);
    QFrame* frame = addCaptionedFrame(groups, 3, mask - 1, caption);
    QGridLayout* grid = groupGrid(
        frame, {QStringLiteral("Const"), QStringLiteral("Start"), QStringLiteral("Len/Value")});

    for (int row = 1; row <= kProxMaskRows; ++row) {
        const QString rowCaption = QStringLiteral("Mask %1").arg(row);
        const QString name = caption + u' ' + rowCaption + u' ';
        QCheckBox* constant = flagBox(name + QStringLiteral("Const"), frame);
        DigitBox* start = digitBox(kMaskStartDigits, name + QStringLiteral("Start"), frame);
        DigitBox* value = digitBox(kLenValueDigits, name + QStringLiteral("Len/Value"), frame);
        masks[mask - 1][row - 1] = {constant, start, value};

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
        grid->addWidget(value, row, 3);
    }
}

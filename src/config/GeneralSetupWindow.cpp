#include "GeneralSetupWindow.h"

#include "ConfigLayout.h"
#include "SettingsLimits.h"
#include "widgets/DigitBox.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using namespace configlayout;
using namespace settingslimits;

namespace {

// A captioned frame at (row, 0) of `column`, with a grid for its controls.
QGridLayout* addGroup(QGridLayout* column, int row, const QString& caption)
{
    QFrame* frame = addCaptionedFrame(column, row, 0, caption);
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(12, 8, 12, 8);
    grid->setHorizontalSpacing(12);
    grid->setColumnStretch(2, 1);
    return grid;
}

QCheckBox* addCheck(QGridLayout* grid, const QString& caption)
{
    auto* box = new QCheckBox(caption, grid->parentWidget());
    grid->addWidget(box, grid->rowCount(), 0, 1, 3);
    return box;
}

// A caption beside its box, one row of the group's grid.
DigitBox* addDigits(QGridLayout* grid, const QString& caption, int maxLength)
{
    QWidget* frame = grid->parentWidget();
    DigitBox* box = digitBox(maxLength, caption, frame);
    const int row = grid->rowCount();
    grid->addWidget(captionFor(caption, box, frame), row, 0);
    grid->addWidget(box, row, 1);
    return box;
}

} // namespace

GeneralSetupWindow::GeneralSetupWindow(QWidget* parent) : QWidget(parent)
{
    paintSettingsBackground(this);

    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(24, 12, 24, 12);
    columns->setSpacing(24);
    auto* left = new QGridLayout;
    auto* right = new QGridLayout;
    // Captions sit right on their frames; the gap goes between groups.
    left->setSpacing(2);
    right->setSpacing(2);
    left->setRowMinimumHeight(2, 20);
    left->setRowMinimumHeight(5, 20);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    QGridLayout* group = addGroup(left, 0, QStringLiteral("Proximity Settings"));
    beepOnGoodRead = addCheck(group, QStringLiteral("Beep on Good Read"));
    maskingOn = addCheck(group, QStringLiteral("Masking On"));

    group = addGroup(left, 3, QStringLiteral("Card Selection"));
    hid = addCheck(group, QStringLiteral("HID"));
    farpointe = addCheck(group, QStringLiteral("Farpointe"));
    awid = addCheck(group, QStringLiteral("AWID"));

    group = addGroup(left, 6, QStringLiteral("Options"));
    lowPowerSettingBox = addDigits(group, QStringLiteral("Low Power Setting"), kLowPowerDigits);
    sleepTimeBox = addDigits(group, QStringLiteral("Sleep Time"), kSleepTimeDigits);

    group = addGroup(right, 0, QStringLiteral("Storage Settings"));
    includeDateTime = addCheck(group, QStringLiteral("Include Date/Time"));
    includeReaderId = addCheck(group, QStringLiteral("Include Reader ID"));
    includeReaderDescription = addCheck(group, QStringLiteral("Include Reader Description"));
    group->setRowMinimumHeight(group->rowCount(), 8);
    idLengthBox = addDigits(group, QStringLiteral("ID Length"), kIdLengthDigits);
    readerIdBox = addDigits(group, QStringLiteral("Reader ID"), kReaderIdDigits);
    readerDescriptionBox =
        addDigits(group, QStringLiteral("Reader Description"), kReaderDescriptionDigits);

    left->setRowStretch(left->rowCount(), 1);
    right->setRowStretch(right->rowCount(), 1);
}

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

QCheckBox* addCheck(const QString& caption, QFrame* frame, QGridLayout* grid)
{
    auto* box = new QCheckBox(caption, frame);
    grid->addWidget(box, grid->rowCount(), 0, 1, 3);
    return box;
}

// A caption beside its box, one row of the frame's grid.
DigitBox* addDigits(int maxLength, const QString& caption, QFrame* frame, QGridLayout* grid,
                    QLabel** captionOut)
{
    DigitBox* box = digitBox(maxLength, caption, frame);
    const int row = grid->rowCount();
    *captionOut = captionFor(caption, box, frame);
    grid->addWidget(*captionOut, row, 0);
    grid->addWidget(box, row, 1);
    return box;
}

QGridLayout* frameGrid(QFrame* frame)
{
    auto* grid = new QGridLayout(frame);
    grid->setContentsMargins(12, 8, 12, 8);
    grid->setHorizontalSpacing(12);
    grid->setColumnStretch(2, 1);
    return grid;
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

    QFrame* frame = addCaptionedFrame(left, 0, 0, QStringLiteral("Proximity Settings"), &Label1[0]);
    Shape5[0] = frame;
    QGridLayout* grid = frameGrid(frame);
    Check5 = addCheck(QStringLiteral("Beep on Good Read"), frame, grid);
    Check8 = addCheck(QStringLiteral("Masking On"), frame, grid);

    frame = addCaptionedFrame(left, 3, 0, QStringLiteral("Card Selection"), &Label1[1]);
    Shape5[1] = frame;
    grid = frameGrid(frame);
    Check6 = addCheck(QStringLiteral("HID"), frame, grid);
    Check15 = addCheck(QStringLiteral("Farpointe"), frame, grid);
    Check16 = addCheck(QStringLiteral("AWID"), frame, grid);

    frame = addCaptionedFrame(left, 6, 0, QStringLiteral("Options"), &Label1[2]);
    Shape5[2] = frame;
    grid = frameGrid(frame);
    Text5[3] =
        addDigits(kLowPowerDigits, QStringLiteral("Low Power Setting"), frame, grid, &Label6[3]);
    Text5[2] = addDigits(kSleepTimeDigits, QStringLiteral("Sleep Time"), frame, grid, &Label6[2]);

    frame = addCaptionedFrame(right, 0, 0, QStringLiteral("Storage Settings"), &Label1[3]);
    Shape5[3] = frame;
    grid = frameGrid(frame);
    Check1 = addCheck(QStringLiteral("Include Date/Time"), frame, grid);
    Check7 = addCheck(QStringLiteral("Include Reader ID"), frame, grid);
    Check18 = addCheck(QStringLiteral("Include Reader Description"), frame, grid);
    grid->setRowMinimumHeight(grid->rowCount(), 8);
    Text5[0] = addDigits(kIdLengthDigits, QStringLiteral("ID Length"), frame, grid, &Label6[0]);
    Text5[7] = addDigits(kReaderIdDigits, QStringLiteral("Reader ID"), frame, grid, &Label6[7]);
    Text5[8] = addDigits(kReaderDescriptionDigits, QStringLiteral("Reader Description"), frame,
                         grid, &Label6[8]);

    left->setRowStretch(left->rowCount(), 1);
    right->setRowStretch(right->rowCount(), 1);
}

#include "ConfigLayout.h"

#include "widgets/DigitBox.h"
#include "widgets/Palette.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>

#include <algorithm>

namespace configlayout {

void paintSettingsBackground(QWidget* window)
{
    paintBackground(window, kWindowGrey);
}

QFrame* addCaptionedFrame(QGridLayout* grid, int row, int column, const QString& caption)
{
    QWidget* window = grid->parentWidget();
    auto* label = new QLabel(caption, window);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);

    auto* frame = new QFrame(window);
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    frame->setAccessibleName(caption);
    grid->addWidget(label, row, column, Qt::AlignLeft | Qt::AlignBottom);
    grid->addWidget(frame, row + 1, column);
    return frame;
}

DigitBox* digitBox(int maxLength, const QString& accessibleName, QWidget* parent)
{
    auto* box = new DigitBox(maxLength, parent);
    box->setAccessibleName(accessibleName);
    // Room for the digits plus the frame and text margins, so the grids of
    // the prox window fit side by side.
    const int digits = box->fontMetrics().horizontalAdvance(QString(std::max(maxLength, 2), u'0'));
    box->setFixedWidth(digits + 12);
    return box;
}

QLabel* captionFor(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace configlayout

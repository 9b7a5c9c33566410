#pragma once

#include <QString>

class DigitBox;
class QFrame;
class QGridLayout;
class QLabel;
class QWidget;

// Look shared by the two settings windows: grey background, bold group
// captions over framed areas, digit boxes sized for their longest input.
namespace configlayout {

void paintSettingsBackground(QWidget* window);

// Puts a bold caption at (row, column) of `grid` and a framed area below it;
// the frame is returned to hold the group's controls.
QFrame* addCaptionedFrame(QGridLayout* grid, int row, int column, const QString& caption);

// A digit box just wide enough for `maxLength` digits, named for assistive
// technology since grid boxes have no caption of their own.
DigitBox* digitBox(int maxLength, const QString& accessibleName, QWidget* parent);

// A plain caption that names `buddy`, so assistive technology reads it out.
QLabel* captionFor(const QString& text, QWidget* buddy, QWidget* parent);

} // namespace configlayout

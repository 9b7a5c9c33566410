#pragma once

#include <QLineEdit>

// A text box that holds decimal digits only, up to maxLength of them.
// Typed characters other than digits are discarded, and so is a paste that
// holds anything but digits, so no other character can reach a reader command.
class DigitBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit DigitBox(int maxLength, QWidget* parent = nullptr);
};

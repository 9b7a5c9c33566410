#include "DigitBox.h"

#include <QRegularExpressionValidator>

DigitBox::DigitBox(int maxLength, QWidget* parent) : QLineEdit(parent)
{
    // The length is the validator's, not the box's maximum length: a maximum
    // length would cut a paste such as "12a" to "12" before it is checked,
    // instead of refusing it as a typed key would be.
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,%1}").arg(maxLength)), this));
}

#include "DigitBox.h"

#include <QRegularExpressionValidator>

DigitBox::DigitBox(int maxLength, QWidget* parent) : QLineEdit(parent)
{
    setMaxLength(maxLength);
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
}

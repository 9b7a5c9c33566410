#include "Palette.h"

#include <QWidget>

void paintBackground(QWidget* widget, const QColor& colour, QPalette::ColorRole role)
{
    widget->setAutoFillBackground(true);
    QPalette pal = widget->palette();
    pal.setColor(role, colour);
    widget->setPalette(pal);
}

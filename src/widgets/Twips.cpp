#include "Twips.h"

#include <QWidget>

int twipsToPixels(int twips, const QWidget* widget)
{
    return twips * widget->logicalDpiX() / 1440;
}

QRect twipsRect(int left, int top, int width, int height, const QWidget* widget)
{
    return QRect(twipsToPixels(left, widget), twipsToPixels(top, widget),
                 twipsToPixels(width, widget), twipsToPixels(height, widget));
}

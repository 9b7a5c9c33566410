#pragma once

#include <QRect>

class QWidget;

// Window measures are given in twips (1440 to the inch); the screen's
// logical DPI turns them into pixels.
int twipsToPixels(int twips, const QWidget* widget);

// A rectangle given as left, top, width, height in twips.
QRect twipsRect(int left, int top, int width, int height, const QWidget* widget);

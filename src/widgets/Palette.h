#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

// The light grey most windows and panes are drawn in.
inline const QColor kWindowGrey(192, 192, 192);
// The command menu and the buttons drawn in its colour.
inline const QColor kTeal(0, 128, 128);

// Fills the widget's background with the colour in the given role
// (Window for a window, Base for an edit pane) and keeps it filled.
void paintBackground(QWidget* widget, const QColor& colour,
                     QPalette::ColorRole role = QPalette::Window);

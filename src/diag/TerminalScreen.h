#pragma once

#include "TerminalGrid.h"

#include <QFont>
#include <QImage>
#include <QTimer>
#include <QWidget>

// The terminal's picture area: a drawing surface that keeps what was drawn
// until it is cleared, across repaints and window changes. Cells reach it from
// the grid in batches, so a fast stream costs one repaint per batch rather
// than one per byte; every byte still passes through the grid in order.
class TerminalScreen : public QWidget
{
    Q_OBJECT
public:
    // Longest time a drawn cell waits before it shows.
    static constexpr int kRepaintMs = 15;

    TerminalScreen(TerminalGrid& grid, QWidget* parent);

    // Asks for the grid's new cells to be drawn soon.
    void scheduleDrawing();
    // Draws the grid's new cells now.
    void drawPending();

    // What the screen shows, as text (see TerminalGrid::text).
    QString text() const;
    // What the surface holds, at device resolution.
    const QImage& surface() const { return m_surface; }
    // Cell (column, row), 1-based, in widget pixels.
    QRectF cellRect(int column, int row) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void drawCell(QPainter& painter, const TerminalGrid::Cell& cell);
    qreal twips(int value) const;

    TerminalGrid& m_grid;
    QImage m_surface;
    QFont m_charFont;
    QFont m_hexFont;
    qreal m_charAscent = 0;
    qreal m_hexAscent = 0;
    QTimer m_repaintTimer;
};

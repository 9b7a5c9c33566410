#include "TerminalScreen.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr int kCellWidthTwips = 250;
constexpr int kCellHeightTwips = 275;
// The two hex digits sit diagonally in the cell.
constexpr int kHexFirstDownTwips = 25;
constexpr int kHexSecondAcrossTwips = 100;
constexpr int kHexSecondDownTwips = 100;

QFont screenFont(int points)
{
    QFont font(QStringLiteral("Courier New"), points);
    font.setBold(true);
    // Where Courier New is missing, another fixed-pitch face stands in.
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch()) {
        QFont fallback = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fallback.setPointSize(points);
        fallback.setBold(true);
        return fallback;
    }
    return font;
}

QColor inkColor(TerminalGrid::Ink ink)
{
    return ink == TerminalGrid::Ink::Received ? QColor(255, 0, 0) : QColor(0, 0, 0);
}

// What a screen reader finds on the screen: its cells as text.
class ScreenAccessible : public QAccessibleWidget
{
public:
    explicit ScreenAccessible(TerminalScreen* screen)
        : QAccessibleWidget(screen, QAccessible::Terminal), m_screen(screen)
    {
    }
    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return m_screen->text();
        return QAccessibleWidget::text(kind);
    }

private:
    TerminalScreen* m_screen;
};

QAccessibleInterface* accessibleScreen(const QString& className, QObject* object)
{
    if (className == QLatin1String("TerminalScreen") && object && object->isWidgetType())
        return new ScreenAccessible(static_cast<TerminalScreen*>(object));
    return nullptr;
}

} // namespace

TerminalScreen::TerminalScreen(TerminalGrid& grid, QWidget* parent)
    : QWidget(parent), m_grid(grid), m_charFont(screenFont(14)), m_hexFont(screenFont(10))
{
    static const bool accessible = (QAccessible::installFactory(accessibleScreen), true);
    Q_UNUSED(accessible);
    setAccessibleName(QStringLiteral("Terminal screen"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Text is placed by the top of its cell; the painter places it by its baseline.
    m_charAscent = QFontMetricsF(m_charFont, this).ascent();
    m_hexAscent = QFontMetricsF(m_hexFont, this).ascent();
    m_repaintTimer.setSingleShot(true);
    m_repaintTimer.setInterval(kRepaintMs);
    connect(&m_repaintTimer, &QTimer::timeout, this, &TerminalScreen::drawPending);
}

qreal TerminalScreen::twips(int value) const
{
    return value * logicalDpiX() / 1440.0;
}

QRectF TerminalScreen::cellRect(int column, int row) const
{
    return QRectF(twips((column - 1) * kCellWidthTwips), twips((row - 1) * kCellHeightTwips),
                  twips(kCellWidthTwips), twips(kCellHeightTwips));
}

void TerminalScreen::resizeEvent(QResizeEvent*)
{
    const qreal ratio = devicePixelRatioF();
    QImage surface(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    surface.setDevicePixelRatio(ratio);
    // Point sizes on the surface must come out as on the screen.
    surface.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    surface.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    surface.fill(Qt::white);
    if (!m_surface.isNull()) {
        QPainter painter(&surface);
        painter.drawImage(QPointF(0, 0), m_surface);
    }
    m_surface = surface;
}

void TerminalScreen::scheduleDrawing()
{
    if (!m_repaintTimer.isActive())
        m_repaintTimer.start();
}

void TerminalScreen::drawPending()
{
    m_repaintTimer.stop();
    const TerminalGrid::Drawing drawing = m_grid.takeDrawing();
    if (!drawing.cleared && drawing.cells.empty())
        return;
    if (m_surface.isNull())
        resizeEvent(nullptr);
    if (drawing.cleared)
        m_surface.fill(Qt::white);
    QPainter painter(&m_surface);
    for (const TerminalGrid::Cell& cell : drawing.cells)
        drawCell(painter, cell);
    painter.end();
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, text());
        QAccessible::updateAccessibility(&changed);
    }
}

QString TerminalScreen::text() const
{
    return m_grid.text();
}

void TerminalScreen::drawCell(QPainter& painter, const TerminalGrid::Cell& cell)
{
    const QRectF place = cellRect(cell.column, cell.row);
    painter.setPen(inkColor(cell.ink));
    if (!cell.hex) {
        painter.setFont(m_charFont);
        painter.drawText(QPointF(place.left(), place.top() + m_charAscent),
                         QString(QChar(cell.code)));
        return;
    }
    const QString hex = TerminalGrid::hexText(cell.code);
    painter.setFont(m_hexFont);
    const qreal ascent = m_hexAscent;
    painter.drawText(QPointF(place.left(), place.top() + twips(kHexFirstDownTwips) + ascent),
                     hex.left(1));
    painter.drawText(QPointF(place.left() + twips(kHexSecondAcrossTwips),
                             place.top() + twips(kHexSecondDownTwips) + ascent),
                     hex.right(1));
}

void TerminalScreen::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.drawImage(event->rect(), m_surface,
                      QRectF(QPointF(event->rect().topLeft()) * m_surface.devicePixelRatio(),
                             QSizeF(event->rect().size()) * m_surface.devicePixelRatio()));
}

#include "ClickLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

ClickLabel::ClickLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    // No accessible name of its own: Qt reads out the label's current text, so
    // a status line, a value field or the connection state is heard as it changes.
}

void ClickLabel::setButtonLook()
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(224, 224, 224));
    setPalette(pal);
    setAlignment(Qt::AlignCenter);
    // Reachable from the keyboard as a button would be.
    setFocusPolicy(Qt::StrongFocus);
}

void ClickLabel::setTextColor(const QColor& color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    setPalette(pal);
}

QColor ClickLabel::textColor() const
{
    return palette().color(QPalette::WindowText);
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double-click; its release is no click of its own.
    if (event->button() == Qt::LeftButton)
        m_releaseEndsDoubleClick = true;
    QLabel::mouseDoubleClickEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool secondOfDouble =
        event->button() == Qt::LeftButton && std::exchange(m_releaseEndsDoubleClick, false);
    if (event->button() == Qt::LeftButton && !secondOfDouble &&
        rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickLabel::keyPressEvent(QKeyEvent* event)
{
    if (focusPolicy() != Qt::NoFocus &&
        (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
         event->key() == Qt::Key_Enter)) {
        // A held key repeats its press; it acts once, as a button does.
        if (!event->isAutoRepeat())
            emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

void ClickLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // A dotted frame in the text's colour, inside the edge, shows where the
    // keyboard is on grey buttons and on the teal menu alike.
    QPainter painter(this);
    painter.setPen(QPen(textColor(), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
}

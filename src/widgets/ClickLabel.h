#pragma once

#include <QLabel>

// A label that reacts to a click: the command buttons of the working
// windows and the entries of the command menu.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickLabel(const QString& text, QWidget* parent = nullptr);

    // Draws the label as a command button: light grey, centred text.
    void setButtonLook();

    // Text colour, kept in the palette so it can be read back.
    void setTextColor(const QColor& color);
    QColor textColor() const;

signals:
    void clicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // A double-click acts once, as a button does: a label gets a release for
    // each of its two clicks.
    bool m_releaseEndsDoubleClick = false;
};

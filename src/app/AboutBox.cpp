#include "AboutBox.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("About"));
    setModal(true);

    auto* picture = new QLabel(this);
    picture->setPixmap(readerPicture(96));
    picture->setAlignment(Qt::AlignCenter);
    picture->setAccessibleName(QStringLiteral("Card reader"));

    auto* product = new QLabel(QStringLiteral("KARVEL  Utility V2.1"), this);
    QFont productFont = product->font();
    productFont.setBold(true);
    productFont.setPointSize(productFont.pointSize() + 4);
    product->setFont(productFont);
    product->setAlignment(Qt::AlignCenter);

    auto* date = new QLabel(QStringLiteral("Updated January 10, 2014"), this);
    date->setAlignment(Qt::AlignCenter);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(product);
    layout->addWidget(date);
    layout->addWidget(buttons);
    layout->setContentsMargins(24, 24, 24, 16);
}

QPixmap AboutBox::readerPicture(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 96.0;
    painter.scale(s, s);

    // Reader body with its status lamp.
    painter.setPen(QPen(QColor(20, 40, 40), 2));
    painter.setBrush(QColor(0, 96, 96));
    painter.drawRoundedRect(QRectF(30, 8, 36, 80), 8, 8);
    painter.setBrush(QColor(0, 255, 0));
    painter.drawEllipse(QPointF(48, 20), 4, 4);

    // Waves of the field that reads a card.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(255, 255, 255), 2));
    for (int r = 8; r <= 20; r += 6)
        painter.drawArc(QRectF(48 - r, 52 - r, 2 * r, 2 * r), 30 * 16, 120 * 16);

    // A card held in front of the reader.
    painter.setPen(QPen(QColor(80, 60, 0), 1.5));
    painter.setBrush(QColor(255, 220, 80));
    painter.drawRoundedRect(QRectF(8, 58, 40, 26), 3, 3);
    return pixmap;
}

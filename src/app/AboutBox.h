#pragma once

#include <QDialog>

// The about box: a picture, the product name and the date of this version.
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    // The reader drawn for the box.
    static QPixmap readerPicture(int size);
};

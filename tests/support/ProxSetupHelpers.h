#pragma once

#include "config/ProxSetupWindow.h"
#include "widgets/DigitBox.h"

#include <QComboBox>
#include <QStringList>
#include <QTest>

// The mask rows' Start boxes, mask 1 row 1 first: entries 0 to 14.
inline QList<DigitBox*> maskStarts(const ProxSetupWindow& prox)
{
    QList<DigitBox*> starts;
    for (const ProxSetupWindow::MaskControls& mask : prox.masks) {
        for (const ProxSetupWindow::MaskRowControls& row : mask)
            starts << row.start;
    }
    return starts;
}

// The Start boxes that read other than text or are locked, as "9: 00, locked".
inline QStringList startsOtherThan(const ProxSetupWindow& prox, const QString& text)
{
    QStringList found;
    const QList<DigitBox*> starts = maskStarts(prox);
    for (qsizetype entry = 0; entry < starts.size(); ++entry) {
        if (starts[entry]->text() != text || !starts[entry]->isEnabled())
            found << QStringLiteral("%1: %2%3")
                         .arg(entry)
                         .arg(starts[entry]->text(), starts[entry]->isEnabled() ? "" : ", locked");
    }
    return found;
}

// Chooses a standard card layout for format 0, 1 or 2 as a user does.
inline void chooseLayout(ProxSetupWindow& prox, int format, const QString& name)
{
    QComboBox* choice = prox.layoutChoice[format];
    const int index = choice->findText(name);
    QVERIFY2(index >= 0, qPrintable(name));
    choice->setCurrentIndex(index);
    emit choice->activated(index);
}

#pragma once

#include <QWidget>

class DigitBox;
class QCheckBox;

// General setup: reader options that are not about card bit formats. The
// controls are the only store of these settings; the start-up code fills
// them and the programming run reads them, both directly.
class GeneralSetupWindow : public QWidget
{
    Q_OBJECT
public:
    explicit GeneralSetupWindow(QWidget* parent);

    // Grouped as the window shows them, under their group captions.
    // Proximity Settings
    QCheckBox* beepOnGoodRead = nullptr;
    QCheckBox* maskingOn = nullptr;
    // Card Selection
    QCheckBox* hid = nullptr;
    QCheckBox* farpointe = nullptr;
    QCheckBox* awid = nullptr;
    // Options
    DigitBox* lowPowerSettingBox = nullptr;
    DigitBox* sleepTimeBox = nullptr;
    // Storage Settings
    QCheckBox* includeDateTime = nullptr;
    QCheckBox* includeReaderId = nullptr;
    QCheckBox* includeReaderDescription = nullptr;
    DigitBox* idLengthBox = nullptr;
    DigitBox* readerIdBox = nullptr;
    DigitBox* readerDescriptionBox = nullptr;
};

#pragma once

#include <QWidget>

#include <array>

class DigitBox;
class QCheckBox;
class QFrame;
class QLabel;

// General setup: reader options that are not about card bit formats. The
// controls are the only store of these settings; the start-up code fills
// them and the programming run reads them, both directly.
class GeneralSetupWindow : public QWidget
{
    Q_OBJECT
public:
    explicit GeneralSetupWindow(QWidget* parent);

    QCheckBox* Check1 = nullptr;  // Include Date/Time
    QCheckBox* Check5 = nullptr;  // Beep on Good Read
    QCheckBox* Check6 = nullptr;  // HID
    QCheckBox* Check7 = nullptr;  // Include Reader ID
    QCheckBox* Check8 = nullptr;  // Masking On
    QCheckBox* Check15 = nullptr; // Farpointe
    QCheckBox* Check16 = nullptr; // AWID
    QCheckBox* Check18 = nullptr; // Include Reader Description

    // Only indices 0 (ID Length), 2 (Sleep Time), 3 (Low Power Setting),
    // 7 (Reader ID) and 8 (Reader Description) exist; the others stay null.
    std::array<DigitBox*, 9> Text5{};
    // The caption beside each box, at the index of its box.
    std::array<QLabel*, 9> Label6{};

    // Group captions and the frames below them: Proximity Settings, Card
    // Selection, Options, Storage Settings.
    std::array<QLabel*, 4> Label1{};
    std::array<QFrame*, 4> Shape5{};
};

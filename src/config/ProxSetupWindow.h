#pragma once

#include "SettingsValues.h"

#include <QWidget>

#include <array>

class DigitBox;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;

// Prox setup: three card formats and three masks. The controls are the only
// store of these values; the start-up code fills them, validation and the
// programming run read them, all directly.
class ProxSetupWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ProxSetupWindow(QWidget* parent);

    // The boxes of one field of a format; see ProxFieldValues.
    struct FieldControls
    {
        DigitBox* start = nullptr;
        DigitBox* length = nullptr;
        QCheckBox* lsb = nullptr;
        DigitBox* chars = nullptr;
    };
    struct FormatControls
    {
        std::array<FieldControls, 3> fields{}; // Site, ID, Issue
        DigitBox* totalBits = nullptr;
    };
    // One row of a mask; checking `constant` pins and locks its Start.
    struct MaskRowControls
    {
        QCheckBox* constant = nullptr;
        DigitBox* start = nullptr;
        DigitBox* value = nullptr; // Len/Value
    };
    using MaskControls = std::array<MaskRowControls, kProxMaskRows>;

    std::array<FormatControls, kProxFormatCount> formats{};
    std::array<MaskControls, kProxMaskCount> masks{};

    // Per format: choosing a standard layout fills the format's boxes; the
    // choice shown is the layout the boxes hold now, or none ("Custom").
    std::array<QComboBox*, 3> layoutChoice{};

    // The card check: a card's raw data, read against every format.
    QLineEdit* cardData = nullptr;
    QComboBox* cardDataKind = nullptr; // "Hex" or "Bits"
    DigitBox* cardBitCount = nullptr;
    QLabel* cardSummary = nullptr;
    std::array<QLabel*, 3> cardResults{};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeFormatGroup(QGridLayout* groups, int format);
    void makeMaskGroup(QGridLayout* groups, int mask);
    void makeCardCheck(QGridLayout* groups);
    void applyLayout(int format, int preset);
    // Shows which layout each format holds and what the card decodes to.
    void refreshFormats();
};

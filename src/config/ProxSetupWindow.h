#pragma once

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

    // The formats: Start, Length, Chars and Total Bits boxes, in the
    // irregular order the programming commands use (see kProxFormats).
    std::array<DigitBox*, 30> Text1{};
    // Mask entry i = 5 * (mask - 1) + (row - 1): its Start and Len/Value.
    std::array<DigitBox*, 15> Text2{};
    std::array<DigitBox*, 15> Text3{};

    // Lsb flags: Check1-3 (format 1), Check14-16 (format 2), Check22-24
    // (format 3). Const flags: Check4-8 (mask 1, rows 1-5), Check13 down to
    // Check9 (mask 2), Check21 down to Check17 (mask 3).
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QCheckBox* Check4 = nullptr;
    QCheckBox* Check5 = nullptr;
    QCheckBox* Check6 = nullptr;
    QCheckBox* Check7 = nullptr;
    QCheckBox* Check8 = nullptr;
    QCheckBox* Check9 = nullptr;
    QCheckBox* Check10 = nullptr;
    QCheckBox* Check11 = nullptr;
    QCheckBox* Check12 = nullptr;
    QCheckBox* Check13 = nullptr;
    QCheckBox* Check14 = nullptr;
    QCheckBox* Check15 = nullptr;
    QCheckBox* Check16 = nullptr;
    QCheckBox* Check17 = nullptr;
    QCheckBox* Check18 = nullptr;
    QCheckBox* Check19 = nullptr;
    QCheckBox* Check20 = nullptr;
    QCheckBox* Check21 = nullptr;
    QCheckBox* Check22 = nullptr;
    QCheckBox* Check23 = nullptr;
    QCheckBox* Check24 = nullptr;

    // CheckN for N = 1..24, for code that walks all of them.
    QCheckBox* check(int number) const;

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

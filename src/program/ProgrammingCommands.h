#pragma once

#include <QByteArray>
#include <QString>
#include <Qt>

#include <array>

// What the general setup window shows, read from its controls right before a
// command is built. Check states are taken as QCheckBox::checkState() gives
// them: only Qt::Checked sends "1"; the grey Qt::PartiallyChecked counts as
// unchecked, like Qt::Unchecked.
struct GeneralValues
{
    Qt::CheckState beepOnGoodRead = Qt::Unchecked;           // Check5
    Qt::CheckState maskingOn = Qt::Unchecked;                // Check8
    Qt::CheckState hid = Qt::Unchecked;                      // Check6
    Qt::CheckState farpointe = Qt::Unchecked;                // Check15
    Qt::CheckState awid = Qt::Unchecked;                     // Check16
    Qt::CheckState includeDateTime = Qt::Unchecked;          // Check1
    Qt::CheckState includeReaderId = Qt::Unchecked;          // Check7
    Qt::CheckState includeReaderDescription = Qt::Unchecked; // Check18

    // Box texts as typed; never converted to numbers.
    QString lowPowerSetting;   // Text5(3)
    QString sleepTime;         // Text5(2)
    QString idLength;          // Text5(0)
    QString readerId;          // Text5(7)
    QString readerDescription; // Text5(8)
};

// What the prox format window shows, indexed exactly like its controls so the
// window can copy them one to one: Text1(i) -> Text1[i], CheckN -> Check[N].
struct ProxValues
{
    std::array<QString, 30> Text1; // the three formats, see kProxFormats
    std::array<QString, 15> Text2; // mask entry i: Start
    std::array<QString, 15> Text3; // mask entry i: Len/Value
    // Index = control number 1..24 (0 unused). Only the nine Lsb boxes named
    // in kProxFormats are read; the Const boxes need not be filled.
    std::array<Qt::CheckState, 25> Check{};
};

// Which controls of the prox window hold one field of a format.
struct ProxFieldControls
{
    int start;    // Text1 index
    int length;   // Text1 index
    int chars;    // Text1 index
    int lsbCheck; // Check number
};

struct ProxFormatControls
{
    int totalBits;                           // Text1 index
    std::array<ProxFieldControls, 3> fields; // Site, ID, Issue
};

// Formats 1 to 3 at indices 0 to 2; the layout is irregular, so it lives in
// one place shared by validation and command building.
inline constexpr std::array<ProxFormatControls, 3> kProxFormats{{
    {3, {{{1, 4, 6, 1}, {0, 5, 7, 2}, {2, 8, 9, 3}}}},
    {16, {{{10, 12, 17, 14}, {11, 13, 18, 15}, {14, 15, 19, 16}}}},
    {26, {{{20, 22, 27, 22}, {21, 23, 28, 23}, {24, 25, 29, 24}}}},
}};

inline constexpr int kProgrammingSteps = 19;

// "1" for Qt::Checked, "0" for anything else.
QString checkFlag(Qt::CheckState state);

// Zn: the text right-aligned in `width` characters, zero-filled on the left;
// a longer text keeps only its rightmost `width` characters.
QString zeroFilled(const QString& text, int width);

// Sn: as zeroFilled, but filled with spaces.
QString spaceFilled(const QString& text, int width);

// The command text of programming step 1..kProgrammingSteps, without link
// framing, built from the values as they are now. Empty for any other step.
QByteArray buildStepCommand(int step, const GeneralValues& general, const ProxValues& prox);

// The line shown when the reader does not answer step 1..kProgrammingSteps;
// empty for any other step.
QString stepTimeoutText(int step);

#pragma once

#include <QString>
#include <Qt>

#include <array>

// What the general setup window shows, read from its controls right before a
// command is built. Check states are taken as QCheckBox::checkState() gives
// them: only Qt::Checked sends "1"; the grey Qt::PartiallyChecked counts as
// unchecked, like Qt::Unchecked.
struct GeneralValues
{
    Qt::CheckState beepOnGoodRead = Qt::Unchecked;
    Qt::CheckState maskingOn = Qt::Unchecked;
    Qt::CheckState hid = Qt::Unchecked;
    Qt::CheckState farpointe = Qt::Unchecked;
    Qt::CheckState awid = Qt::Unchecked;
    Qt::CheckState includeDateTime = Qt::Unchecked;
    Qt::CheckState includeReaderId = Qt::Unchecked;
    Qt::CheckState includeReaderDescription = Qt::Unchecked;

    // Box texts as typed; never converted to numbers.
    QString lowPowerSetting;
    QString sleepTime;
    QString idLength;
    QString readerId;
    QString readerDescription;
};

// The prox setup window: three card formats and three masks of five rows.
inline constexpr int kProxFormatCount = 3;
inline constexpr int kProxMaskCount = 3;
inline constexpr int kProxMaskRows = 5;

// One field of a card format: where its bits lie in the card's bit stream
// (Start counted from 1), and how many characters its decimal value takes.
struct ProxFieldValues
{
    QString start;
    QString length;
    QString chars;
    Qt::CheckState lsb = Qt::Unchecked; // the field's bits arrive least significant first
};

struct ProxFormatValues
{
    QString totalBits;
    std::array<ProxFieldValues, 3> fields; // Site, ID, Issue
};

// One row of a mask. A constant row has no start bit: the window pins its
// Start at "00". The constant flag is never sent to the reader.
struct ProxMaskRowValues
{
    QString start;
    QString value; // the Len/Value box
    Qt::CheckState constant = Qt::Unchecked;
};

using ProxMaskValues = std::array<ProxMaskRowValues, kProxMaskRows>;

// What the prox setup window shows, box for box; texts as typed.
struct ProxValues
{
    std::array<ProxFormatValues, kProxFormatCount> formats;
    std::array<ProxMaskValues, kProxMaskCount> masks;
};

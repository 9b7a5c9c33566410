// The terminal's keyboard: any run of key downs, key ups and characters
// sends only what the keys stand for: NUL for F10, 128 for F9, the decimal
// code of keypad digits typed with Alt held (nothing from 256 up), and each
// character of 0 to 255 except the one that follows an Alt code.
#include "FuzzApp.h"

#include "diag/TerminalKeys.h"

#include <QRegularExpression>

#include <array>
#include <cstdio>

namespace {

// The reader's key codes of the keypad digits 0 to 9: with Num Lock on, then off.
constexpr std::array<int, 10> kKeypadOn = {96, 97, 98, 99, 100, 101, 102, 103, 104, 105};
constexpr std::array<int, 10> kKeypadOff = {45, 35, 40, 34, 37, 12, 39, 36, 38, 33};
constexpr int kAlt = 18;
constexpr int kF9 = 120;
constexpr int kF10 = 121;

int digitOf(int keyCode)
{
    for (int digit = 0; digit < 10; ++digit) {
        if (kKeypadOn[digit] == keyCode || kKeypadOff[digit] == keyCode)
            return digit;
    }
    return -1;
}

// Events are two bytes: what happens, and to which key. Key bytes 0 to 22
// stand for Alt, F9, F10, the keypad digits with Num Lock on, then off; any
// other byte is that key code itself.
int keyCode(std::uint8_t key)
{
    if (key == 0)
        return kAlt;
    if (key <= 2)
        return key == 1 ? kF9 : kF10;
    if (key < 13)
        return kKeypadOn[key - 3];
    if (key < 23)
        return kKeypadOff[key - 13];
    return key;
}

void checkKeyCodeFor(std::uint8_t what, std::uint8_t key)
{
    constexpr std::array<int, 13> qtKeys = {
        Qt::Key_Insert, Qt::Key_End,   Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Left,
        Qt::Key_Clear,  Qt::Key_Right, Qt::Key_Home, Qt::Key_Up,       Qt::Key_PageUp,
        Qt::Key_Alt,    Qt::Key_F9,    Qt::Key_F10};
    const int qtKey = key < 10 ? Qt::Key_0 + key : key < 23 ? qtKeys[key - 10] : key;
    Qt::KeyboardModifiers modifiers;
    if (what & 0x40)
        modifiers |= Qt::KeypadModifier;
    if (what & 0x80)
        modifiers |= Qt::AltModifier;
    const int code = TerminalKeys::keyCodeFor(qtKey, modifiers);
    FUZZ_CHECK(code == -1 || code == kAlt || code == kF9 || code == kF10 || digitOf(code) >= 0);
    if (key < 20) {
        // The main keyboard's keys never make an Alt code; the keypad's do.
        FUZZ_CHECK(TerminalKeys::keypadDigit(code) ==
                   (modifiers & Qt::KeypadModifier ? int(key % 10) : -1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TerminalKeys keys;
    bool altHeld = false;
    QString altDigits;
    // An Alt code went out and its character event, where the system makes
    // one, has not come yet: a key going down other than Alt comes after it.
    bool altCodeSent = false;
    for (size_t at = 0; at + 1 < size; at += 2) {
        const std::uint8_t what = data[at];
        const std::uint8_t key = data[at + 1];
        switch (what & 3) {
        case 0: {
            const int code = keyCode(key);
            const TerminalKeys::Outcome outcome = keys.keyDown(code);
            if (code != kAlt)
                altCodeSent = false;
            if (code == kAlt) {
                altHeld = true;
                altDigits.clear();
                FUZZ_CHECK(outcome.swallowed && !outcome.byte);
            } else if (altHeld) {
                if (digitOf(code) >= 0)
                    altDigits += QChar(u'0' + digitOf(code));
                FUZZ_CHECK(outcome.swallowed && !outcome.byte);
            } else if (code == kF10 || code == kF9) {
                FUZZ_CHECK(outcome.swallowed && outcome.byte == (code == kF10 ? 0 : 128));
            } else {
                FUZZ_CHECK(!outcome.swallowed && !outcome.byte);
            }
            break;
        }
        case 1: {
            const int code = keyCode(key);
            const TerminalKeys::Outcome outcome = keys.keyUp(code);
            if (code != kAlt) {
                FUZZ_CHECK(!outcome.swallowed && !outcome.byte);
                break;
            }
            FUZZ_CHECK(outcome.swallowed);
            // An Alt pressed elsewhere types no code when it is let go here.
            if (!altHeld) {
                FUZZ_CHECK(!outcome.byte);
                break;
            }
            altHeld = false;
            // However many digits: the number they make, if it fits a byte.
            const QString significant = QString(altDigits).remove(QRegularExpression("^0+"));
            const bool fits = significant.size() <= 3 && significant.toInt() < 256;
            FUZZ_CHECK(outcome.byte.has_value() == fits);
            if (fits) {
                FUZZ_CHECK(*outcome.byte == significant.toInt());
                altCodeSent = true;
            }
            break;
        }
        case 2: {
            // Characters beyond a byte, either way, now and then.
            const int code = what & 0x40 ? 256 + key : what & 0x80 ? -1 - key : key;
            const TerminalKeys::Outcome outcome = keys.character(code);
            FUZZ_CHECK(outcome.swallowed);
            const bool sent = !altCodeSent && code >= 0 && code <= 255;
            FUZZ_CHECK(outcome.byte.has_value() == sent);
            if (sent)
                FUZZ_CHECK(*outcome.byte == code);
            altCodeSent = false;
            break;
        }
        default:
            if (what & 0x20) {
                // The window lost the keyboard: nothing held or half typed is kept.
                keys.forget();
                altHeld = false;
                altDigits.clear();
                altCodeSent = false;
                break;
            }
            checkKeyCodeFor(what, key);
            break;
        }
    }
    return 0;
}

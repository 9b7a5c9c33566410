// The terminal's keyboard: any run of key downs, key ups and characters
// sends only what the keys stand for: NUL for F10, 128 for F9, the decimal
// code of keypad digits typed with Alt held (nothing from 256 up), and each
// character of 0 to 255 except the one that follows an Alt code.
#include "FuzzApp.h"

#include "diag/TerminalKeys.h"

#include <fuzzer/FuzzedDataProvider.h>

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

int keyCode(FuzzedDataProvider& input)
{
    // Mostly the keys that mean something, sometimes anything at all.
    switch (input.ConsumeIntegralInRange(0, 4)) {
    case 0:
        return kAlt;
    case 1:
        return input.PickValueInArray({kF9, kF10});
    case 2:
        return input.PickValueInArray(kKeypadOn);
    case 3:
        return input.PickValueInArray(kKeypadOff);
    default:
        return input.ConsumeIntegral<int>();
    }
}

void checkKeyCodeFor(FuzzedDataProvider& input)
{
    const int qtKey = input.ConsumeBool() ? input.ConsumeIntegralInRange(0x20, 0x7e)
                                          : input.ConsumeIntegral<int>();
    const auto modifiers = Qt::KeyboardModifiers(input.ConsumeIntegral<int>());
    const int code = TerminalKeys::keyCodeFor(qtKey, modifiers);
    FUZZ_CHECK(code == -1 || code == kAlt || code == kF9 || code == kF10 || digitOf(code) >= 0);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        // The main keyboard's digits never make an Alt code; the keypad's do.
        FUZZ_CHECK(TerminalKeys::keypadDigit(code) ==
                   (modifiers & Qt::KeypadModifier ? qtKey - Qt::Key_0 : -1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    TerminalKeys keys;
    bool altHeld = false;
    QString altDigits;
    // An Alt code went out and its character event, where the system makes
    // one, has not come yet: a key going down other than Alt comes after it.
    bool altCodeSent = false;
    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            const int code = keyCode(input);
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
            const int code = keyCode(input);
            const TerminalKeys::Outcome outcome = keys.keyUp(code);
            if (code != kAlt) {
                FUZZ_CHECK(!outcome.swallowed && !outcome.byte);
                break;
            }
            altHeld = false;
            FUZZ_CHECK(outcome.swallowed);
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
            const int code = input.ConsumeBool() ? input.ConsumeIntegralInRange(0, 255)
                                                 : input.ConsumeIntegral<int>();
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
            checkKeyCodeFor(input);
            break;
        }
    }
    return 0;
}

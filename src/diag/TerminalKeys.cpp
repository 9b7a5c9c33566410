#include "TerminalKeys.h"

#include <array>

namespace {

// Keypad keys with Num Lock off, in digit order 0 to 9.
constexpr std::array<int, 10> kNavigationCodes = {45, 35, 40, 34, 37, 12, 39, 36, 38, 33};
constexpr int kKeypadZero = 96;

} // namespace

int TerminalKeys::keyCodeFor(int qtKey, Qt::KeyboardModifiers modifiers)
{
    switch (qtKey) {
    case Qt::Key_Alt:
        return kAlt;
    case Qt::Key_F9:
        return kF9;
    case Qt::Key_F10:
        return kF10;
    default:
        break;
    }
    // Only the numeric keypad collects Alt digits; the same keys elsewhere do not.
    if (!(modifiers & Qt::KeypadModifier))
        return -1;
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return kKeypadZero + (qtKey - Qt::Key_0);
    constexpr std::array<int, 10> navigationKeys = {
        Qt::Key_Insert, Qt::Key_End,   Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Left,
        Qt::Key_Clear,  Qt::Key_Right, Qt::Key_Home, Qt::Key_Up,       Qt::Key_PageUp};
    for (size_t digit = 0; digit < navigationKeys.size(); ++digit) {
        if (navigationKeys[digit] == qtKey)
            return kNavigationCodes[digit];
    }
    return -1;
}

int TerminalKeys::keypadDigit(int keyCode)
{
    if (keyCode >= kKeypadZero && keyCode <= kKeypadZero + 9)
        return keyCode - kKeypadZero;
    for (size_t digit = 0; digit < kNavigationCodes.size(); ++digit) {
        if (kNavigationCodes[digit] == keyCode)
            return int(digit);
    }
    return -1;
}

TerminalKeys::Outcome TerminalKeys::keyDown(int keyCode)
{
    if (keyCode == kAlt) {
        m_altHeld = true;
        m_altDigits.clear();
        return {true, std::nullopt};
    }
    // A key going down comes before its own character; the character owed to
    // an Alt code, where the system makes one, has arrived by then.
    m_skipNextCharacter = false;
    if (m_altHeld) {
        const int digit = keypadDigit(keyCode);
        if (digit >= 0)
            m_altDigits += QChar(u'0' + digit);
        return {true, std::nullopt};
    }
    if (keyCode == kF10)
        return {true, std::uint8_t(0)};
    if (keyCode == kF9)
        return {true, std::uint8_t(128)};
    return {};
}

TerminalKeys::Outcome TerminalKeys::keyUp(int keyCode)
{
    if (keyCode != kAlt)
        return {};
    // An Alt pressed elsewhere (the release after switching back to this
    // window) types no code.
    if (!m_altHeld)
        return {true, std::nullopt};
    m_altHeld = false;
    // Only digits were collected; a long code stops as soon as it passes 255.
    int code = 0;
    for (const QChar digit : m_altDigits) {
        code = code * 10 + digit.digitValue();
        if (code > 255)
            return {true, std::nullopt};
    }
    m_skipNextCharacter = true;
    return {true, std::uint8_t(code)};
}

TerminalKeys::Outcome TerminalKeys::character(int code)
{
    if (m_skipNextCharacter) {
        m_skipNextCharacter = false;
        return {true, std::nullopt};
    }
    if (code < 0 || code > 255)
        return {true, std::nullopt};
    return {true, std::uint8_t(code)};
}

void TerminalKeys::forget()
{
    m_altHeld = false;
    m_altDigits.clear();
    m_skipNextCharacter = false;
}

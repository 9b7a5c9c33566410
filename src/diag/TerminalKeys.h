#pragma once

#include <QString>
#include <Qt>

#include <cstdint>
#include <optional>

// The terminal's keyboard without a window: F10 sends NUL, F9 sends 128, and
// Alt held while keypad digits are typed sends the byte with that decimal code
// when Alt goes up. Keys are given as the reader's key codes (see keyCodeFor).
class TerminalKeys
{
public:
    static constexpr int kAlt = 18;
    static constexpr int kF9 = 120;
    static constexpr int kF10 = 121;

    struct Outcome
    {
        // The key goes no further.
        bool swallowed = false;
        // A byte to echo and send.
        std::optional<std::uint8_t> byte;
    };

    // Key code of a key event: keypad digits 96 to 105, the keypad's keys with
    // Num Lock off 45, 35, 40, 34, 37, 12, 39, 36, 38, 33 for 0 to 9, Alt 18,
    // F9 120, F10 121; -1 for any other key.
    static int keyCodeFor(int qtKey, Qt::KeyboardModifiers modifiers);
    // The digit a keypad key stands for, with or without Num Lock; -1 if none.
    static int keypadDigit(int keyCode);

    Outcome keyDown(int keyCode);
    Outcome keyUp(int keyCode);
    // A character event: the key's character code.
    Outcome character(int code);
    // The keyboard went elsewhere: keys held or half typed here are no longer
    // ours, and their releases may never come.
    void forget();

private:
    bool m_altHeld = false;
    // Keypad digits typed while Alt is held.
    QString m_altDigits;
    // The system's own character for an Alt code comes after the code was sent.
    bool m_skipNextCharacter = false;
};

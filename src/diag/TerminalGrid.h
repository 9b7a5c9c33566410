#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// The terminal's screen without a window: 39 columns by 22 rows, a cursor
// that only moves forward, and a clear when the screen is full. The window
// draws what this records.
class TerminalGrid
{
public:
    static constexpr int kColumns = 39;
    static constexpr int kRows = 22;

    enum class Ink : std::uint8_t
    {
        Received, // red
        Typed     // black
    };

    struct Cell
    {
        int column = 0; // 1-based
        int row = 0;    // 1-based
        std::uint8_t code = 0;
        bool hex = false;
        Ink ink = Ink::Received;
    };

    // Cells written since the last takeDrawing(), in order; cleared says the
    // screen was emptied before the first of them.
    struct Drawing
    {
        bool cleared = false;
        std::vector<Cell> cells;
    };

    // Codes 32 to 125 are drawn as themselves; the tilde and everything else as hex.
    static bool isPrintable(int code) { return code >= 32 && code <= 125; }
    // Two upper-case hex digits: 13 gives "0D".
    static QString hexText(std::uint8_t code);

    // One byte as the terminal handles it: the cursor moves to the next row
    // when its row is full (clearing the screen when every row is used), the
    // byte takes the cell at the cursor and the cursor moves on.
    void put(std::uint8_t code, Ink ink);
    // Empties the screen and puts the cursor at the top left.
    void clear();

    // Next cell to draw, both 1-based.
    int cursorColumn() const { return m_cursorColumn; }
    int cursorRow() const { return m_cursorRow; }

    // What is on the screen now; an empty cell has row 0.
    const Cell& cellAt(int column, int row) const;
    // The screen as text, for a screen reader: one line per row in use, hex
    // cells as "<0D>", empty cells as blanks, trailing blanks left out.
    QString text() const;

    Drawing takeDrawing();

private:
    // Moves the cursor to the next row when the current one is full and
    // clears the screen when every row is used.
    void wrapCursor();
    static size_t indexOf(int column, int row)
    {
        return size_t((row - 1) * kColumns + (column - 1));
    }
    void clearCells();

    std::int16_t m_cursorColumn = 1;
    std::int16_t m_cursorRow = 1;

    std::array<Cell, kColumns * kRows> m_cells{};
    Drawing m_pending;
};

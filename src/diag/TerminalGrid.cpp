#include "TerminalGrid.h"

#include <QStringList>

QString TerminalGrid::hexText(std::uint8_t code)
{
    return QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

bool TerminalGrid::checkline()
{
    if (curpos >= kColumns + 1) {
        curpos = 1;
        ++currentline;
    }
    if (currentline > kRows) {
        clearCells();
        currentline = 1;
        curpos = 1;
        return true;
    }
    return false;
}

void TerminalGrid::printchar(std::uint8_t code, int linepos, int charpos, bool makehex, Ink ink)
{
    if (linepos < 1 || linepos > kRows || charpos < 1 || charpos > kColumns)
        return;
    const Cell cell{charpos, linepos, code, makehex, ink};
    m_cells[size_t((linepos - 1) * kColumns + (charpos - 1))] = cell;
    m_pending.cells.push_back(cell);
}

void TerminalGrid::put(std::uint8_t code, Ink ink)
{
    checkline();
    printchar(code, currentline, curpos, !isPrintable(code), ink);
    ++curpos;
}

void TerminalGrid::clear()
{
    clearCells();
    currentline = 1;
    curpos = 1;
}

void TerminalGrid::clearCells()
{
    m_cells.fill(Cell{});
    // Cells written before the clear never need drawing.
    m_pending.cells.clear();
    m_pending.cleared = true;
}

const TerminalGrid::Cell& TerminalGrid::cellAt(int column, int row) const
{
    static const Cell empty{};
    if (row < 1 || row > kRows || column < 1 || column > kColumns)
        return empty;
    return m_cells[size_t((row - 1) * kColumns + (column - 1))];
}

TerminalGrid::Drawing TerminalGrid::takeDrawing()
{
    Drawing taken = std::move(m_pending);
    m_pending = Drawing{};
    return taken;
}

QString TerminalGrid::text() const
{
    QStringList rows;
    for (int row = 1; row <= kRows; ++row) {
        QString line;
        for (int column = 1; column <= kColumns; ++column) {
            const Cell& cell = cellAt(column, row);
            if (cell.row == 0)
                line += QLatin1Char(' ');
            else if (cell.hex)
                line += QLatin1Char('<') + hexText(cell.code) + QLatin1Char('>');
            else
                line += QChar(cell.code);
        }
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        rows << line;
    }
    while (!rows.isEmpty() && rows.constLast().isEmpty())
        rows.removeLast();
    return rows.join(QLatin1Char('\n'));
}

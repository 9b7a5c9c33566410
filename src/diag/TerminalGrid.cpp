#include "TerminalGrid.h"

#include <QStringList>

QString TerminalGrid::hexText(std::uint8_t code)
{
    return QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

void TerminalGrid::wrapCursor()
{
    if (m_cursorColumn >= kColumns + 1) {
        m_cursorColumn = 1;
        ++m_cursorRow;
    }
    if (m_cursorRow > kRows) {
        clearCells();
        m_cursorRow = 1;
        m_cursorColumn = 1;
    }
}

void TerminalGrid::put(std::uint8_t code, Ink ink)
{
    wrapCursor();
    const Cell cell{m_cursorColumn, m_cursorRow, code, !isPrintable(code), ink};
    m_cells[indexOf(m_cursorColumn, m_cursorRow)] = cell;
    m_pending.cells.push_back(cell);
    ++m_cursorColumn;
}

void TerminalGrid::clear()
{
    clearCells();
    m_cursorRow = 1;
    m_cursorColumn = 1;
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
    return m_cells[indexOf(column, row)];
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

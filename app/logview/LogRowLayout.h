// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QHash>

#include <string_view>
#include <vector>

namespace paddock {

/// How many cells of the log view's grid each character takes: one for every Latin-1
/// character, and for others the font's advance rounded to one or two cells, remembered
/// per character so that painting and hit-testing always agree.
class LogCellWidths final {
public:
    /// Measures font's cell (the advance of "M") and forgets the widths measured before.
    void setFont(const QFont &font);
    qreal cellWidth() const { return m_cellWidth; }
    /// Cells taken by the character code (1 or 2).
    int cellsOf(char32_t code) const;

private:
    QFont m_font;
    qreal m_cellWidth = 8;
    mutable QHash<char32_t, int> m_cells;
};

/// One row of the log laid out in cells: where each character starts in the row's bytes
/// and in the grid.
class LogRowLayout final {
public:
    struct Character {
        qsizetype offset; // of its first byte in the row
        qsizetype column;
        char32_t code;
        int cells;
    };

    /// Lays out bytes, the row's characters.
    LogRowLayout(std::string_view bytes, const LogCellWidths &widths);

    const std::vector<Character> &characters() const { return m_characters; }
    /// Cells the whole row takes.
    qsizetype columns() const { return m_columns; }
    /// The column where the character holding offset starts (columns() at the end).
    qsizetype columnOf(qsizetype offset) const;
    /// The character boundary nearest to the grid position column (in cells, fractional).
    qsizetype offsetAt(qreal column) const;

private:
    std::vector<Character> m_characters;
    qsizetype m_columns = 0;
    qsizetype m_bytes = 0;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "LogRowLayout.h"

#include "LogCharacters.h"

#include <QFontMetricsF>
#include <QtMath>

#include <algorithm>

namespace paddock {

void LogCellWidths::setFont(const QFont &font)
{
    m_font = font;
    m_cellWidth = std::max<qreal>(1, QFontMetricsF(font).horizontalAdvance(QLatin1Char('M')));
    m_cells.clear();
}

int LogCellWidths::cellsOf(char32_t code) const
{
    if (code < 0x100)
        return 1;
    const auto known = m_cells.constFind(code);
    if (known != m_cells.constEnd())
        return *known;
    QString character;
    LogCharacters::append(character, code);
    const qreal advance = QFontMetricsF(m_font).horizontalAdvance(character);
    const int cells = std::clamp(qRound(advance / m_cellWidth), 1, 2);
    m_cells.insert(code, cells);
    return cells;
}

LogRowLayout::LogRowLayout(std::string_view bytes, const LogCellWidths &widths)
    : m_bytes(qsizetype(bytes.size()))
{
    m_characters.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const LogCharacters::Character character = LogCharacters::decode(bytes, at);
        const int cells = widths.cellsOf(character.code);
        m_characters.push_back({qsizetype(at), m_columns, character.code, cells});
        m_columns += cells;
        at += size_t(character.length);
    }
}

qsizetype LogRowLayout::columnOf(qsizetype offset) const
{
    const auto after =
        std::upper_bound(m_characters.begin(), m_characters.end(), offset,
                         [](qsizetype value, const Character &c) { return value < c.offset; });
    if (after == m_characters.begin())
        return 0;
    const Character &holder = *(after - 1);
    return offset >= m_bytes ? m_columns : holder.column;
}

qsizetype LogRowLayout::offsetAt(qreal column) const
{
    // Before the middle of a character is its start; past it, its end.
    for (const Character &c : m_characters)
        if (column < qreal(c.column) + qreal(c.cells) / 2)
            return c.offset;
    return m_bytes;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "LogLineIndex.h"

#include "LogCharacters.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace paddock {

void LogLineIndex::clear()
{
    *this = LogLineIndex();
}

bool LogLineIndex::extend(const LogTextPtr &text, qsizetype budget)
{
    m_text = text;
    const qsizetype end = text->length();
    const qsizetype limit = m_indexed + budget;
    qsizetype start = m_lastRowStart;
    // The stored piece the rows are being found in, fetched once for all the rows it holds
    // rather than once a row: a piece read back from a log file costs a look-up.
    LogPiece held;
    std::string_view piece;
    qsizetype pieceStart = 0;
    const auto newlineIn = [&](qsizetype from, qsizetype to) -> qsizetype {
        if (from >= to)
            return -1;
        if (from < pieceStart || from >= pieceStart + qsizetype(piece.size())) {
            held = text->pieceAt(from);
            piece = held.bytes();
            pieceStart = from;
        }
        const qsizetype pieceEnd = pieceStart + qsizetype(piece.size());
        if (to <= pieceEnd) {
            const char *at = piece.data() + (from - pieceStart);
            const void *hit = std::memchr(at, '\n', size_t(to - from));
            return hit ? from + (static_cast<const char *>(hit) - at) : -1;
        }
        // The range runs past the piece: let the text read on (which may read other
        // pieces from the files, so the one held here is fetched again next time).
        piece = {};
        return text->indexOf('\n', from, to);
    };
    for (;;) {
        // The row ends at a newline within its length, or after MaxRowLength characters;
        // otherwise it is the last row and may still grow.
        const qsizetype newline = newlineIn(start, std::min(start + MaxRowLength + 1, end));
        qsizetype length = 0;
        qsizetype next = 0;
        if (newline >= 0) {
            length = newline - start;
            next = newline + 1;
        } else if (end - start > MaxRowLength) {
            next = LogCharacters::rowCut(*text, start + MaxRowLength);
            length = next - start;
        } else {
            break;
        }
        m_longestRow = std::max(m_longestRow, length);
        ++m_completeRows;
        start = next;
        if (m_completeRows % Stride == 0)
            m_checkpoints.push_back(start);
        if (start >= limit) {
            m_lastRowStart = start;
            m_indexed = start;
            return start == end;
        }
    }
    m_lastRowStart = start;
    m_indexed = end;
    m_longestRow = std::max(m_longestRow, end - start);
    return true;
}

LogLineIndex::Row LogLineIndex::rowStartingAt(qsizetype start) const
{
    if (start >= m_lastRowStart)
        return Row{start, m_indexed, m_indexed};
    // A complete row: its end lies within the index.
    const qsizetype newline =
        m_text->indexOf('\n', start, std::min(start + MaxRowLength + 1, m_indexed));
    if (newline >= 0)
        return Row{start, newline, newline + 1};
    const qsizetype cut = LogCharacters::rowCut(*m_text, start + MaxRowLength);
    return Row{start, cut, cut};
}

LogLineIndex::Row LogLineIndex::row(qsizetype row) const
{
    row = std::clamp<qsizetype>(row, 0, m_completeRows);
    const qsizetype checkpoint = row / Stride;
    qsizetype start = m_checkpoints[size_t(checkpoint)];
    for (qsizetype n = checkpoint * Stride; n < row; ++n)
        start = rowStartingAt(start).next;
    return rowStartingAt(start);
}

qsizetype LogLineIndex::rowOf(qsizetype position) const
{
    if (position >= m_lastRowStart)
        return m_completeRows;
    const auto after = std::upper_bound(m_checkpoints.begin(), m_checkpoints.end(), position);
    const auto checkpoint = qsizetype(after - m_checkpoints.begin()) - 1;
    qsizetype number = checkpoint * Stride;
    for (Row r = rowStartingAt(m_checkpoints[size_t(checkpoint)]); position >= r.next;
         r = rowStartingAt(r.next))
        ++number;
    return number;
}

} // namespace paddock

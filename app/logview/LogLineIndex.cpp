// SPDX-License-Identifier: MIT
#include "LogLineIndex.h"

#include "LogCharacters.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace paddock {

namespace {

// Calls visit with the offset of each newline in bytes, in order, while it returns true;
// returns whether every newline was visited.
template <typename Visit> bool forEachNewline(std::string_view bytes, Visit &&visit)
{
    const char *data = bytes.data();
    const size_t size = bytes.size();
    size_t at = 0;
    while (at < size) {
        const void *hit = std::memchr(data + at, '\n', size - at);
        if (!hit)
            break;
        at = size_t(static_cast<const char *>(hit) - data);
        if (!visit(at))
            return false;
        ++at;
    }
    return true;
}

} // namespace

void LogLineIndex::clear()
{
    *this = LogLineIndex();
}

bool LogLineIndex::canExtendWith(const LogText &text) const
{
    return m_found.text && text.extends(*m_found.text);
}

bool LogLineIndex::findAhead(const LogTextPtr &text)
{
    if (m_found.text && !canExtendWith(*text))
        return false;
    // From the first text on, and again after any lag: an index that fell behind once would
    // otherwise read every later byte back from the log file, as long as a flood lasts.
    const qsizetype from = m_found.lastRowStart;
    if (from < text->inMemoryFrom() || text->length() - from > AheadLimit)
        return false;
    find(text, text->length());
    return true;
}

bool LogLineIndex::extend(const LogTextPtr &text, qsizetype budget)
{
    // Rows found ahead cost nothing more here: the search resumes where it stopped.
    const bool done = find(text, m_found.indexed + budget);
    m_shown = m_found;
    return done;
}

bool LogLineIndex::find(const LogTextPtr &text, qsizetype limit)
{
    Reach &found = m_found;
    found.text = text;
    const qsizetype end = text->length();
    qsizetype start = found.lastRowStart;
    const auto endRow = [&](qsizetype next, qsizetype length) {
        found.longestRow = std::max(found.longestRow, length);
        ++found.completeRows;
        start = next;
        if (found.completeRows % Stride == 0)
            m_checkpoints.push_back(start);
        return start < limit;
    };
    // A line longer than a row continues on the next row, cut between two characters. With
    // no newline in [start, before), cuts every row that cannot reach a newline at or after
    // before; returns whether to go on.
    const auto cutRowsBefore = [&](qsizetype before) {
        while (before - start > MaxRowLength) {
            const qsizetype cut = LogCharacters::rowCut(*text, start + MaxRowLength);
            if (!endRow(cut, cut - start))
                return false;
        }
        return true;
    };
    // Every newline once, piece by piece: each stored piece is fetched once for all the rows
    // it holds (a piece read back from a log file costs a look-up).
    bool goOn = true;
    for (qsizetype scanned = start; goOn && scanned < end;) {
        const LogPiece held = text->pieceAt(scanned);
        const std::string_view bytes = held.bytes();
        const qsizetype base = scanned;
        goOn = forEachNewline(bytes, [&](size_t offset) {
            const qsizetype newline = base + qsizetype(offset);
            return cutRowsBefore(newline) && endRow(newline + 1, newline - start);
        });
        scanned = base + qsizetype(bytes.size());
        goOn = goOn && cutRowsBefore(scanned);
    }
    if (!goOn) {
        found.lastRowStart = start;
        found.indexed = start;
        return start == end;
    }
    // What follows the last newline is the last row, which may still grow.
    found.lastRowStart = start;
    found.indexed = end;
    found.longestRow = std::max(found.longestRow, end - start);
    return true;
}

LogLineIndex::Row LogLineIndex::rowStartingAt(qsizetype start) const
{
    if (start >= m_shown.lastRowStart)
        return Row{start, m_shown.indexed, m_shown.indexed};
    // A complete row: its end lies within the index.
    const qsizetype newline =
        m_shown.text->indexOf('\n', start, std::min(start + MaxRowLength + 1, m_shown.indexed));
    if (newline >= 0)
        return Row{start, newline, newline + 1};
    const qsizetype cut = LogCharacters::rowCut(*m_shown.text, start + MaxRowLength);
    return Row{start, cut, cut};
}

LogLineIndex::Row LogLineIndex::row(qsizetype row) const
{
    row = std::clamp<qsizetype>(row, 0, m_shown.completeRows);
    const qsizetype checkpoint = row / Stride;
    qsizetype start = m_checkpoints[size_t(checkpoint)];
    for (qsizetype n = checkpoint * Stride; n < row; ++n)
        start = rowStartingAt(start).next;
    return rowStartingAt(start);
}

qsizetype LogLineIndex::rowOf(qsizetype position) const
{
    if (position >= m_shown.lastRowStart)
        return m_shown.completeRows;
    const auto shownCheckpoints = m_checkpoints.begin() + m_shown.completeRows / Stride + 1;
    const auto after = std::upper_bound(m_checkpoints.begin(), shownCheckpoints, position);
    const auto checkpoint = qsizetype(after - m_checkpoints.begin()) - 1;
    qsizetype number = checkpoint * Stride;
    for (Row r = rowStartingAt(m_checkpoints[size_t(checkpoint)]); position >= r.next;
         r = rowStartingAt(r.next))
        ++number;
    return number;
}

} // namespace paddock

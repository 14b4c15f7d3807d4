// SPDX-License-Identifier: MIT
#include "LogLineScan.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace paddock {

namespace {

bool kindHolds(LogLineKind kind, LogLineCategory category)
{
    switch (kind) {
    case LogLineKind::Any:
        return true;
    case LogLineKind::Problems:
        return isProblem(category);
    case LogLineKind::Connections:
        return category == LogLineCategory::Connection;
    case LogLineKind::Checkpoints:
        return category == LogLineCategory::Checkpoint;
    }
    return false;
}

// The categories a kind takes in.
LogLineCategories categoriesOf(LogLineKind kind)
{
    switch (kind) {
    case LogLineKind::Any:
        break;
    case LogLineKind::Problems:
        return categoryBit(LogLineCategory::Error) | categoryBit(LogLineCategory::Warning);
    case LogLineKind::Connections:
        return categoryBit(LogLineCategory::Connection);
    case LogLineKind::Checkpoints:
        return categoryBit(LogLineCategory::Checkpoint);
    }
    return ~LogLineCategories(0);
}

// As the server's life reads a line: without a carriage return before its newline.
LogLineCategory categoryOfBytes(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return categoryOfLogLine(line);
}

// The last newline in [from, to), or -1: a line start is usually a few bytes back, so the
// windows read start small and grow.
qsizetype lastNewline(const LogText &text, qsizetype from, qsizetype to)
{
    for (qsizetype window = 256; to > from; window *= 2) {
        const qsizetype low = std::max(from, to - window);
        qsizetype found = -1;
        qsizetype at = low;
        text.forEachPiece(low, to - low, [&](std::string_view piece) {
            if (const void *hit = ::memrchr(piece.data(), '\n', piece.size()))
                found = at + (static_cast<const char *>(hit) - piece.data());
            at += qsizetype(piece.size());
        });
        if (found >= 0)
            return found;
        to = low;
    }
    return -1;
}

} // namespace

LogLineCategory categoryOfLine(const LogText &text, qsizetype start, qsizetype end)
{
    const qsizetype length = std::min(end - start, CategoryReach);
    const LogPiece held = text.pieceAt(start);
    if (qsizetype(held.size()) >= length)
        return categoryOfBytes(held.bytes().substr(0, size_t(length)));
    return categoryOfBytes(text.bytes(start, length));
}

qsizetype lineStartOf(const LogText &text, qsizetype position, qsizetype lowest)
{
    lowest = std::min(std::max(lowest, text.begin()), position);
    const qsizetype newline = lastNewline(text, lowest, position);
    return newline >= 0 ? newline + 1 : lowest;
}

LogLineScan::LogLineScan(const LogLineCriteria &criteria)
    : m_kind(criteria.kind)
    , m_categories(categoriesOf(criteria.kind))
{
    if (!criteria.text.isEmpty())
        m_search = std::make_unique<LogSearch>(criteria.text, criteria.caseSensitive);
    m_needleReach = 4 * criteria.text.size();
}

LogLineScan::~LogLineScan() = default;

void LogLineScan::startAt(const LogText &text, qsizetype lineStart)
{
    const qsizetype begin = text.begin();
    m_lineStart = m_searchFrom = std::max(lineStart, begin);
    m_skipLine = begin > 0 && m_lineStart == begin;
}

bool LogLineScan::advance(const LogText &text, qsizetype limit, qsizetype budget,
                          const Matched &matched)
{
    limit = std::min(limit, text.length());
    const qsizetype stop = std::min(limit, m_searchFrom + std::max<qsizetype>(budget, 1));
    return m_search ? advanceByText(text, stop, limit, matched)
                    : advanceByKind(text, stop, limit, matched);
}

bool LogLineScan::kindMatches(const LogText &text, qsizetype start, qsizetype end) const
{
    if (m_kind == LogLineKind::Any)
        return true;
    const qsizetype length = std::min(end - start, CategoryReach);
    const LogPiece held = text.pieceAt(start);
    if (qsizetype(held.size()) >= length)
        return lineMatchesKind(held.bytes().substr(0, size_t(length)));
    return lineMatchesKind(text.bytes(start, length));
}

bool LogLineScan::lineMatchesKind(std::string_view line) const
{
    // Most lines are told apart by their first bytes, without the parser.
    return (possibleCategories(line) & m_categories) != 0 &&
           kindHolds(m_kind, categoryOfBytes(line));
}

bool LogLineScan::advanceByKind(const LogText &text, qsizetype stop, qsizetype limit,
                                const Matched &matched)
{
    while (m_searchFrom < stop) {
        // One stored piece at a time, its lines read where they lie.
        const qsizetype pieceStart = m_searchFrom;
        const LogPiece held = text.pieceAt(pieceStart);
        const std::string_view piece = held.bytes();
        if (piece.empty())
            break;
        const qsizetype to = std::min(stop, pieceStart + qsizetype(piece.size()));
        while (m_searchFrom < to) {
            const char *at = piece.data() + (m_searchFrom - pieceStart);
            const void *hit = std::memchr(at, '\n', size_t(to - m_searchFrom));
            if (!hit) {
                m_searchFrom = to;
                break;
            }
            const qsizetype start = m_lineStart;
            const qsizetype end = m_searchFrom + (static_cast<const char *>(hit) - at);
            const bool skip = std::exchange(m_skipLine, false);
            m_lineStart = m_searchFrom = end + 1;
            if (skip)
                continue;
            // A line that began in an earlier piece is put together; the rest lie here.
            bool holds = true;
            if (m_kind != LogLineKind::Any && start >= pieceStart) {
                const qsizetype length = std::min(end - start, CategoryReach);
                holds = lineMatchesKind(piece.substr(size_t(start - pieceStart), size_t(length)));
            } else if (m_kind != LogLineKind::Any) {
                holds = kindMatches(text, start, end);
            }
            if (holds && !matched(start, end))
                return false;
        }
    }
    return m_searchFrom >= limit;
}

bool LogLineScan::advanceByText(const LogText &text, qsizetype stop, qsizetype limit,
                                const Matched &matched)
{
    while (m_searchFrom < stop) {
        const LogSearch::Match match = m_search->first(text, m_searchFrom, stop, limit);
        const qsizetype to = match.found() ? match.start : stop;
        if (const qsizetype newline = lastNewline(text, m_searchFrom, to); newline >= 0) {
            m_lineStart = newline + 1;
            m_skipLine = false;
        }
        if (!match.found()) {
            if (stop < limit) {
                m_searchFrom = stop;
                return false;
            }
            // A match may begin near the end and finish in bytes still to come.
            m_searchFrom = std::max(m_lineStart, stop - m_needleReach);
            return true;
        }
        const qsizetype end = text.indexOf('\n', match.start, limit);
        if (end < 0) {
            // The line is still being written: its match counts once it ends.
            m_searchFrom = match.start;
            return true;
        }
        const qsizetype start = m_lineStart;
        const bool skip = std::exchange(m_skipLine, false);
        m_lineStart = m_searchFrom = end + 1;
        if (!skip && kindMatches(text, start, end) && !matched(start, end))
            return false;
    }
    return m_searchFrom >= limit;
}

} // namespace paddock

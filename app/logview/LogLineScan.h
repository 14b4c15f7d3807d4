// SPDX-License-Identifier: MIT
#pragma once

#include "LogLineCategory.h"
#include "LogSearch.h"
#include "LogText.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace paddock {

/// Which lines a scan of the log keeps by what they report.
enum class LogLineKind : std::uint8_t { Any, Problems, Connections, Checkpoints };

/// What a line must hold to match: a text (found the way Find finds it) and a kind; an empty
/// text matches every line of the kind.
struct LogLineCriteria {
    QString text;
    bool caseSensitive = false;
    LogLineKind kind = LogLineKind::Any;

    bool isEmpty() const { return text.isEmpty() && kind == LogLineKind::Any; }
};

/// The bytes of a line the category is read from: the server's life reads no more of a line.
constexpr qsizetype CategoryReach = 4096;

/// The category of the line [start, end) of text (end at its newline or the row's end), read
/// from its first CategoryReach bytes.
LogLineCategory categoryOfLine(const LogText &text, qsizetype start, qsizetype end);

/// Walks a log line by line from a line start and reports the complete lines (ended by a
/// newline) that match criteria, a slice at a time so that a caller on the event loop can let
/// it breathe between slices. A text is looked for with Find's searcher over whole stretches
/// of the log, so lines without it cost no more than Find; a kind alone reads each line's
/// start. Lines are read from the log's stored pieces, on disk or in memory, without copies.
class LogLineScan final {
public:
    /// Told each matching line: its first byte and its newline. Returns whether to go on.
    using Matched = std::function<bool(qsizetype start, qsizetype end)>;

    explicit LogLineScan(const LogLineCriteria &criteria);
    ~LogLineScan();

    /// Starts the scan at lineStart, a line's first byte (or the first reachable byte of a
    /// text whose older bytes were dropped: that partial line is skipped).
    void startAt(const LogText &text, qsizetype lineStart);
    /// Scans on through the lines that end before limit, about budget bytes of them, telling
    /// matched of each match. Returns true once every complete line before limit is scanned;
    /// false when the budget ran out or matched asked to stop.
    bool advance(const LogText &text, qsizetype limit, qsizetype budget, const Matched &matched);
    /// Where the line being scanned starts: every line before it is done.
    qsizetype lineStart() const { return m_lineStart; }

private:
    bool advanceByKind(const LogText &text, qsizetype stop, qsizetype limit,
                       const Matched &matched);
    bool advanceByText(const LogText &text, qsizetype stop, qsizetype limit,
                       const Matched &matched);
    bool kindMatches(const LogText &text, qsizetype start, qsizetype end) const;
    // Whether a line's first bytes (up to CategoryReach) are of the kind.
    bool lineMatchesKind(std::string_view line) const;

    LogLineKind m_kind;
    LogLineCategories m_categories;      // those the kind takes in
    std::unique_ptr<LogSearch> m_search; // none without a text
    qsizetype m_lineStart = 0;
    qsizetype m_searchFrom = 0;  // no newline lies in [m_lineStart, m_searchFrom)
    qsizetype m_needleReach = 0; // bytes the text can take at most
    bool m_skipLine = false;     // the current line began before the reachable bytes
};

/// The start of the line holding position: just past the last newline in [lowest, position),
/// else lowest (or the first reachable byte, if later).
qsizetype lineStartOf(const LogText &text, qsizetype position, qsizetype lowest = 0);

} // namespace paddock

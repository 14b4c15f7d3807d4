// SPDX-License-Identifier: MIT
#pragma once

#include "LogLineScan.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace paddock {

/// The rows the log view shows while it shows only some lines: the starts of the rows of every
/// complete line that matches the criteria, in the view's own row splitting (LogLineIndex).
/// Built a slice at a time as the log grows; four bytes a row.
class LogLineFilter final {
public:
    explicit LogLineFilter(const LogLineCriteria &criteria);

    const LogLineCriteria &criteria() const { return m_criteria; }
    /// Filters the lines of text that end before limit, about budget bytes more of them. text
    /// must extend the text filtered so far. Returns whether every line before limit is done.
    bool extend(const LogText &text, qsizetype limit, qsizetype budget);
    /// Every line before this position is filtered.
    qsizetype filteredLength() const { return m_scan.lineStart(); }

    qsizetype rowCount() const { return qsizetype(m_low.size()); }
    /// Where the row numbered row (0 <= row < rowCount()) starts in the log.
    qsizetype rowStart(qsizetype row) const;
    /// The number of the last row starting at or before position; 0 when none does.
    qsizetype rowOf(qsizetype position) const;

private:
    void addRow(qsizetype start);

    LogLineCriteria m_criteria;
    LogLineScan m_scan;
    bool m_started = false;
    // Row starts as their low 32 bits, and where each run of rows with the same high bits
    // begins: (first row, high bits).
    std::vector<std::uint32_t> m_low;
    std::vector<std::pair<qsizetype, qsizetype>> m_highs;
};

} // namespace paddock

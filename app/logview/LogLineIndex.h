// SPDX-License-Identifier: MIT
#pragma once

#include "LogText.h"

#include <vector>

namespace paddock {

/// The rows in which the log view shows a log: one per line, a line longer than
/// MaxRowLength split into rows of at most that length, never inside a character. Built
/// incrementally as the log grows, it keeps the start of only every Stride-th row and finds the
/// others by scanning from there, so it stays small however short the lines are.
class LogLineIndex final {
public:
    /// Bytes in one row at most; longer lines continue on the next row.
    static constexpr qsizetype MaxRowLength = 2048;
    /// Rows between two remembered row starts.
    static constexpr qsizetype Stride = 32;

    /// One row: its characters are [start, end); the next row starts at next (past the
    /// newline that ends the row, if any).
    struct Row {
        qsizetype start = 0;
        qsizetype end = 0;
        qsizetype next = 0;
    };

    /// Forgets everything indexed.
    void clear();
    /// Indexes the characters of text past indexedLength(), stopping early once about
    /// budget characters are done. text must extend the text indexed so far. Returns
    /// whether everything in text is indexed.
    bool extend(const LogTextPtr &text, qsizetype budget);

    /// How many characters of the log the rows cover.
    qsizetype indexedLength() const { return m_indexed; }
    /// How many rows there are; at least one (the last row may be empty).
    qsizetype rowCount() const { return m_completeRows + 1; }
    /// Length of the longest row so far.
    qsizetype longestRow() const { return m_longestRow; }
    /// The row with the given number (0 <= row < rowCount()).
    Row row(qsizetype row) const;
    /// The row that starts at start, a position returned in an earlier Row.
    Row rowStartingAt(qsizetype start) const;
    /// The number of the row holding position: a row holds its characters and the
    /// newline ending it; positions past the index belong to the last row.
    qsizetype rowOf(qsizetype position) const;
    /// The text the rows were built from.
    const LogTextPtr &text() const { return m_text; }

private:
    LogTextPtr m_text;
    std::vector<qsizetype> m_checkpoints{0}; // start of row k * Stride
    qsizetype m_completeRows = 0;            // rows ended by a newline or by MaxRowLength
    qsizetype m_lastRowStart = 0;
    qsizetype m_indexed = 0;
    qsizetype m_longestRow = 0;
};

} // namespace paddock

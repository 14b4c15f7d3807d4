// SPDX-License-Identifier: MIT
#pragma once

#include "LogText.h"

#include <vector>

namespace paddock {

/// The rows in which the log view shows a log: one per line, a line longer than
/// MaxRowLength split into rows of at most that length, never inside a character. Built
/// incrementally as the log grows, it keeps the start of only every Stride-th row and finds the
/// others by scanning from there, so it stays small however short the lines are.
/// Rows may be found ahead of being shown (findAhead), while their bytes are still in memory;
/// every query answers for the rows shown, as of the last extend().
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

    /// The most bytes findAhead takes in one call: a millisecond or two of the window's time.
    static constexpr qsizetype AheadLimit = qsizetype(16) << 20;

    /// Forgets everything indexed.
    void clear();
    /// Whether text extends the text whose rows are found so far, so extend() may take it.
    bool canExtendWith(const LogText &text) const;
    /// Finds the rows of the characters text has past those found so far, without showing
    /// them, provided text extends the text found (any text does on an empty index), and the
    /// characters left to look at are at most AheadLimit and all still in memory (none read
    /// back from a log file). Returns whether it found them; otherwise it does nothing, and
    /// extend() finds them later.
    bool findAhead(const LogTextPtr &text);
    /// Finds the rows of the characters of text past those found, stopping early once about
    /// budget characters are done, and shows every row found (those found ahead too). text
    /// must extend the text found so far (any text does on an empty index). Returns whether
    /// everything in text is shown.
    bool extend(const LogTextPtr &text, qsizetype budget);

    /// How many characters of the log the rows cover.
    qsizetype indexedLength() const { return m_shown.indexed; }
    /// How many rows there are; at least one (the last row may be empty).
    qsizetype rowCount() const { return m_shown.completeRows + 1; }
    /// Length of the longest row so far.
    qsizetype longestRow() const { return m_shown.longestRow; }
    /// The row with the given number (0 <= row < rowCount()).
    Row row(qsizetype row) const;
    /// The row that starts at start, a position returned in an earlier Row.
    Row rowStartingAt(qsizetype start) const;
    /// The number of the row holding position: a row holds its characters and the
    /// newline ending it; positions past the index belong to the last row.
    qsizetype rowOf(qsizetype position) const;
    /// The text the rows were built from.
    const LogTextPtr &text() const { return m_shown.text; }

private:
    // How far the rows reach: those found, and those shown (never ahead of the found).
    struct Reach {
        LogTextPtr text;
        qsizetype completeRows = 0; // rows ended by a newline or by MaxRowLength
        qsizetype lastRowStart = 0;
        qsizetype indexed = 0;
        qsizetype longestRow = 0;
    };

    // Finds rows past those found, up to about limit; returns whether all of text is found.
    bool find(const LogTextPtr &text, qsizetype limit);

    Reach m_found;
    Reach m_shown;
    // Start of row k * Stride, for the rows found; the shown rows use a prefix.
    std::vector<qsizetype> m_checkpoints{0};
};

} // namespace paddock

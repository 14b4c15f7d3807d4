// SPDX-License-Identifier: MIT
#pragma once

#include "LogText.h"

#include <utility>

namespace paddock {

/// The log view's selection: where it began (the anchor) and where it ends now (the
/// cursor), byte positions in the log that never fall inside a character.
class LogSelection final {
public:
    qsizetype anchor() const { return m_anchor; }
    qsizetype cursor() const { return m_cursor; }
    qsizetype start() const { return std::min(m_anchor, m_cursor); }
    qsizetype end() const { return std::max(m_anchor, m_cursor); }
    bool isEmpty() const { return m_anchor == m_cursor; }

    /// Moves the ends to anchor and cursor, each clamped to [0, limit] and moved back to
    /// the start of a character of text (if any) it falls inside. Returns whether either
    /// end moved.
    bool set(const LogText *text, qsizetype limit, qsizetype anchor, qsizetype cursor);
    /// Puts both ends at the top.
    void clear() { m_anchor = m_cursor = 0; }

    /// The word holding position (a character boundary) within the row [rowStart, rowEnd)
    /// of text: the letters, digits, marks and underscores on both sides of it.
    static std::pair<qsizetype, qsizetype> wordAround(const LogText &text, qsizetype rowStart,
                                                      qsizetype rowEnd, qsizetype position);
    /// Where a move by a word from position (a character boundary) ends, looking at no byte
    /// at or past limit: forwards, the start of the next word; backwards, the start of this
    /// word or the one before. A move crosses at most MaxStep bytes of gap.
    static qsizetype wordStep(const LogText &text, qsizetype limit, qsizetype position,
                              bool forward);
    static constexpr qsizetype MaxStep = 4096;

private:
    qsizetype m_anchor = 0;
    qsizetype m_cursor = 0;
};

} // namespace paddock

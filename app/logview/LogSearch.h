// SPDX-License-Identifier: MIT
#pragma once

#include "LogText.h"

#include <QString>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace paddock {

/// Finds a text in a log the way the log view shows it (see LogCharacters): "café" finds
/// its UTF-8 bytes, and a Latin-1 character also finds a single byte shown as that
/// character. A match starts and ends between characters. Without case sensitivity, ASCII
/// letters match either case (and only ASCII letters), other characters match when their
/// Unicode simple case folding is the same. Works block by block over the log's pieces.
class LogSearch final {
public:
    struct Match {
        qsizetype start = -1;
        qsizetype end = -1;
        bool found() const { return start >= 0; }
    };

    /// Prepares a search for needle (not empty).
    LogSearch(const QString &needle, bool caseSensitive);
    LogSearch(const LogSearch &) = delete;
    LogSearch &operator=(const LogSearch &) = delete;
    ~LogSearch();

    /// The first match starting in [from, to) and ending by limit, or none.
    Match first(const LogText &text, qsizetype from, qsizetype to, qsizetype limit) const;
    /// The last match starting in [from, before) and ending by limit, or none.
    Match last(const LogText &text, qsizetype from, qsizetype before, qsizetype limit) const;

private:
    // A position where a match may have its key (or, without a key, begin), or -1.
    qsizetype nextCandidate(const LogText &text, qsizetype from, qsizetype to) const;
    qsizetype scanPiece(std::string_view piece) const;
    bool keyAt(const LogText &text, qsizetype position) const;
    qsizetype matchEnd(const LogText &text, qsizetype start, qsizetype limit) const;
    bool same(char32_t shown, char32_t wanted) const;

    std::vector<char32_t> m_needle;
    bool m_caseSensitive;
    // The longest run of needle characters with one encoding (ASCII ones folded when case
    // does not matter), found with Boyer-Moore-Horspool; the characters before it are
    // checked once it is found.
    std::string m_key;
    qsizetype m_keyIndex = 0;             // characters before the key
    std::array<bool, 256> m_firstBytes{}; // without a key: bytes a match can begin with
    struct Searchers;
    std::unique_ptr<const Searchers> m_searchers;
};

} // namespace paddock

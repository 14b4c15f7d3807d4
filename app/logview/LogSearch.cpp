// SPDX-License-Identifier: MIT
#include "LogSearch.h"

#include "LogCharacters.h"

#include <QList>

#include <algorithm>
#include <functional>
#include <iterator>

namespace paddock {

namespace {

const std::array<unsigned char, 256> asciiFold = [] {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[size_t(c)] = (unsigned char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return table;
}();

// Reads bytes with ASCII capitals as small letters, so that the standard searcher keeps
// its table of 256 shifts when case does not matter.
class FoldedIterator final {
public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = unsigned char;
    using difference_type = std::ptrdiff_t;
    using pointer = const unsigned char *;
    using reference = unsigned char;

    FoldedIterator() = default;
    explicit FoldedIterator(const char *at)
        : m_at(reinterpret_cast<const unsigned char *>(at))
    {}
    unsigned char operator*() const { return asciiFold[*m_at]; }
    unsigned char operator[](difference_type n) const { return asciiFold[m_at[n]]; }
    FoldedIterator &operator++() { return ++m_at, *this; }
    FoldedIterator &operator--() { return --m_at, *this; }
    FoldedIterator &operator+=(difference_type n) { return m_at += n, *this; }
    FoldedIterator &operator-=(difference_type n) { return m_at -= n, *this; }
    FoldedIterator operator+(difference_type n) const { return FoldedIterator(m_at + n); }
    FoldedIterator operator-(difference_type n) const { return FoldedIterator(m_at - n); }
    difference_type operator-(const FoldedIterator &other) const { return m_at - other.m_at; }
    bool operator==(const FoldedIterator &other) const { return m_at == other.m_at; }
    auto operator<=>(const FoldedIterator &other) const { return m_at <=> other.m_at; }
    const char *base() const { return reinterpret_cast<const char *>(m_at); }

private:
    explicit FoldedIterator(const unsigned char *at)
        : m_at(at)
    {}
    const unsigned char *m_at = nullptr;
};

void appendUtf8(std::string &bytes, char32_t code)
{
    if (code < 0x80) {
        bytes += char(code);
    } else if (code < 0x800) {
        bytes += char(0xc0 | (code >> 6));
        bytes += char(0x80 | (code & 0x3f));
    } else if (code < 0x10000) {
        bytes += char(0xe0 | (code >> 12));
        bytes += char(0x80 | ((code >> 6) & 0x3f));
        bytes += char(0x80 | (code & 0x3f));
    } else {
        bytes += char(0xf0 | (code >> 18));
        bytes += char(0x80 | ((code >> 12) & 0x3f));
        bytes += char(0x80 | ((code >> 6) & 0x3f));
        bytes += char(0x80 | (code & 0x3f));
    }
}

// Whether every occurrence of code in the log has the same bytes (after ASCII folding).
bool hasOneEncoding(char32_t code, bool caseSensitive)
{
    if (code < 0x80)
        return true;
    if (code < 0x100) // also a single byte shown as itself
        return false;
    return caseSensitive || (QChar::toCaseFolded(code) == code && QChar::toUpper(code) == code &&
                             QChar::toLower(code) == code && QChar::toTitleCase(code) == code);
}

// How far back the backward search looks at a time for the last match.
constexpr qsizetype BackwardWindow = qsizetype(1) << 20;

} // namespace

struct LogSearch::Searchers {
    std::optional<std::boyer_moore_horspool_searcher<const char *>> exact;
    std::optional<std::boyer_moore_horspool_searcher<FoldedIterator>> folded;
};

LogSearch::LogSearch(const QString &needle, bool caseSensitive)
    : m_caseSensitive(caseSensitive)
{
    for (const char32_t code : needle.toUcs4())
        m_needle.push_back(code);
    qsizetype runStart = 0, bestStart = 0, bestLength = 0;
    for (qsizetype i = 0; i <= qsizetype(m_needle.size()); ++i) {
        if (i < qsizetype(m_needle.size()) && hasOneEncoding(m_needle[size_t(i)], caseSensitive))
            continue;
        if (i - runStart > bestLength) {
            bestStart = runStart;
            bestLength = i - runStart;
        }
        runStart = i + 1;
    }
    m_keyIndex = bestStart;
    for (qsizetype i = bestStart; i < bestStart + bestLength; ++i)
        appendUtf8(m_key, m_needle[size_t(i)]);
    auto searchers = std::make_unique<Searchers>();
    if (!m_key.empty() && caseSensitive) {
        searchers->exact.emplace(m_key.data(), m_key.data() + m_key.size());
    } else if (!m_key.empty()) {
        std::transform(m_key.begin(), m_key.end(), m_key.begin(),
                       [](char c) { return char(asciiFold[(unsigned char)c]); });
        searchers->folded.emplace(FoldedIterator(m_key.data()),
                                  FoldedIterator(m_key.data() + m_key.size()));
    } else if (!m_needle.empty()) {
        // No character with one encoding: try every byte the first character may begin with.
        const char32_t code = m_needle.front();
        std::string lead;
        appendUtf8(lead, code);
        m_firstBytes[(unsigned char)lead[0]] = true;
        if (code < 0x100)
            m_firstBytes[code] = true;
        if (!caseSensitive)
            std::fill(m_firstBytes.begin() + 0x80, m_firstBytes.end(), true);
    }
    m_searchers = std::move(searchers);
}

LogSearch::~LogSearch() = default;

qsizetype LogSearch::scanPiece(std::string_view piece) const
{
    const char *begin = piece.data();
    const char *end = begin + piece.size();
    if (m_searchers->exact) {
        const auto hit = (*m_searchers->exact)(begin, end).first;
        return hit == end ? -1 : hit - begin;
    }
    if (m_searchers->folded) {
        const auto hit = (*m_searchers->folded)(FoldedIterator(begin), FoldedIterator(end)).first;
        return hit.base() == end ? -1 : hit.base() - begin;
    }
    const auto hit =
        std::find_if(begin, end, [this](char c) { return m_firstBytes[(unsigned char)c]; });
    return hit == end ? -1 : hit - begin;
}

bool LogSearch::keyAt(const LogText &text, qsizetype position) const
{
    for (size_t i = 0; i < m_key.size(); ++i) {
        const auto byte = (unsigned char)text.at(position + qsizetype(i));
        if ((m_caseSensitive ? byte : asciiFold[byte]) != (unsigned char)m_key[i])
            return false;
    }
    return true;
}

qsizetype LogSearch::nextCandidate(const LogText &text, qsizetype from, qsizetype to) const
{
    const qsizetype m = std::max<qsizetype>(1, qsizetype(m_key.size()));
    const qsizetype last = std::min(to, text.length()) - m + 1; // past the last candidate
    while (from < last) {
        const LogPiece held = text.pieceAt(from);
        const std::string_view piece = held.bytes();
        const qsizetype pieceEnd = from + qsizetype(piece.size());
        // Candidates whose whole key lies in this piece.
        const qsizetype inside = std::min(last, pieceEnd - m + 1);
        if (inside > from) {
            const qsizetype found = scanPiece(piece.substr(0, size_t(inside - from + m - 1)));
            if (found >= 0)
                return from + found;
            from = inside;
        }
        // Candidates whose key crosses into the next piece.
        for (const qsizetype end = std::min(last, pieceEnd); from < end; ++from)
            if (keyAt(text, from))
                return from;
    }
    return -1;
}

bool LogSearch::same(char32_t shown, char32_t wanted) const
{
    if (m_caseSensitive)
        return shown == wanted;
    if (shown < 0x80 || wanted < 0x80)
        return shown < 0x80 && wanted < 0x80 && asciiFold[shown] == asciiFold[wanted];
    return QChar::toCaseFolded(shown) == QChar::toCaseFolded(wanted);
}

qsizetype LogSearch::matchEnd(const LogText &text, qsizetype start, qsizetype limit) const
{
    if (!LogCharacters::isBoundary(text, start, limit))
        return -1;
    qsizetype at = start;
    for (const char32_t wanted : m_needle) {
        if (at >= limit)
            return -1;
        const LogCharacters::Character shown = LogCharacters::decodeAt(text, at, limit);
        if (!same(shown.code, wanted))
            return -1;
        at += shown.length;
    }
    return at;
}

LogSearch::Match LogSearch::first(const LogText &text, qsizetype from, qsizetype to,
                                  qsizetype limit) const
{
    limit = std::min(limit, text.length());
    from = std::max<qsizetype>(from, 0);
    to = std::min(to, limit);
    // The characters before the key take one to four bytes each.
    const qsizetype reach = to + 4 * m_keyIndex + qsizetype(m_key.size());
    if (from >= to)
        return {};
    for (qsizetype key = from;; ++key) {
        key = nextCandidate(text, key, std::min(limit, reach));
        if (key < 0)
            return {};
        qsizetype start = key;
        qsizetype walked = 0;
        for (; walked < m_keyIndex && start > 0; ++walked)
            start = LogCharacters::boundaryAtOrBefore(text, start - 1, limit);
        if (walked < m_keyIndex)
            continue;
        // Match starts grow with key positions: past to, none is left.
        if (start >= to)
            return {};
        if (start < from)
            continue;
        const qsizetype end = matchEnd(text, start, limit);
        if (end >= 0)
            return {start, end};
    }
}

LogSearch::Match LogSearch::last(const LogText &text, qsizetype from, qsizetype before,
                                 qsizetype limit) const
{
    from = std::max<qsizetype>(from, 0);
    for (qsizetype high = std::min(before, limit); high > from;) {
        const qsizetype low = std::max(from, high - BackwardWindow);
        Match found;
        for (Match m = first(text, low, high, limit); m.found();
             m = first(text, m.start + 1, high, limit))
            found = m;
        if (found.found())
            return found;
        high = low;
    }
    return {};
}

} // namespace paddock

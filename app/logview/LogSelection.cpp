// SPDX-License-Identifier: MIT
#include "LogSelection.h"

#include "LogCharacters.h"

#include <algorithm>
#include <vector>

namespace paddock {

namespace {

bool isWordCharacter(char32_t code)
{
    return code == '_' || QChar::isLetterOrNumber(code) || QChar::isMark(code);
}

} // namespace

bool LogSelection::set(const LogText *text, qsizetype limit, qsizetype anchor, qsizetype cursor)
{
    anchor = std::clamp<qsizetype>(anchor, 0, limit);
    cursor = std::clamp<qsizetype>(cursor, 0, limit);
    if (text) {
        anchor = LogCharacters::boundaryAtOrBefore(*text, anchor, limit);
        cursor = LogCharacters::boundaryAtOrBefore(*text, cursor, limit);
    }
    if (anchor == m_anchor && cursor == m_cursor)
        return false;
    m_anchor = anchor;
    m_cursor = cursor;
    return true;
}

std::pair<qsizetype, qsizetype> LogSelection::wordAround(const LogText &text, qsizetype rowStart,
                                                         qsizetype rowEnd, qsizetype position)
{
    const std::string bytes = text.bytes(rowStart, rowEnd - rowStart);
    struct Character {
        qsizetype offset;
        bool inWord;
    };
    std::vector<Character> characters;
    for (size_t at = 0; at < bytes.size();) {
        const LogCharacters::Character c = LogCharacters::decode(bytes, at);
        characters.push_back({qsizetype(at), isWordCharacter(c.code)});
        at += size_t(c.length);
    }
    characters.push_back({qsizetype(bytes.size()), false}); // the row's end
    auto first = std::find_if(characters.begin(), characters.end(),
                              [&](const Character &c) { return rowStart + c.offset >= position; });
    auto last = first;
    while (first != characters.begin() && (first - 1)->inWord)
        --first;
    while (last->inWord)
        ++last;
    return {rowStart + first->offset, rowStart + last->offset};
}

qsizetype LogSelection::wordStep(const LogText &text, qsizetype limit, qsizetype position,
                                 bool forward)
{
    const qsizetype bound =
        forward ? std::min(limit, position + MaxStep) : std::max<qsizetype>(0, position - MaxStep);
    const auto inWordAt = [&](qsizetype at) {
        return isWordCharacter(LogCharacters::decodeAt(text, at, limit).code);
    };
    if (forward) {
        // Past the rest of this word, then past the gap.
        for (const bool word : {true, false})
            while (position < bound && inWordAt(position) == word)
                position += LogCharacters::decodeAt(text, position, limit).length;
        return position;
    }
    // Back over the gap, then to the start of the word before it.
    for (const bool word : {false, true}) {
        while (position > bound) {
            const qsizetype before = LogCharacters::boundaryAtOrBefore(text, position - 1, limit);
            if (inWordAt(before) != word)
                break;
            position = before;
        }
    }
    return position;
}

} // namespace paddock

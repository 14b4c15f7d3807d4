// SPDX-License-Identifier: MIT
#pragma once

#include "LogText.h"

#include <QString>

#include <string_view>

namespace paddock {

/// How the log's bytes read as characters: a valid UTF-8 sequence is one character, and
/// every other byte is one character of its own, read as Latin-1. Positions stay byte
/// offsets; a position inside a valid sequence is not a character boundary.
class LogCharacters final {
public:
    struct Character {
        char32_t code = 0;
        int length = 1; // bytes
    };

    /// The character starting at bytes[at] (at < bytes.size()); a sequence must lie wholly
    /// inside bytes to count, so a truncated one reads as single bytes.
    static Character decode(std::string_view bytes, size_t at);
    /// The character starting at position of text, reading no byte at or past limit.
    static Character decodeAt(const LogText &text, qsizetype position, qsizetype limit);
    /// Whether position (0 <= position <= limit) lies between two characters.
    static bool isBoundary(const LogText &text, qsizetype position, qsizetype limit);
    /// The character boundary at or before position.
    static qsizetype boundaryAtOrBefore(const LogText &text, qsizetype position, qsizetype limit);
    /// Where a row reaching up to cut should end: before a lead byte whose sequence would
    /// cross cut. Reads only the bytes before cut, so the answer never changes as the log
    /// grows.
    static qsizetype rowCut(const LogText &text, qsizetype cut);
    /// The characters of bytes as text.
    static QString toQString(std::string_view bytes);
    /// Appends code to text (as a surrogate pair beyond the Basic Multilingual Plane).
    static void append(QString &text, char32_t code);
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string_view>

namespace paddock {

/// An immutable log text whose characters are bytes decoded as Latin-1 (every byte one
/// character). Successive texts share one growing buffer: appending copies only the new
/// chunk, and a text keeps seeing exactly its own characters whatever is appended later.
class LogText final {
public:
    /// A new empty text.
    static std::shared_ptr<const LogText> create();
    /// A new text with this text's characters followed by chunk's bytes. Costs time in
    /// proportion to the chunk, except on a text that is not its buffer's latest (then
    /// its characters are copied once into a buffer of its own). Throws std::bad_alloc.
    std::shared_ptr<const LogText> appending(std::string_view chunk) const;

    /// Whether this text begins with all of earlier's characters because it grew from it
    /// (the two share their buffer).
    bool extends(const LogText &earlier) const
    {
        return m_buffer == earlier.m_buffer && m_length >= earlier.m_length;
    }

    qsizetype length() const { return m_length; }
    bool isEmpty() const { return m_length == 0; }
    /// The byte at position (0 <= position < length()).
    char at(qsizetype position) const;
    /// Calls visit with consecutive pieces covering [position, position + count), clamped
    /// to this text; no copy is made.
    void forEachPiece(qsizetype position, qsizetype count,
                      const std::function<void(std::string_view)> &visit) const;
    /// The longest piece starting at position that is stored contiguously (empty at or
    /// past the end); valid as long as this text lives.
    std::string_view pieceAt(qsizetype position) const;
    /// The characters in [position, position + count) as bytes.
    std::string bytes(qsizetype position, qsizetype count) const;
    /// The characters in [position, position + count) as text.
    QString mid(qsizetype position, qsizetype count) const;
    /// All characters as text (a copy; meant for small logs and tests).
    QString toQString() const { return mid(0, m_length); }

    /// Position of the first byte c in [from, to), or -1.
    qsizetype indexOf(char c, qsizetype from, qsizetype to) const;

    struct Buffer;
    LogText(std::shared_ptr<Buffer> buffer, qsizetype length);

private:
    std::shared_ptr<Buffer> m_buffer;
    qsizetype m_length = 0;
};

using LogTextPtr = std::shared_ptr<const LogText>;

} // namespace paddock

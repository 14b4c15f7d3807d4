// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace paddock {

class LogFileSegments;

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

    /// Bytes kept in memory once they are also in a log file: older blocks are read back
    /// from the file.
    static constexpr qsizetype FileBackedMemory = qsizetype(8) << 20;

    /// Limits the buffer this text shares to about scrollback bytes in memory (at least one
    /// block) for bytes no log file holds; older ones are dropped and read as Dropped.
    void setScrollback(qsizetype scrollback) const;
    /// Records that the log file read back through segments holds the bytes from position
    /// on, the byte at position being its log offset logOffset: once in memory long enough,
    /// they are dropped and read back from the file.
    void setFileBacking(std::shared_ptr<const LogFileSegments> segments, qsizetype position,
                        std::uint64_t logOffset) const;
    /// The character that stands for every byte that is no longer reachable (dropped from
    /// memory with no file holding it, or in a file that rotation removed).
    static constexpr char Dropped = '\0';
    /// The first position from which on every character is reachable.
    qsizetype begin() const;
    /// Bytes this text's buffer holds in memory.
    qsizetype memoryInUse() const;

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
    /// to this text; no copy is made; each piece is valid during its visit.
    void forEachPiece(qsizetype position, qsizetype count,
                      const std::function<void(std::string_view)> &visit) const;
    /// The longest piece starting at position that is stored contiguously (empty at or
    /// past the end); valid until this text's buffer grows again or two more pieces have
    /// been read from log files.
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

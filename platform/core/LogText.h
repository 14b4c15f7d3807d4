// SPDX-License-Identifier: MIT
#pragma once

#include "DroppedLogStorage.h"
#include "LogPiece.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string_view>

namespace paddock {

class LogFileSegments;

/// How an append keeps the log's bytes: those no log file holds stay in memory up to about
/// scrollback bytes (at least one block), older ones are dropped and read as Dropped; those a
/// log file holds stay up to LogText::FileBackedMemory, older ones are read back from the file.
struct LogKeeping final {
    qsizetype scrollback = std::numeric_limits<qsizetype>::max();
    /// The log file the appended bytes go to as well, read back through file; none when null.
    std::shared_ptr<const LogFileSegments> file;
    /// The offset in file's log of the first byte appended.
    std::uint64_t fileOffset = 0;
};

/// A log text whose characters are bytes decoded as Latin-1 (every byte one character): its
/// length never changes, nor does any character it reads, except that a byte no longer kept
/// (see LogKeeping) reads as Dropped. Successive texts share one growing store: appending
/// copies only the new chunk, and a text never sees the chunks appended after it.
class LogText final {
public:
    /// A new empty text.
    static std::shared_ptr<const LogText> create();
    /// A new text with this text's characters followed by all of chunk's bytes, kept as keeping
    /// says (older bytes of the store may be dropped from memory). Costs time in proportion to
    /// the chunk, except on a text that is not its store's latest (then its characters are
    /// copied once into a store of its own). Throws std::bad_alloc, appending nothing, when
    /// no memory can be had for the chunk even by dropping older bytes from memory.
    std::shared_ptr<const LogText> appending(std::string_view chunk,
                                             const LogKeeping &keeping = {}) const;

    /// Bytes kept in memory once they are also in a log file: older blocks are read back
    /// from the file.
    static constexpr qsizetype FileBackedMemory = qsizetype(8) << 20;
    /// The character that stands for every byte that is no longer reachable (dropped from
    /// memory with no file holding it, or in a file that rotation removed).
    static constexpr char Dropped = DroppedLogStorage::Dropped;
    /// The first position from which on every character is reachable.
    qsizetype begin() const;
    /// The first position from which on every character is in memory (none is read back).
    qsizetype inMemoryFrom() const;
    /// Bytes this text's store holds in memory.
    qsizetype memoryInUse() const;

    /// Whether this text begins with all of earlier's characters because it grew from it
    /// (the two share their store).
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
    /// The longest piece starting at position that is stored contiguously (empty at or past
    /// the end); its bytes stay valid as long as the piece lives.
    LogPiece pieceAt(qsizetype position) const;
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

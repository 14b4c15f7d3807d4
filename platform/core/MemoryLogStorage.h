// SPDX-License-Identifier: MIT
#pragma once

#include "LogStorage.h"

#include <memory>
#include <string_view>
#include <vector>

namespace paddock {

/// Log bytes kept in memory in fixed-size blocks. Growing never moves what is stored, so an
/// append costs time in proportion to the chunk alone. The oldest blocks can be released;
/// their positions are then no longer kept here, but stay: positions never move. A piece
/// keeps its block's memory alive, even once the block is released.
class MemoryLogStorage final : public LogStorage {
public:
    static constexpr qsizetype BlockSize = qsizetype(2) << 20;

    MemoryLogStorage();
    ~MemoryLogStorage() override;
    MemoryLogStorage(const MemoryLogStorage &) = delete;
    MemoryLogStorage &operator=(const MemoryLogStorage &) = delete;

    bool keeps(qsizetype position) const override;
    /// The bytes from position to the end of its block, the log or end, whichever is first.
    LogPiece pieceAt(qsizetype position, qsizetype end) const override;
    /// The byte at position, which is kept here.
    char at(qsizetype position) const;

    /// Appends all of chunk, or nothing: when no memory can be had for it, even by releasing
    /// older blocks (which stay released), throws std::bad_alloc with the length unchanged.
    void append(std::string_view chunk);
    /// Releases the oldest block kept, unless it is the newest.
    void releaseOldest();

    /// Bytes appended, kept or released.
    qsizetype length() const { return m_length; }
    /// The first position kept (the start of the oldest block kept).
    qsizetype firstKept() const { return qsizetype(m_firstKept) * BlockSize; }
    /// Blocks kept, counted in bytes.
    qsizetype memoryInUse() const;

private:
    class Block;
    /// A block for the end: the spare one, if no piece still reads it, or a new one; when
    /// memory runs out, releases the oldest (before keepFrom) to make room.
    std::shared_ptr<Block> newBlock(std::size_t keepFrom);

    std::vector<std::shared_ptr<Block>> m_blocks; // released ones are null
    std::size_t m_firstKept = 0;
    // The last block released, kept for the next one needed: with a log file the oldest block
    // goes as each new one comes, and reusing it spares mapping and clearing fresh pages for
    // every block of a flood.
    std::shared_ptr<Block> m_spare;
    qsizetype m_length = 0;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

#include <QByteArray>
#include <QMetaType>

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace paddock {

/// The lines one read of a stream completes, cut and recognised once, where the chunk was read
/// (its reading thread), so the window's thread only tells them. Every view stays valid as long
/// as this lives: it keeps the chunk and whatever it had to put together or clean itself.
struct ChunkLines final {
    /// The complete lines, in order, without their line ends.
    std::vector<std::string_view> texts;
    /// The noteworthy ones among them, in order.
    std::vector<RecognisedLine> recognised;

private:
    friend class LineCutter;
    QByteArray m_chunk;
    std::deque<std::string> m_own; // lines begun in earlier reads, coloured lines cleaned
};

/// Cuts one stream's chunks into lines, one chunk after the other. Under a flood a chunk holds
/// thousands of lines: their lists are used again, chunk after chunk, once no one holds them,
/// rather than grown afresh each time. One thread at a time.
class LineCutter final {
public:
    /// The lines chunk completes; an empty chunk is the end of the stream, which completes its
    /// unfinished last line.
    std::shared_ptr<const ChunkLines> cut(const QByteArray &chunk);

private:
    std::shared_ptr<ChunkLines> unused();

    LineAssembler m_assembler;
    std::vector<std::shared_ptr<ChunkLines>> m_lists;
    std::vector<std::size_t> m_marked; // lines of the chunk that may hide colours or "error"
};

} // namespace paddock

Q_DECLARE_METATYPE(std::shared_ptr<const paddock::ChunkLines>)

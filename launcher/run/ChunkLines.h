// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"
#include "WholeLines.h"

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
    /// How many complete lines the read holds.
    std::size_t count = 0;
    /// The noteworthy ones among them, in order.
    std::vector<RecognisedLine> recognised;

    /// Calls visit(std::string_view) with each complete line, in order, without its line end.
    /// The lines are cut again from the chunk: under a flood, no list of millions of lines is
    /// made for the few followers that read every one.
    template <typename Visit> void forEachLine(Visit &&visit) const
    {
        for (const std::string_view line : m_before)
            visit(line);
        forEachWholeLine(m_whole, m_limit, visit);
        for (const std::string_view line : m_after)
            visit(line);
    }

private:
    friend class LineCutter;
    QByteArray m_chunk;
    // The lines the assembler completed before and after those that lie whole in the chunk.
    std::vector<std::string_view> m_before;
    std::vector<std::string_view> m_after;
    std::string_view m_whole;
    std::size_t m_limit = 0;
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
    std::vector<std::string_view> m_marked; // whole lines of a chunk that may be recognised
};

} // namespace paddock

Q_DECLARE_METATYPE(std::shared_ptr<const paddock::ChunkLines>)

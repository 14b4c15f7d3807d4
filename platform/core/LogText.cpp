// SPDX-License-Identifier: MIT
#include "LogText.h"

#include "FileLogStorage.h"
#include "MemoryLogStorage.h"

#include <algorithm>
#include <cstring>

namespace paddock {

// The store texts share: bytes in memory while they are kept there, else read back from a
// log file that holds them, else dropped. Positions never move, whichever keeps them.
struct LogText::Buffer {
    static constexpr qsizetype BlockSize = MemoryLogStorage::BlockSize;

    MemoryLogStorage memory;
    FileLogStorage file;
    DroppedLogStorage dropped;

    // Appends all of chunk, or (on std::bad_alloc) nothing.
    void append(std::string_view chunk, const LogKeeping &keeping)
    {
        const bool added =
            keeping.file && file.addBacking(keeping.file, memory.length(), keeping.fileOffset);
        try {
            memory.append(chunk);
        } catch (...) {
            if (added)
                file.removeLatestBacking();
            throw;
        }
        releaseOldBlocks(std::max<qsizetype>(keeping.scrollback, 0));
    }

    // Bytes in memory that no log file holds are kept up to the scrollback; those a file
    // holds up to FileBackedMemory. The newest block always stays.
    void releaseOldBlocks(qsizetype scrollback)
    {
        while (memory.memoryInUse() > BlockSize) {
            const qsizetype start = memory.firstKept();
            const qsizetype limit =
                file.holdsAll(start, start + BlockSize) ? FileBackedMemory : scrollback;
            if (memory.length() - start - BlockSize < limit)
                return;
            memory.releaseOldest();
        }
    }

    // The longest piece from position on (before end) that one storage holds contiguously.
    LogPiece pieceAt(qsizetype position, qsizetype end) const
    {
        if (memory.keeps(position))
            return memory.pieceAt(position, end);
        end = std::min(end, (position / BlockSize + 1) * BlockSize);
        const LogStorage &storage =
            file.keeps(position) ? static_cast<const LogStorage &>(file) : dropped;
        return storage.pieceAt(position, end);
    }
};

LogText::LogText(std::shared_ptr<Buffer> buffer, qsizetype length)
    : m_buffer(std::move(buffer))
    , m_length(length)
{}

std::shared_ptr<const LogText> LogText::create()
{
    return std::make_shared<const LogText>(std::make_shared<Buffer>(), 0);
}

std::shared_ptr<const LogText> LogText::appending(std::string_view chunk,
                                                  const LogKeeping &keeping) const
{
    if (m_length == m_buffer->memory.length()) {
        // The new text first: once the chunk is in, nothing may fail.
        auto text = std::make_shared<LogText>(m_buffer, m_length);
        m_buffer->append(chunk, keeping);
        text->m_length = m_buffer->memory.length();
        return text;
    }
    // Someone already appended to this text's store: branch off with a copy of our own
    // characters, so neither text sees the other's chunks.
    auto branch = std::make_shared<Buffer>();
    branch->file = m_buffer->file.before(m_length);
    const LogKeeping copying{keeping.scrollback, nullptr, 0};
    forEachPiece(0, m_length,
                 [&branch, &copying](std::string_view piece) { branch->append(piece, copying); });
    branch->append(chunk, keeping);
    const qsizetype length = branch->memory.length();
    return std::make_shared<const LogText>(std::move(branch), length);
}

qsizetype LogText::begin() const
{
    qsizetype first = std::min(m_length, m_buffer->memory.firstKept());
    while (first > 0) {
        // Back block by block while a file holds them.
        const qsizetype blockStart = (first - 1) / Buffer::BlockSize * Buffer::BlockSize;
        if (!m_buffer->file.holdsAll(blockStart, first))
            break;
        first = blockStart;
    }
    return first;
}

qsizetype LogText::inMemoryFrom() const
{
    return std::min(m_length, m_buffer->memory.firstKept());
}

qsizetype LogText::memoryInUse() const
{
    return m_buffer->memory.memoryInUse();
}

char LogText::at(qsizetype position) const
{
    if (m_buffer->memory.keeps(position))
        return m_buffer->memory.at(position);
    const LogPiece piece = m_buffer->pieceAt(position, position + 1);
    return piece.empty() ? Dropped : piece.bytes().front();
}

LogPiece LogText::pieceAt(qsizetype position) const
{
    if (position < 0 || position >= m_length)
        return {};
    return m_buffer->pieceAt(position, m_length);
}

void LogText::forEachPiece(qsizetype position, qsizetype count,
                           const std::function<void(std::string_view)> &visit) const
{
    position = std::clamp<qsizetype>(position, 0, m_length);
    const qsizetype end =
        std::clamp<qsizetype>(position + std::max<qsizetype>(count, 0), position, m_length);
    while (position < end) {
        const LogPiece piece = m_buffer->pieceAt(position, end);
        visit(piece.bytes());
        position += qsizetype(piece.size());
    }
}

std::string LogText::bytes(qsizetype position, qsizetype count) const
{
    std::string result;
    forEachPiece(position, count, [&result](std::string_view piece) { result.append(piece); });
    return result;
}

QString LogText::mid(qsizetype position, qsizetype count) const
{
    QString result;
    forEachPiece(position, count, [&result](std::string_view piece) {
        result.append(QLatin1StringView(piece.data(), qsizetype(piece.size())));
    });
    return result;
}

qsizetype LogText::indexOf(char c, qsizetype from, qsizetype to) const
{
    from = std::max<qsizetype>(from, 0);
    to = std::min(to, m_length);
    while (from < to) {
        const LogPiece piece = m_buffer->pieceAt(from, to);
        const std::string_view bytes = piece.bytes();
        if (const void *hit = std::memchr(bytes.data(), c, bytes.size()))
            return from + (static_cast<const char *>(hit) - bytes.data());
        from += qsizetype(bytes.size());
    }
    return -1;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "LogText.h"

#include "LogFileSegments.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <sys/mman.h>
#include <vector>

namespace paddock {

namespace {

// One block of the buffer, mapped straight from the kernel and aligned to its size, so
// that the kernel can back it with huge pages: a flood then costs one page fault per
// block instead of one per 4 KiB.
class Block final {
public:
    static constexpr qsizetype Size = qsizetype(2) << 20;

    enum EmptyTag { Empty };
    explicit Block(EmptyTag) {}
    Block()
    {
        // Map twice the size and keep the aligned middle.
        void *raw = ::mmap(nullptr, size_t(2 * Size), PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED)
            throw std::bad_alloc();
        const auto start = reinterpret_cast<std::uintptr_t>(raw);
        const std::uintptr_t aligned =
            (start + std::uintptr_t(Size) - 1) & ~(std::uintptr_t(Size) - 1);
        const size_t head = size_t(aligned - start);
        if (head > 0)
            ::munmap(raw, head);
        if (size_t(Size) - head > 0)
            ::munmap(reinterpret_cast<void *>(aligned + std::uintptr_t(Size)), size_t(Size) - head);
        m_data = reinterpret_cast<char *>(aligned);
#ifdef MADV_HUGEPAGE
        ::madvise(m_data, size_t(Size), MADV_HUGEPAGE); // only advice: fine if refused
#endif
    }
    ~Block()
    {
        if (m_data)
            ::munmap(m_data, size_t(Size));
    }
    Block(Block &&other) noexcept
        : m_data(std::exchange(other.m_data, nullptr))
    {}
    Block &operator=(Block &&other) noexcept
    {
        if (this != &other) {
            if (m_data)
                ::munmap(m_data, size_t(Size));
            m_data = std::exchange(other.m_data, nullptr);
        }
        return *this;
    }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;

    char *data() const
    {
        return m_data;
    }

private:
    char *m_data = nullptr;
};

} // namespace

// Fixed-size blocks: growing never moves what is stored, so older texts stay valid and an
// append costs time in proportion to the chunk alone. The oldest blocks are dropped from
// memory once a log file holds their bytes (they are read back from it) or once more than the
// scrollback is in memory; a block's place stays, so positions never move.
struct LogText::Buffer {
    static constexpr qsizetype BlockSize = Block::Size;
    // A log file holding the bytes from position on; logOffset is that byte's offset in it.
    struct Backing {
        qsizetype position = 0;
        qsizetype end = std::numeric_limits<qsizetype>::max();
        std::uint64_t logOffset = 0;
        std::shared_ptr<const LogFileSegments> segments;
    };
    std::vector<Block> blocks;
    size_t firstLive = 0; // blocks before it are dropped from memory
    // The last block dropped, kept for the next one needed: with a log file the oldest
    // block goes as each new one comes, and reusing it spares mapping and clearing fresh
    // pages for every 2 MiB of a flood.
    Block spare{Block::Empty};
    qsizetype length = 0;
    qsizetype scrollback = std::numeric_limits<qsizetype>::max();
    std::vector<Backing> backings;
    // Keeps the mappings of the latest pieces read from files alive for their readers.
    mutable std::array<std::shared_ptr<const void>, 2> recentPieces;
    mutable size_t nextRecent = 0;

    // Appends chunk; when memory runs out with nothing left to drop, the rest of the chunk
    // is left out rather than ending the program.
    void append(std::string_view chunk)
    {
        while (!chunk.empty()) {
            const qsizetype offset = length % BlockSize;
            if (offset == 0 && qsizetype(blocks.size()) * BlockSize == length) {
                try {
                    addBlock();
                } catch (const std::bad_alloc &) {
                    break;
                }
            }
            const qsizetype take = std::min<qsizetype>(BlockSize - offset, qsizetype(chunk.size()));
            std::memcpy(blocks.back().data() + offset, chunk.data(), size_t(take));
            length += take;
            chunk.remove_prefix(size_t(take));
        }
        dropOldBlocks();
    }

    // A new block at the end; when memory runs out, the oldest blocks make room.
    void addBlock()
    {
        blocks.reserve(blocks.size() + 1);
        for (;;) {
            if (spare.data()) {
                blocks.push_back(std::move(spare));
                return;
            }
            try {
                blocks.emplace_back();
                return;
            } catch (const std::bad_alloc &) {
                if (firstLive + 1 >= blocks.size())
                    throw;
                dropFirstLive();
            }
        }
    }

    qsizetype liveBytes() const { return length - qsizetype(firstLive) * BlockSize; }

    // Bytes in memory that no log file holds are kept up to the scrollback; those a file
    // holds up to FileBackedMemory. The newest block always stays.
    void dropOldBlocks()
    {
        while (firstLive + 1 < blocks.size()) {
            const qsizetype start = qsizetype(firstLive) * BlockSize;
            const qsizetype limit =
                fileHolds(start, start + BlockSize) ? FileBackedMemory : scrollback;
            if (liveBytes() - BlockSize < limit)
                return;
            dropFirstLive();
        }
    }

    void dropFirstLive()
    {
        Block &dropped = blocks[firstLive++];
        if (!spare.data())
            spare = std::move(dropped);
        dropped = Block(Block::Empty);
    }

    // The backing holding position, if any, and position's offset in its log.
    const Backing *backingOf(qsizetype position, std::uint64_t &offset) const
    {
        for (auto it = backings.rbegin(); it != backings.rend(); ++it) {
            if (it->position <= position && position < it->end) {
                offset = it->logOffset + std::uint64_t(position - it->position);
                return &*it;
            }
        }
        return nullptr;
    }

    // Whether one log file holds all bytes of [from, to).
    bool fileHolds(qsizetype from, qsizetype to) const
    {
        std::uint64_t offset = 0;
        const Backing *backing = backingOf(from, offset);
        return backing && to <= backing->end && offset >= backing->segments->begin() &&
               offset + std::uint64_t(to - from) <= backing->segments->end();
    }

    // The bytes from position on (before end) read back from a log file, or the run of
    // unreachable bytes there, read as Dropped.
    // The piece's mapping is kept alive in holder, or else among the recent pieces.
    std::string_view fromFile(qsizetype position, qsizetype end,
                              std::shared_ptr<const void> *holder = nullptr) const
    {
        end = std::min(end, (position / BlockSize + 1) * BlockSize);
        std::uint64_t offset = 0;
        if (const Backing *backing = backingOf(position, offset)) {
            end = std::min(end, backing->end);
            LogFilePiece piece = backing->segments->pieceAt(offset);
            if (!piece.bytes.empty()) {
                (holder ? *holder : recentPieces[nextRecent++ % recentPieces.size()]) =
                    std::move(piece.keepAlive);
                return piece.bytes.substr(
                    0, size_t(std::min(qsizetype(piece.bytes.size()), end - position)));
            }
            const std::uint64_t first = backing->segments->begin();
            if (offset < first)
                end = std::min(end, position + qsizetype(first - offset));
        }
        static const std::string dropped(size_t(BlockSize), Dropped);
        return std::string_view(dropped).substr(0, size_t(std::max<qsizetype>(end - position, 1)));
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

std::shared_ptr<const LogText> LogText::appending(std::string_view chunk) const
{
    if (m_length == m_buffer->length) {
        m_buffer->append(chunk);
        return std::make_shared<const LogText>(m_buffer, m_buffer->length);
    }
    // Someone already appended to this text's buffer: branch off with a copy of our own
    // characters, so neither text sees the other's chunks.
    auto branch = std::make_shared<Buffer>();
    branch->scrollback = m_buffer->scrollback;
    for (Buffer::Backing backing : m_buffer->backings) {
        if (backing.position < m_length) {
            backing.end = std::min(backing.end, m_length);
            branch->backings.push_back(std::move(backing));
        }
    }
    forEachPiece(0, m_length, [&branch](std::string_view piece) { branch->append(piece); });
    branch->append(chunk);
    const qsizetype length = branch->length;
    return std::make_shared<const LogText>(std::move(branch), length);
}

void LogText::setScrollback(qsizetype scrollback) const
{
    m_buffer->scrollback = std::max<qsizetype>(scrollback, 0);
}

void LogText::setFileBacking(std::shared_ptr<const LogFileSegments> segments, qsizetype position,
                             std::uint64_t logOffset) const
{
    auto &backings = m_buffer->backings;
    if (!backings.empty() && backings.back().segments == segments &&
        backings.back().end == std::numeric_limits<qsizetype>::max() &&
        backings.back().logOffset + std::uint64_t(position - backings.back().position) == logOffset)
        return; // continues the latest backing
    backings.push_back(Buffer::Backing{position, std::numeric_limits<qsizetype>::max(), logOffset,
                                       std::move(segments)});
}

qsizetype LogText::begin() const
{
    qsizetype first = std::min(m_length, qsizetype(m_buffer->firstLive) * Buffer::BlockSize);
    while (first > 0) {
        // Back block by block while a file holds them.
        const qsizetype blockStart = (first - 1) / Buffer::BlockSize * Buffer::BlockSize;
        if (!m_buffer->fileHolds(blockStart, first))
            break;
        first = blockStart;
    }
    return first;
}

qsizetype LogText::memoryInUse() const
{
    return qsizetype(m_buffer->blocks.size() - m_buffer->firstLive) * Buffer::BlockSize;
}

char LogText::at(qsizetype position) const
{
    const Block &block = m_buffer->blocks[size_t(position / Buffer::BlockSize)];
    if (block.data())
        return block.data()[position % Buffer::BlockSize];
    std::shared_ptr<const void> holder;
    const std::string_view piece = m_buffer->fromFile(position, position + 1, &holder);
    return piece.empty() ? Dropped : piece.front();
}

std::string_view LogText::pieceAt(qsizetype position) const
{
    if (position < 0 || position >= m_length)
        return {};
    const qsizetype offset = position % Buffer::BlockSize;
    const Block &block = m_buffer->blocks[size_t(position / Buffer::BlockSize)];
    if (!block.data())
        return m_buffer->fromFile(position, m_length);
    const qsizetype take = std::min(Buffer::BlockSize - offset, m_length - position);
    return std::string_view(block.data() + offset, size_t(take));
}

void LogText::forEachPiece(qsizetype position, qsizetype count,
                           const std::function<void(std::string_view)> &visit) const
{
    position = std::clamp<qsizetype>(position, 0, m_length);
    const qsizetype end =
        std::clamp<qsizetype>(position + std::max<qsizetype>(count, 0), position, m_length);
    while (position < end) {
        std::string_view piece = pieceAt(position);
        piece = piece.substr(0, size_t(std::min(qsizetype(piece.size()), end - position)));
        visit(piece);
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
        const std::string_view piece = pieceAt(from);
        const size_t span = size_t(std::min(qsizetype(piece.size()), to - from));
        if (const void *hit = std::memchr(piece.data(), c, span))
            return from + (static_cast<const char *>(hit) - piece.data());
        from += qsizetype(span);
    }
    return -1;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "LogText.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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
    Block &operator=(Block &&) = delete;
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
// append costs time in proportion to the chunk alone.
struct LogText::Buffer {
    static constexpr qsizetype BlockSize = Block::Size;
    std::vector<Block> blocks;
    qsizetype length = 0;

    void append(std::string_view chunk)
    {
        while (!chunk.empty()) {
            const qsizetype offset = length % BlockSize;
            if (offset == 0 && qsizetype(blocks.size()) * BlockSize == length)
                blocks.emplace_back();
            const qsizetype take = std::min<qsizetype>(BlockSize - offset, qsizetype(chunk.size()));
            std::memcpy(blocks.back().data() + offset, chunk.data(), size_t(take));
            length += take;
            chunk.remove_prefix(size_t(take));
        }
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
    forEachPiece(0, m_length, [&branch](std::string_view piece) { branch->append(piece); });
    branch->append(chunk);
    const qsizetype length = branch->length;
    return std::make_shared<const LogText>(std::move(branch), length);
}

char LogText::at(qsizetype position) const
{
    return m_buffer->blocks[size_t(position / Buffer::BlockSize)]
        .data()[position % Buffer::BlockSize];
}

std::string_view LogText::pieceAt(qsizetype position) const
{
    if (position < 0 || position >= m_length)
        return {};
    const qsizetype offset = position % Buffer::BlockSize;
    const qsizetype take = std::min(Buffer::BlockSize - offset, m_length - position);
    return std::string_view(m_buffer->blocks[size_t(position / Buffer::BlockSize)].data() + offset,
                            size_t(take));
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

// SPDX-License-Identifier: MIT
#include "MemoryLogStorage.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <sys/mman.h>

namespace paddock {

// One block, mapped straight from the kernel and aligned to its size, so that the kernel can
// back it with huge pages: a flood then costs one page fault per block instead of one per
// 4 KiB.
class MemoryLogStorage::Block final {
public:
    Block()
    {
        // Map twice the size and keep the aligned middle.
        void *raw = ::mmap(nullptr, size_t(2 * BlockSize), PROT_READ | PROT_WRITE,
                           MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED)
            throw std::bad_alloc();
        const auto start = reinterpret_cast<std::uintptr_t>(raw);
        const std::uintptr_t aligned =
            (start + std::uintptr_t(BlockSize) - 1) & ~(std::uintptr_t(BlockSize) - 1);
        const size_t head = size_t(aligned - start);
        if (head > 0)
            ::munmap(raw, head);
        if (size_t(BlockSize) - head > 0)
            ::munmap(reinterpret_cast<void *>(aligned + std::uintptr_t(BlockSize)),
                     size_t(BlockSize) - head);
        m_data = reinterpret_cast<char *>(aligned);
#ifdef MADV_HUGEPAGE
        ::madvise(m_data, size_t(BlockSize), MADV_HUGEPAGE); // only advice: fine if refused
#endif
    }
    ~Block()
    {
        ::munmap(m_data, size_t(BlockSize));
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

MemoryLogStorage::MemoryLogStorage() = default;
MemoryLogStorage::~MemoryLogStorage() = default;

bool MemoryLogStorage::keeps(qsizetype position) const
{
    return position >= 0 && position < m_length && m_blocks[size_t(position / BlockSize)];
}

LogPiece MemoryLogStorage::pieceAt(qsizetype position, qsizetype end) const
{
    const std::shared_ptr<Block> &block = m_blocks[size_t(position / BlockSize)];
    const qsizetype offset = position % BlockSize;
    const qsizetype take = std::min({BlockSize - offset, m_length - position, end - position});
    return LogPiece(std::string_view(block->data() + offset, size_t(take)), block);
}

char MemoryLogStorage::at(qsizetype position) const
{
    return m_blocks[size_t(position / BlockSize)]->data()[position % BlockSize];
}

void MemoryLogStorage::append(std::string_view chunk)
{
    const std::size_t had = m_blocks.size();
    const auto needed =
        std::size_t((m_length + qsizetype(chunk.size()) + BlockSize - 1) / BlockSize);
    if (needed > had) {
        // Every block the chunk needs first, so that a failure leaves the log as it was.
        if (m_blocks.capacity() < needed)
            m_blocks.reserve(std::max(needed, 2 * m_blocks.capacity()));
        try {
            while (m_blocks.size() < needed)
                m_blocks.push_back(newBlock(had));
        } catch (const std::bad_alloc &) {
            for (; m_blocks.size() > had; m_blocks.pop_back())
                if (!m_spare)
                    m_spare = std::move(m_blocks.back());
            throw;
        }
    }
    while (!chunk.empty()) {
        const qsizetype offset = m_length % BlockSize;
        const qsizetype take = std::min<qsizetype>(BlockSize - offset, qsizetype(chunk.size()));
        std::memcpy(m_blocks[size_t(m_length / BlockSize)]->data() + offset, chunk.data(),
                    size_t(take));
        m_length += take;
        chunk.remove_prefix(size_t(take));
    }
}

std::shared_ptr<MemoryLogStorage::Block> MemoryLogStorage::newBlock(std::size_t keepFrom)
{
    for (;;) {
        if (m_spare)
            return std::move(m_spare);
        try {
            return std::make_shared<Block>();
        } catch (const std::bad_alloc &) {
            if (m_firstKept + 1 >= keepFrom)
                throw;
            releaseOldest();
        }
    }
}

void MemoryLogStorage::releaseOldest()
{
    if (m_firstKept + 1 >= m_blocks.size())
        return;
    std::shared_ptr<Block> &released = m_blocks[m_firstKept++];
    // A block a piece still reads is left to that piece, never written again.
    if (!m_spare && released.use_count() == 1)
        m_spare = std::move(released);
    released.reset();
}

qsizetype MemoryLogStorage::memoryInUse() const
{
    return qsizetype(m_blocks.size() - m_firstKept) * BlockSize;
}

} // namespace paddock

#include "LogText.h"

#include <algorithm>
#include <array>
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

// Latin-1 case folding: every letter to its small form; other bytes unchanged.
const std::array<unsigned char, 256> &foldTable(bool caseSensitive)
{
    static const std::array<unsigned char, 256> identity = [] {
        std::array<unsigned char, 256> table{};
        for (int c = 0; c < 256; ++c)
            table[size_t(c)] = (unsigned char)c;
        return table;
    }();
    static const std::array<unsigned char, 256> folded = [] {
        std::array<unsigned char, 256> table = identity;
        for (int c = 'A'; c <= 'Z'; ++c)
            table[size_t(c)] = (unsigned char)(c + 32);
        for (int c = 0xC0; c <= 0xDE; ++c)
            if (c != 0xD7)
                table[size_t(c)] = (unsigned char)(c + 32);
        return table;
    }();
    return caseSensitive ? identity : folded;
}

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

namespace {

// Finds needle among the match starts in [from, to) of a text, block by block: a
// Boyer-Moore-Horspool scan inside each block, and a plain comparison for the few starts
// whose match would cross into the next block.
class Search final {
public:
    Search(const LogText &text, std::string_view needle, bool caseSensitive)
        : m_text(text)
        , m_fold(foldTable(caseSensitive))
    {
        m_needle.reserve(needle.size());
        for (const char c : needle)
            m_needle.push_back(char(m_fold[(unsigned char)c]));
        m_skip.fill(qsizetype(m_needle.size()));
        for (size_t i = 0; i + 1 < m_needle.size(); ++i)
            m_skip[(unsigned char)m_needle[i]] = qsizetype(m_needle.size() - 1 - i);
    }

    qsizetype first(qsizetype from, qsizetype to) const
    {
        const auto m = qsizetype(m_needle.size());
        to = std::min(to, m_text.length() - m + 1);
        from = std::max<qsizetype>(from, 0);
        while (from < to) {
            const std::string_view piece = m_text.pieceAt(from);
            const qsizetype pieceEnd = from + qsizetype(piece.size());
            // Starts whose whole match lies in this piece.
            const qsizetype inside = std::min(to, pieceEnd - m + 1);
            if (inside > from) {
                const qsizetype found = scan(piece.data(), inside - from + m - 1);
                if (found >= 0)
                    return from + found;
                from = inside;
            }
            // Starts whose match crosses the end of the piece.
            for (const qsizetype end = std::min(to, pieceEnd); from < end; ++from)
                if (matchesAt(from))
                    return from;
        }
        return -1;
    }

    qsizetype last(qsizetype before) const
    {
        before = std::min(before, m_text.length() - qsizetype(m_needle.size()) + 1);
        // Search each block's starts forward and keep the last hit, from the back.
        qsizetype hi = before;
        while (hi > 0) {
            const qsizetype lo =
                ((hi - 1) / LogText::Buffer::BlockSize) * LogText::Buffer::BlockSize;
            qsizetype hit = -1;
            for (qsizetype at = first(lo, hi); at >= 0; at = first(at + 1, hi))
                hit = at;
            if (hit >= 0)
                return hit;
            hi = lo;
        }
        return -1;
    }

private:
    // First match start in data[0, size), or -1.
    qsizetype scan(const char *data, qsizetype size) const
    {
        const auto m = qsizetype(m_needle.size());
        const auto *text = reinterpret_cast<const unsigned char *>(data);
        for (qsizetype i = 0; i + m <= size;) {
            qsizetype j = m - 1;
            while (m_fold[text[i + j]] == (unsigned char)m_needle[size_t(j)]) {
                if (j == 0)
                    return i;
                --j;
            }
            i += m_skip[m_fold[text[i + m - 1]]];
        }
        return -1;
    }

    bool matchesAt(qsizetype position) const
    {
        for (size_t i = 0; i < m_needle.size(); ++i)
            if (m_fold[(unsigned char)m_text.at(position + qsizetype(i))] !=
                (unsigned char)m_needle[i])
                return false;
        return true;
    }

    const LogText &m_text;
    const std::array<unsigned char, 256> &m_fold;
    std::string m_needle;
    std::array<qsizetype, 256> m_skip{};
};

} // namespace

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

qsizetype LogText::indexOf(std::string_view needle, qsizetype from, bool caseSensitive) const
{
    if (needle.empty())
        return from >= 0 && from <= m_length ? from : -1;
    return Search(*this, needle, caseSensitive).first(from, m_length);
}

qsizetype LogText::lastIndexOf(std::string_view needle, qsizetype before, bool caseSensitive) const
{
    if (needle.empty())
        return before > 0 ? std::min(before - 1, m_length) : -1;
    return Search(*this, needle, caseSensitive).last(before);
}

} // namespace paddock

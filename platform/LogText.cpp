#include "LogText.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace paddock {

// Fixed-size blocks: growing never moves what is stored, so older texts stay valid and an
// append costs time in proportion to the chunk alone.
struct LogText::Buffer {
    static constexpr qsizetype BlockSize = qsizetype(1) << 20;
    std::vector<std::unique_ptr<char[]>> blocks;
    qsizetype length = 0;

    void append(std::string_view chunk)
    {
        while (!chunk.empty()) {
            const qsizetype offset = length % BlockSize;
            if (offset == 0 && qsizetype(blocks.size()) * BlockSize == length)
                blocks.push_back(std::make_unique_for_overwrite<char[]>(size_t(BlockSize)));
            const qsizetype room = BlockSize - offset;
            const qsizetype take = std::min<qsizetype>(room, qsizetype(chunk.size()));
            std::memcpy(blocks.back().get() + offset, chunk.data(), size_t(take));
            length += take;
            chunk.remove_prefix(size_t(take));
        }
    }
};

LogText::LogText(std::shared_ptr<Buffer> buffer, qsizetype length)
    : m_buffer(std::move(buffer))
    , m_length(length)
{
}

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
    return m_buffer->blocks[size_t(position / Buffer::BlockSize)][size_t(position % Buffer::BlockSize)];
}

void LogText::forEachPiece(qsizetype position, qsizetype count,
                           const std::function<void(std::string_view)> &visit) const
{
    position = std::clamp<qsizetype>(position, 0, m_length);
    qsizetype end = std::clamp<qsizetype>(position + std::max<qsizetype>(count, 0), position, m_length);
    while (position < end) {
        const qsizetype offset = position % Buffer::BlockSize;
        const qsizetype take = std::min(Buffer::BlockSize - offset, end - position);
        visit(std::string_view(m_buffer->blocks[size_t(position / Buffer::BlockSize)].get() + offset,
                               size_t(take)));
        position += take;
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

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "FileLogStorage.h"

#include "LogFileSegments.h"

#include <algorithm>

namespace paddock {

bool FileLogStorage::keeps(qsizetype position) const
{
    std::uint64_t offset = 0;
    return backingOf(position, offset) != nullptr;
}

LogPiece FileLogStorage::pieceAt(qsizetype position, qsizetype end) const
{
    std::uint64_t offset = 0;
    if (const Backing *backing = backingOf(position, offset)) {
        end = std::min(end, backing->end);
        LogFilePiece piece = backing->segments->pieceAt(offset);
        if (!piece.bytes.empty())
            return LogPiece(piece.bytes.substr(
                                0, size_t(std::min(qsizetype(piece.bytes.size()), end - position))),
                            std::move(piece.keepAlive));
        const std::uint64_t first = backing->segments->begin();
        if (offset < first)
            end = std::min(end, position + qsizetype(first - offset));
    }
    return m_dropped.pieceAt(position, end);
}

bool FileLogStorage::addBacking(std::shared_ptr<const LogFileSegments> segments, qsizetype position,
                                std::uint64_t logOffset)
{
    if (!m_backings.empty()) {
        const Backing &latest = m_backings.back();
        if (latest.segments == segments && latest.end == std::numeric_limits<qsizetype>::max() &&
            latest.logOffset + std::uint64_t(position - latest.position) == logOffset)
            return false;
    }
    m_backings.push_back(
        Backing{position, std::numeric_limits<qsizetype>::max(), logOffset, std::move(segments)});
    return true;
}

void FileLogStorage::removeLatestBacking() noexcept
{
    if (!m_backings.empty())
        m_backings.pop_back();
}

bool FileLogStorage::holdsAll(qsizetype from, qsizetype to) const
{
    std::uint64_t offset = 0;
    const Backing *backing = backingOf(from, offset);
    return backing && to <= backing->end && offset >= backing->segments->begin() &&
           offset + std::uint64_t(to - from) <= backing->segments->end();
}

FileLogStorage FileLogStorage::before(qsizetype length) const
{
    FileLogStorage earlier;
    for (Backing backing : m_backings) {
        if (backing.position < length) {
            backing.end = std::min(backing.end, length);
            earlier.m_backings.push_back(std::move(backing));
        }
    }
    return earlier;
}

const FileLogStorage::Backing *FileLogStorage::backingOf(qsizetype position,
                                                         std::uint64_t &offset) const
{
    // The latest backing that covers position is the one that holds it.
    for (auto it = m_backings.rbegin(); it != m_backings.rend(); ++it) {
        if (it->position <= position && position < it->end) {
            offset = it->logOffset + std::uint64_t(position - it->position);
            return &*it;
        }
    }
    return nullptr;
}

} // namespace paddock

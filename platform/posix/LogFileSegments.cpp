// SPDX-License-Identifier: MIT
#include "LogFileSegments.h"

#include "DescriptorIo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>

namespace paddock {

// A window of a log file, copied into memory. Read with pread rather than mapped: a mapped
// page that another program cuts from the file (logrotate's copytruncate) raises SIGBUS when
// touched, which would end Paddock; a copy stays readable whatever happens to the file.
struct LogFileSegments::WindowBytes {
    explicit WindowBytes(std::size_t capacity)
        : bytes(new char[capacity])
    {}
    const char *data() const { return bytes.get(); }

    std::unique_ptr<char[]> bytes;
    std::size_t filled = 0; // how much of the window the file held when it was read
};

namespace {

std::uint64_t roundedToPages(std::uint64_t size)
{
    const auto page = std::uint64_t(::sysconf(_SC_PAGESIZE));
    return std::max<std::uint64_t>(page, (size + page - 1) / page * page);
}

} // namespace

LogFileSegments::LogFileSegments(std::uint64_t windowSize, std::uint64_t cachedLimit)
    : m_windowSize(roundedToPages(windowSize))
    , m_cachedLimit(cachedLimit)
{}

void LogFileSegments::addFile(std::shared_ptr<const UniqueFd> fd, std::uint64_t fileOffset)
{
    std::lock_guard lock(m_mutex);
    m_segments.push_back(Segment{m_end, fileOffset, 0, m_nextId++, std::move(fd)});
}

void LogFileSegments::grow(std::uint64_t count)
{
    std::lock_guard lock(m_mutex);
    if (m_segments.empty())
        return;
    m_segments.back().length += count;
    m_end += count;
}

void LogFileSegments::keepNewest(std::size_t count)
{
    std::lock_guard lock(m_mutex);
    while (m_segments.size() > count) {
        const std::uint64_t id = m_segments.front().id;
        std::erase_if(m_windows, [id](const Window &w) { return w.segmentId == id; });
        m_segments.pop_front();
    }
}

std::uint64_t LogFileSegments::begin() const
{
    std::lock_guard lock(m_mutex);
    return m_segments.empty() ? m_end : m_segments.front().logStart;
}

std::uint64_t LogFileSegments::end() const
{
    std::lock_guard lock(m_mutex);
    return m_end;
}

std::shared_ptr<const LogFileSegments::WindowBytes>
LogFileSegments::windowLocked(const Segment &segment, std::uint64_t index,
                              std::uint64_t needed) const
{
    ++m_useClock;
    const auto cached = std::find_if(m_windows.begin(), m_windows.end(), [&](const Window &w) {
        return w.segmentId == segment.id && w.index == index;
    });
    if (cached != m_windows.end()) {
        cached->lastUse = m_useClock;
        if (cached->copy->filled >= needed)
            return cached->copy;
        m_windows.erase(cached); // read while the file was shorter: read it again
    }
    std::shared_ptr<WindowBytes> window;
    try {
        window = std::make_shared<WindowBytes>(std::size_t(m_windowSize));
    } catch (const std::bad_alloc &) {
        return nullptr; // the piece is then unreachable for now; Paddock goes on
    }
    const off_t start = off_t(index * m_windowSize);
    window->filled =
        readFullyAt(segment.fd->get(), window->bytes.get(), std::size_t(m_windowSize), start).bytes;
    // A file cut short by another program no longer holds what the log says it does.
    if (window->filled < needed)
        return nullptr;
    m_windows.push_back(Window{segment.id, index, m_useClock, window});
    while (m_windows.size() > 1 && m_windows.size() * m_windowSize > m_cachedLimit) {
        const auto oldest = std::min_element(
            m_windows.begin(), m_windows.end(),
            [](const Window &a, const Window &b) { return a.lastUse < b.lastUse; });
        m_windows.erase(oldest);
    }
    return window;
}

LogFilePiece LogFileSegments::pieceAt(std::uint64_t offset) const
{
    std::lock_guard lock(m_mutex);
    auto after = std::upper_bound(
        m_segments.begin(), m_segments.end(), offset,
        [](std::uint64_t value, const Segment &segment) { return value < segment.logStart; });
    if (after == m_segments.begin())
        return {};
    const Segment &segment = *std::prev(after);
    if (offset >= segment.logStart + segment.length)
        return {};
    const std::uint64_t fileOffset = segment.fileStart + (offset - segment.logStart);
    const std::uint64_t index = fileOffset / m_windowSize;
    const std::uint64_t pieceEnd =
        std::min((index + 1) * m_windowSize, segment.fileStart + segment.length);
    auto window = windowLocked(segment, index, pieceEnd - index * m_windowSize);
    if (!window)
        return {};
    const char *start = window->data() + (fileOffset - index * m_windowSize);
    return LogFilePiece{std::string_view(start, std::size_t(pieceEnd - fileOffset)),
                        std::move(window)};
}

bool LogFileSegments::forEachPiece(std::uint64_t offset, std::uint64_t count,
                                   const std::function<void(std::string_view)> &visit) const
{
    const std::uint64_t stop = offset + count;
    while (offset < stop) {
        const LogFilePiece piece = pieceAt(offset);
        if (piece.bytes.empty())
            return false;
        const auto length = std::min<std::uint64_t>(piece.bytes.size(), stop - offset);
        visit(piece.bytes.substr(0, std::size_t(length)));
        offset += length;
    }
    return true;
}

std::int64_t LogFileSegments::indexOf(std::string_view needle, std::uint64_t from) const
{
    std::uint64_t offset = std::max(from, begin());
    if (needle.empty())
        return offset <= end() ? std::int64_t(offset) : -1;
    // The last needle.size() - 1 bytes before offset, so a match across two pieces is found.
    std::string carry;
    for (;;) {
        const LogFilePiece piece = pieceAt(offset);
        if (piece.bytes.empty()) {
            if (offset >= end())
                return -1;
            // Bytes removed meanwhile or unreadable: resume where the files still hold the log.
            const std::uint64_t first = begin();
            if (offset >= first)
                return -1;
            offset = first;
            carry.clear();
            continue;
        }
        const std::string_view bytes = piece.bytes;
        if (!carry.empty()) {
            const std::string joined =
                carry + std::string(bytes.substr(0, std::min(bytes.size(), needle.size() - 1)));
            const auto at = joined.find(needle);
            if (at != std::string::npos)
                return std::int64_t(offset - carry.size() + at);
        }
        if (const void *found = ::memmem(bytes.data(), bytes.size(), needle.data(), needle.size()))
            return std::int64_t(offset +
                                std::uint64_t(static_cast<const char *>(found) - bytes.data()));
        const std::size_t keep = needle.size() - 1;
        if (bytes.size() >= keep)
            carry.assign(bytes.substr(bytes.size() - keep));
        else
            carry =
                (carry + std::string(bytes))
                    .substr(carry.size() + bytes.size() > keep ? carry.size() + bytes.size() - keep
                                                               : 0);
        offset += bytes.size();
    }
}

} // namespace paddock

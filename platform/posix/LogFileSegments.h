// SPDX-License-Identifier: MIT
#pragma once

#include "UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace paddock {

/// A contiguous run of log bytes read back from a log file, and what keeps it readable: the
/// bytes stay valid as long as the piece (or a copy of it) lives, even if the file is
/// rotated away meanwhile.
struct LogFilePiece final {
    std::string_view bytes;
    std::shared_ptr<const void> keepAlive;
};

/// The parts of the log that the log files hold, addressed by log offset (0 is the first byte
/// the writer appended), read back from the files. Each file is one segment: where its part of
/// the log starts, where that part starts in the file, its length and an open descriptor (a
/// rename keeps it valid). The files are read in aligned windows, copied into memory (never
/// mapped: a file cut short under a mapping would end Paddock with SIGBUS), and cached up to a
/// bound, least recently used dropped first. Thread-safe.
class LogFileSegments final {
public:
    // Small windows and few of them: the copies count as the launcher's resident memory, and
    // reading a cached file again is cheap.
    static constexpr std::uint64_t DefaultWindowSize = 1ull << 20;
    static constexpr std::uint64_t DefaultCachedLimit = 24ull << 20;

    /// An empty log; windowSize is rounded up to whole pages.
    explicit LogFileSegments(std::uint64_t windowSize = DefaultWindowSize,
                             std::uint64_t cachedLimit = DefaultCachedLimit);
    LogFileSegments(const LogFileSegments &) = delete;
    LogFileSegments &operator=(const LogFileSegments &) = delete;

    /// Starts a new segment at end(): the log continues in fd's file at fileOffset.
    void addFile(std::shared_ptr<const UniqueFd> fd, std::uint64_t fileOffset);
    /// Extends the newest segment by count bytes just written to its file.
    void grow(std::uint64_t count);
    /// Forgets all but the newest count segments (their files were removed), and their windows.
    void keepNewest(std::size_t count);

    /// The first log offset still held by a file (end() if none is).
    std::uint64_t begin() const;
    /// One past the last log offset written.
    std::uint64_t end() const;

    /// The longest piece starting at offset that one window holds; empty if offset is outside
    /// [begin(), end()), or the file cannot be read or has been cut short by someone else.
    LogFilePiece pieceAt(std::uint64_t offset) const;
    /// Calls visit with consecutive pieces covering [offset, offset + count); returns false,
    /// having visited what came before, if part of the range is unreachable.
    bool forEachPiece(std::uint64_t offset, std::uint64_t count,
                      const std::function<void(std::string_view)> &visit) const;
    /// Log offset of the first occurrence of needle starting in [from, end()) that lies
    /// wholly in reachable bytes, or -1.
    std::int64_t indexOf(std::string_view needle, std::uint64_t from) const;

private:
    struct Segment {
        std::uint64_t logStart = 0;
        std::uint64_t fileStart = 0;
        std::uint64_t length = 0;
        std::uint64_t id = 0;
        std::shared_ptr<const UniqueFd> fd;
    };
    struct WindowBytes;
    struct Window {
        std::uint64_t segmentId = 0;
        std::uint64_t index = 0;
        std::uint64_t lastUse = 0;
        std::shared_ptr<const WindowBytes> copy;
    };

    /// The window index of segment's file, holding at least its first needed bytes; null when
    /// the file no longer has them.
    std::shared_ptr<const WindowBytes> windowLocked(const Segment &segment, std::uint64_t index,
                                                    std::uint64_t needed) const;

    const std::uint64_t m_windowSize;
    const std::uint64_t m_cachedLimit;
    mutable std::mutex m_mutex;
    std::deque<Segment> m_segments;
    std::uint64_t m_end = 0;
    std::uint64_t m_nextId = 0;
    mutable std::vector<Window> m_windows;
    mutable std::uint64_t m_useClock = 0;
};

} // namespace paddock

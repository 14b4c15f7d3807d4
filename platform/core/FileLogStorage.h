// SPDX-License-Identifier: MIT
#pragma once

#include "DroppedLogStorage.h"
#include "LogStorage.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace paddock {

class LogFileSegments;

/// Log bytes that log files hold, read back from them. Each backing states that a file holds
/// the bytes from a position on; what a file no longer holds (rotated away, cut short) reads
/// as Dropped.
class FileLogStorage final : public LogStorage {
public:
    /// Keeps position when some backing covers it, whether or not its file still holds it.
    bool keeps(qsizetype position) const override;
    /// The bytes one window of the file holds from position on, or the Dropped run up to
    /// where the file holds bytes again.
    LogPiece pieceAt(qsizetype position, qsizetype end) const override;

    /// Records that the log file read back through segments holds the bytes from position on,
    /// the byte at position being at logOffset in it; returns false when that only continues
    /// the latest backing (nothing was added).
    bool addBacking(std::shared_ptr<const LogFileSegments> segments, qsizetype position,
                    std::uint64_t logOffset);
    /// Forgets the backing added last.
    void removeLatestBacking() noexcept;
    /// Whether one log file holds all bytes of [from, to) now.
    bool holdsAll(qsizetype from, qsizetype to) const;
    /// The backings of the bytes before length alone, for a log that branches off there.
    FileLogStorage before(qsizetype length) const;

private:
    struct Backing {
        qsizetype position = 0;
        qsizetype end = std::numeric_limits<qsizetype>::max();
        std::uint64_t logOffset = 0;
        std::shared_ptr<const LogFileSegments> segments;
    };
    /// The backing covering position, if any, and position's offset in its log.
    const Backing *backingOf(qsizetype position, std::uint64_t &offset) const;

    std::vector<Backing> m_backings;
    DroppedLogStorage m_dropped;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "LogFileOwnership.h"

#include <cstdint>
#include <optional>
#include <string>

namespace paddock {

/// A place in a log file that outlives its rotation: the file, by identity, and a byte offset
/// in it.
struct LogFilePosition {
    FileIdentity file;
    std::uint64_t offset = 0;
    bool operator==(const LogFilePosition &) const = default;
};

/// Where the log file at path (bytes) ends now: the next byte appended goes there. None when
/// there is no regular file at path (a link is not followed).
std::optional<LogFilePosition> logFileEnd(const std::string &path);

/// The last `limit` bytes of the log file's history, oldest first: its rotated predecessors
/// (path.N ... path.1), then path. With from, only what was written from that position on;
/// when its file is no longer among them (rotated away, or replaced), all of them. Names are
/// looked up in the log's folder alone and no link is followed: a link there could show any
/// file. Older bytes are skipped, not read, so a long history costs no more than the limit.
std::string readLogFileTail(const std::string &path, std::uint64_t limit,
                            std::optional<LogFilePosition> from = std::nullopt);
/// The first `limit` bytes of the same history, oldest first: where a run's part of the log
/// begins, which its newest bytes may no longer reach.
std::string readLogFileHead(const std::string &path, std::uint64_t limit,
                            std::optional<LogFilePosition> from = std::nullopt);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "LogFileSegments.h"
#include "UniqueFd.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace paddock {

/// Appends the server's bytes to a log file, rotating it by size: path is filled up to exactly
/// rotateSize, then renamed to path.1 (path.1 to path.2, and so on; path.keep is removed) and
/// the log continues in a new path. Plain C++ and POSIX, so a program without Qt can share it.
/// A process using it should ignore SIGXFSZ, so a file size limit fails a write instead of
/// killing the process.
class LogFileWriter final {
public:
    static constexpr std::uint64_t DefaultRotateSize = 64ull << 20;
    static constexpr int DefaultKeep = 5;

    /// A writer for the log file at path (bytes); nothing is opened yet. A rotateSize of 0
    /// never rotates; a keep of 0 removes the full file instead of keeping it.
    explicit LogFileWriter(std::string path, std::uint64_t rotateSize = DefaultRotateSize,
                           int keep = DefaultKeep);
    LogFileWriter(const LogFileWriter &) = delete;
    LogFileWriter &operator=(const LogFileWriter &) = delete;

    /// Appends all of bytes, opening the file on first use (continuing an existing file, whose
    /// size counts towards rotateSize) and rotating as needed; returns 0, or the errno of the
    /// first failure, after which the writer is failed and appends nothing more. A path that
    /// is not a regular file fails with EISDIR (a folder) or EINVAL (anything else).
    int append(std::string_view bytes);

    bool failed() const { return m_error != 0; }
    /// The errno of the failure, 0 if none.
    int error() const { return m_error; }
    const std::string &path() const { return m_path; }
    std::uint64_t rotateSize() const { return m_rotateSize; }
    int keep() const { return m_keep; }
    /// Total bytes appended through this writer (the log's length as far as the files go).
    std::uint64_t written() const { return m_written; }
    /// What this writer's files hold of the log, readable back; shared so a reader may outlive
    /// the writer.
    std::shared_ptr<const LogFileSegments> segments() const { return m_segments; }

private:
    int open();
    int rotate();
    int fail(int error);

    const std::string m_path;
    const std::uint64_t m_rotateSize;
    const int m_keep;
    std::shared_ptr<const UniqueFd> m_fd;
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_written = 0;
    int m_error = 0;
    std::shared_ptr<LogFileSegments> m_segments = std::make_shared<LogFileSegments>();
};

} // namespace paddock

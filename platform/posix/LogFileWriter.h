// SPDX-License-Identifier: MIT
#pragma once

#include "LogFileOwnership.h"
#include "LogFileSegments.h"
#include "UniqueFd.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace paddock {

/// Appends the server's bytes to a log file, rotating it by size: path is filled up to exactly
/// rotateSize, then renamed to path.1 (path.1 to path.2, and so on; path.keep is removed) and
/// the log continues in a new path. Only files Paddock created (ownership) are ever renamed or
/// removed: a log someone else left at path is appended to without end, and a numbered name
/// that is not Paddock's stops the shift before it, never overwritten. No link is followed:
/// every name is used through the folder's descriptor, and a link at path is an error (ELOOP).
/// Plain C++ and POSIX, so a program without Qt can share it. A process using it should ignore
/// SIGXFSZ, so a file size limit fails a write instead of killing the process.
class LogFileWriter final {
public:
    static constexpr std::uint64_t DefaultRotateSize = 64ull << 20;
    static constexpr int DefaultKeep = 5;

    /// A writer for the log file at path (bytes); nothing is opened yet. A rotateSize of 0
    /// never rotates; a keep of 0 removes the full file instead of keeping it. ownership
    /// tells Paddock's files from others' (by default only those this writer creates).
    explicit LogFileWriter(std::string path, std::uint64_t rotateSize = DefaultRotateSize,
                           int keep = DefaultKeep, LogFileOwnership ownership = {});
    LogFileWriter(const LogFileWriter &) = delete;
    LogFileWriter &operator=(const LogFileWriter &) = delete;

    /// What an append came to: all bytes written, or the errno of the failure.
    struct AppendResult final {
        int error = 0;
        bool ok() const { return error == 0; }
    };

    /// Appends all of bytes, opening the file on first use (continuing an existing file, whose
    /// size counts towards rotateSize) and rotating as needed. On the first failure the writer
    /// is failed and appends nothing more. A path that is not a regular file fails with EISDIR
    /// (a folder), ELOOP (a symbolic link) or EINVAL (anything else).
    [[nodiscard]] AppendResult append(std::string_view bytes);

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
    /// Makes room for path.1 by shifting Paddock's numbered files up (removing the oldest);
    /// how many numbered files of Paddock's there will be once path is path.1, or none when
    /// nothing can move: error then says why, or is 0 when a file not Paddock's is in the way.
    std::optional<int> shiftNumbered(int &error);
    int fail(int error);
    std::string numbered(int n) const { return m_name + '.' + std::to_string(n); }

    const std::string m_path;
    const std::uint64_t m_rotateSize;
    const int m_keep;
    LogFileOwnership m_ownership;
    std::string m_name; // the last part of m_path
    UniqueFd m_folder;  // the folder every name is used in
    std::shared_ptr<const UniqueFd> m_fd;
    std::optional<FileIdentity> m_file; // the open file's, when it is Paddock's
    std::uint64_t m_fileSize = 0;
    std::uint64_t m_rotateAt = 0; // the file size at which to rotate next; 0: never
    std::uint64_t m_written = 0;
    int m_error = 0;
    std::shared_ptr<LogFileSegments> m_segments = std::make_shared<LogFileSegments>();
};

} // namespace paddock

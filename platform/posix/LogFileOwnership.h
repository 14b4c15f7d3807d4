// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace paddock {

/// Paddock's own registry of the log files it created: in the folder where running servers
/// are recorded; empty when there is no such folder.
std::string defaultLogFileRegistry();

/// What names one file for good, across renames: its device and inode, and its birth time
/// where the file system keeps one, so an inode reused after a removal is another file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t bornSeconds = 0;
    std::uint32_t bornNanoseconds = 0;
    auto operator<=>(const FileIdentity &) const = default;
};

/// The identity of the open file fd; none (errno set) if it cannot be read.
std::optional<FileIdentity> identityOf(int fd);
/// The identity of name in the folder folderFd, without following a link (a link has its
/// own); none (errno set) if there is no such name or it cannot be read.
std::optional<FileIdentity> identityAt(int folderFd, const std::string &name);

/// Which log files Paddock created itself, so that rotation renames or removes those and no
/// others. What this object was told is known for its life; with a registry path it is also
/// kept there, for later writers (a later Paddock, the keeper). The registry belongs in
/// Paddock's private state folder, never in a world's folder, whose contents may have been
/// prepared by someone else: it is trusted only if it and its folder are the user's own and
/// no one else can write them. Plain C++ and POSIX.
class LogFileOwnership final {
public:
    /// Keeps what it learns in memory only.
    LogFileOwnership() = default;
    /// Keeps what it learns in registryPath (bytes) too; empty keeps it in memory only.
    explicit LogFileOwnership(std::string registryPath);

    /// Whether file is one Paddock created.
    bool owns(const FileIdentity &file) const;
    /// Records file as Paddock's. A registry that cannot be written loses only the memory
    /// of it for later writers, which then leave the file alone.
    void remember(const FileIdentity &file);
    /// Forgets file, which Paddock has removed.
    void forget(const FileIdentity &file);

    const std::string &registryPath() const { return m_registryPath; }

private:
    /// The registry's entries, oldest first; none when it is missing or not trusted.
    std::vector<FileIdentity> readRegistry() const;
    void replaceRegistry(const std::vector<FileIdentity> &files) const;

    std::string m_registryPath;
    std::vector<FileIdentity> m_known;
};

} // namespace paddock

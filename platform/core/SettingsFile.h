// SPDX-License-Identifier: MIT
#pragma once

#include "UniqueFd.h"

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace paddock {

/// Paddock's own settings folder, from the environment's bytes as they are:
/// $XDG_CONFIG_HOME/paddock when that is set and absolute, else $HOME/.config/paddock, else
/// the password database's home followed by /.config/paddock.
std::string settingsFolderPath();
/// Path of a file in Paddock's own settings folder.
std::string settingsFilePath(const std::string &fileName);

/// What tells one state of a settings file from another: a save replaces the file, an
/// edit changes its size or time.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    bool operator==(const FileStamp &) const = default;
};

/// The stamp of the file at path now, following symbolic links; none for a missing file.
FileStamp stampOf(const std::string &path);

/// The largest settings file read: far above any real one, small enough to read at once.
inline constexpr off_t MaximumSettingsFileSize = off_t(64) << 20;

/// The contents of a settings file, read without ever blocking: a regular file of at most
/// MaximumSettingsFileSize. A missing file (or folder) reads as empty. Anything else standing there
/// gives none, with error saying why: EISDIR for a folder, EINVAL for no regular file (a FIFO, a
/// device), EFBIG when too large, or the errno of the open or read. Such a file is not
/// Paddock's to replace. Sets stamp to the file's state as read.
std::optional<std::string> readSettingsFile(const std::string &path, FileStamp &stamp, int &error);

/// An exclusive lock on a settings folder, held until destroyed; it dies with the process,
/// so no stale lock can outlive a crash.
class FolderLock final {
public:
    /// Creates the folder if need be and takes its lock, trying a few times over at most
    /// about 100 ms; none (errno set) when the folder cannot be made or stays locked.
    static std::optional<FolderLock> acquire(const std::string &folder);
    int folderFd() const { return m_fd.get(); }

private:
    explicit FolderLock(UniqueFd fd)
        : m_fd(std::move(fd))
    {}
    UniqueFd m_fd;
};

/// Replaces the file at path with contents atomically: a temporary file in the same folder,
/// written and flushed to disk, renamed over path, then the folder flushed. On failure
/// returns false with errno set and leaves the old file as it was. Sets stamp to the new
/// file's state.
bool replaceFileAtomically(const std::string &path, std::string_view contents,
                           const FolderLock &lock, FileStamp &stamp);

} // namespace paddock

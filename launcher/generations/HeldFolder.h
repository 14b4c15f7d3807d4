// SPDX-License-Identifier: MIT
#pragma once

#include "RotationError.h"
#include "UniqueFd.h"

#include <QtGlobal>

#include <string>
#include <string_view>

namespace paddock {

/// A folder held open by its descriptor. Every file in it is reached by name relative to that
/// descriptor and no link is ever followed: a world folder's contents may come from someone
/// else. Failures throw RotationError, naming the path.
class HeldFolder final {
public:
    /// What a name in the folder is.
    enum class Entry { Absent, File, Other };

    /// Opens the folder at path; a link in path itself is followed, as the user chose it.
    static HeldFolder open(const std::string &path);
    /// Opens the folder name in this one, making it first when create is set; refuses a link,
    /// a file or anything else there.
    HeldFolder subfolder(const std::string &name, bool create) const;

    int fd() const { return m_fd.get(); }
    const std::string &path() const { return m_path; }
    /// name in this folder as a path, for messages.
    std::string pathOf(const std::string &name) const;

    /// Whether name is absent, a regular file, or anything else (a link, a folder, a FIFO).
    Entry entry(const std::string &name) const;
    /// Opens the regular file name for reading; refuses a link or anything else.
    UniqueFd openForReading(const std::string &name) const;
    /// Creates name for writing; refuses whatever is there already, a link too.
    UniqueFd createNew(const std::string &name) const;
    /// Writes bytes as the new file name, fsynced; refuses whatever is there already, and a
    /// failure removes what it wrote.
    void writeNewFile(const std::string &name, std::string_view bytes) const;
    /// Opens the regular file name for appending, creating it when absent; refuses a link.
    UniqueFd openForAppending(const std::string &name) const;
    /// Removes name, which may be absent.
    void remove(const std::string &name) const;
    /// Removes name only when it is a regular file: Paddock's own leftover. Anything else there
    /// stays, and a later createNew refuses it.
    void removeLeftover(const std::string &name) const;
    /// Renames name to newName in folder to, never replacing anything; returns 0 or the errno.
    int renameNoReplace(const std::string &name, const HeldFolder &to,
                        const std::string &newName) const;
    /// Flushes the folder's entries to disk, so a rename in it survives a power cut.
    void sync() const;
    /// The bytes an unprivileged user may still write on its file system; -1 when unknown.
    qint64 freeBytes() const;

private:
    HeldFolder(UniqueFd fd, std::string path);
    UniqueFd openFile(const std::string &name, int flags, const char *verb) const;

    UniqueFd m_fd;
    std::string m_path;
};

/// Throws the RotationError "<verb> “<path>”: <the system's reason>"; for ELOOP it says that
/// path is a link, which is never followed.
[[noreturn]] void throwFileError(const char *verb, const std::string &path, int error);

/// A file by its name in a held folder, which must outlive it.
struct FolderFile {
    const HeldFolder &folder;
    std::string name;
    std::string path() const { return folder.pathOf(name); }
};

} // namespace paddock

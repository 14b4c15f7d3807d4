// SPDX-License-Identifier: MIT
#include "LogFileHistory.h"

#include "DescriptorIo.h"
#include "UniqueFd.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace paddock {

namespace {

struct PathParts {
    std::string folder;
    std::string name;
};

PathParts split(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

UniqueFd openFolder(const std::string &folder)
{
    return UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

UniqueFd openRegular(int folderFd, const std::string &name, struct stat &info)
{
    UniqueFd fd(::openat(folderFd, name.c_str(),
                         O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
    if (!fd || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    return fd;
}

struct HistoryFile {
    UniqueFd fd;
    std::uint64_t begin = 0; // the first byte that counts
    std::uint64_t end = 0;   // its size when opened
};

} // namespace

std::optional<LogFilePosition> logFileEnd(const std::string &path)
{
    const PathParts parts = split(path);
    const UniqueFd folderFd = openFolder(parts.folder);
    if (!folderFd)
        return std::nullopt;
    struct stat info = {};
    const UniqueFd fd = openRegular(folderFd.get(), parts.name, info);
    const std::optional<FileIdentity> identity = fd ? identityOf(fd.get()) : std::nullopt;
    if (!identity)
        return std::nullopt;
    return LogFilePosition{*identity, std::uint64_t(info.st_size)};
}

namespace {

// The history's files, oldest first: path.N ... path.1, then path, each from the first byte
// that counts to its size now. With from, only what was written from that position on; when
// its file is no longer among them, all of them.
std::vector<HistoryFile> historyFiles(const std::string &path,
                                      const std::optional<LogFilePosition> &from)
{
    const PathParts parts = split(path);
    const UniqueFd folderFd = openFolder(parts.folder);
    if (!folderFd)
        return {};
    // Numbering stops at the first gap.
    std::vector<std::string> names;
    for (int n = 1; n < 10000; ++n) {
        const std::string rotated = parts.name + "." + std::to_string(n);
        struct stat info = {};
        if (::fstatat(folderFd.get(), rotated.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(info.st_mode))
            break;
        names.insert(names.begin(), rotated);
    }
    names.push_back(parts.name);
    std::vector<HistoryFile> files;
    for (const std::string &each : names) {
        struct stat info = {};
        UniqueFd fd = openRegular(folderFd.get(), each, info);
        if (!fd)
            continue;
        HistoryFile file{std::move(fd), 0, std::uint64_t(info.st_size)};
        if (from && identityOf(file.fd.get()) == from->file) {
            // Everything before belongs to earlier runs. A file cut shorter than the position
            // since counts from its start.
            files.clear();
            file.begin = from->offset <= file.end ? from->offset : 0;
        }
        files.push_back(std::move(file));
    }
    return files;
}

// Reads the history's bytes from skip on, at most limit of them.
std::string readHistory(std::vector<HistoryFile> &files, std::uint64_t skip, std::uint64_t limit)
{
    std::string history;
    for (HistoryFile &file : files) {
        const std::uint64_t skipped = std::min(skip, file.end - file.begin);
        skip -= skipped;
        const std::uint64_t at = file.begin + skipped;
        // Up to the size seen when opened: what is appended meanwhile comes through the pipes.
        const std::size_t want = std::size_t(std::min(file.end - at, limit - history.size()));
        if (want == 0)
            continue;
        const std::size_t before = history.size();
        history.resize(before + want);
        const ReadOutcome got =
            readFullyAt(file.fd.get(), history.data() + before, want, off_t(at));
        history.resize(before + got.bytes);
    }
    return history;
}

} // namespace

std::string readLogFileTail(const std::string &path, std::uint64_t limit,
                            std::optional<LogFilePosition> from)
{
    std::vector<HistoryFile> files = historyFiles(path, from);
    std::uint64_t total = 0;
    for (const HistoryFile &file : files)
        total += file.end - file.begin;
    return readHistory(files, total > limit ? total - limit : 0, limit);
}

std::string readLogFileHead(const std::string &path, std::uint64_t limit,
                            std::optional<LogFilePosition> from)
{
    std::vector<HistoryFile> files = historyFiles(path, from);
    return readHistory(files, 0, limit);
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "LogFileOwnership.h"

#include "DescriptorIo.h"
#include "PrivateFolder.h"
#include "UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace paddock {

namespace {

// Far more than one world's rotations leave; the oldest entries go first, and a file whose
// entry went is then only left alone, never lost.
constexpr std::size_t MaxEntries = 1024;
constexpr off_t MaxRegistrySize = off_t(MaxEntries) * 2 * 80;

std::optional<FileIdentity> fromStatx(int folderFd, const char *name, int flags)
{
    struct statx info = {};
    if (::statx(folderFd, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                STATX_INO | STATX_BTIME, &info) != 0)
        return std::nullopt;
    FileIdentity identity;
    identity.device = makedev(info.stx_dev_major, info.stx_dev_minor);
    identity.inode = ino_t(info.stx_ino);
    if (info.stx_mask & STATX_BTIME) {
        identity.bornSeconds = info.stx_btime.tv_sec;
        identity.bornNanoseconds = info.stx_btime.tv_nsec;
    }
    return identity;
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string lineOf(const FileIdentity &file)
{
    char line[96];
    std::snprintf(line, sizeof line, "%ju %ju %" PRId64 " %" PRIu32 "\n",
                  std::uintmax_t(file.device), std::uintmax_t(file.inode), file.bornSeconds,
                  file.bornNanoseconds);
    return line;
}

} // namespace

std::string defaultLogFileRegistry()
{
    const std::string folder = serverRecordFolder();
    return folder.empty() ? std::string() : folder + "/log-files";
}

std::optional<FileIdentity> identityOf(int fd)
{
    return fromStatx(fd, "", AT_EMPTY_PATH);
}

std::optional<FileIdentity> identityAt(int folderFd, const std::string &name)
{
    return fromStatx(folderFd, name.c_str(), 0);
}

LogFileOwnership::LogFileOwnership(std::string registryPath)
    : m_registryPath(std::move(registryPath))
{}

bool LogFileOwnership::owns(const FileIdentity &file) const
{
    if (std::find(m_known.begin(), m_known.end(), file) != m_known.end())
        return true;
    const std::vector<FileIdentity> registered = readRegistry();
    return std::find(registered.begin(), registered.end(), file) != registered.end();
}

void LogFileOwnership::remember(const FileIdentity &file)
{
    m_known.push_back(file);
    if (m_registryPath.empty() || !makePrivateFolder(folderOf(m_registryPath)).empty())
        return;
    std::vector<FileIdentity> registered = readRegistry();
    if (registered.size() >= MaxEntries) {
        registered.erase(registered.begin(), registered.end() - MaxEntries / 2);
        registered.push_back(file);
        replaceRegistry(registered);
        return;
    }
    // One short write in append mode: a keeper adding its own line meanwhile loses nothing.
    const UniqueFd fd(::open(m_registryPath.c_str(),
                             O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd)
        writeAll(fd.get(), lineOf(file));
}

void LogFileOwnership::forget(const FileIdentity &file)
{
    std::erase(m_known, file);
    if (m_registryPath.empty())
        return;
    std::vector<FileIdentity> registered = readRegistry();
    if (std::erase(registered, file) > 0)
        replaceRegistry(registered);
}

std::vector<FileIdentity> LogFileOwnership::readRegistry() const
{
    std::vector<FileIdentity> files;
    if (m_registryPath.empty() || !checkPrivateFolder(folderOf(m_registryPath)).empty())
        return files;
    const UniqueFd fd(
        ::open(m_registryPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status = {};
    if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_uid != ::geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) ||
        status.st_size > MaxRegistrySize)
        return files;
    std::string text(std::size_t(status.st_size), '\0');
    text.resize(readFully(fd.get(), text.data(), text.size()).bytes);
    // A line cut short or garbled names no file: it is skipped.
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break;
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        std::uintmax_t device = 0, inode = 0;
        std::int64_t seconds = 0;
        std::uint32_t nanoseconds = 0;
        int used = 0;
        if (std::sscanf(line.c_str(), "%ju %ju %" SCNd64 " %" SCNu32 "%n", &device, &inode,
                        &seconds, &nanoseconds, &used) == 4 &&
            std::size_t(used) == line.size())
            files.push_back(FileIdentity{dev_t(device), ino_t(inode), seconds, nanoseconds});
    }
    return files;
}

void LogFileOwnership::replaceRegistry(const std::vector<FileIdentity> &files) const
{
    std::string text;
    for (const FileIdentity &file : files)
        text += lineOf(file);
    std::string temporary = m_registryPath + ".XXXXXX";
    const UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd)
        return;
    if (!writeAll(fd.get(), text) || ::rename(temporary.c_str(), m_registryPath.c_str()) != 0)
        ::unlink(temporary.c_str());
}

} // namespace paddock

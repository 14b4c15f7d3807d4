// SPDX-License-Identifier: MIT
#include "SettingsFile.h"

#include "DescriptorIo.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace paddock {

namespace {

std::string nonEmptyEnvironment(const char *name)
{
    const char *value = ::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string passwordHome()
{
    std::vector<char> buffer(16384);
    passwd entry = {};
    passwd *found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_dir)
        return {};
    return found->pw_dir;
}

FileStamp stampFrom(const struct stat &info)
{
    return FileStamp{true, info.st_dev, info.st_ino, info.st_size,
                     (long long)info.st_mtim.tv_sec * 1000000000LL + info.st_mtim.tv_nsec};
}

std::string folderOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p on bytes: each missing folder on the way is made.
bool makeFolders(const std::string &folder)
{
    struct stat info = {};
    if (::stat(folder.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    if (errno != ENOENT)
        return false;
    const std::string parent = folderOf(folder);
    if (parent != folder && !makeFolders(parent))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

std::string settingsFolderPath()
{
    const std::string configHome = nonEmptyEnvironment("XDG_CONFIG_HOME");
    if (configHome.starts_with('/'))
        return configHome + "/paddock";
    std::string home = nonEmptyEnvironment("HOME");
    if (home.empty())
        home = passwordHome();
    return home + "/.config/paddock";
}

std::string settingsFilePath(const std::string &fileName)
{
    return settingsFolderPath() + '/' + fileName;
}

FileStamp stampOf(const std::string &path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0)
        return {};
    return stampFrom(info);
}

std::optional<std::string> readSettingsFile(const std::string &path, FileStamp &stamp, int &error)
{
    error = 0;
    stamp = stampOf(path);
    // Non-blocking, so a FIFO put in the file's place cannot stop Paddock in open().
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR) // no file there, nothing to keep
            return std::string();
        error = errno;
        return std::nullopt;
    }
    struct stat info = {};
    if (::fstat(fd.get(), &info) != 0) {
        error = errno;
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode))
        error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    else if (info.st_size > MaximumSettingsFileSize)
        error = EFBIG;
    if (error)
        return std::nullopt;
    stamp = stampFrom(info);
    std::string contents(size_t(info.st_size), '\0');
    const ReadOutcome read = readFully(fd.get(), contents.data(), contents.size());
    if (read.error) {
        error = read.error;
        return std::nullopt;
    }
    contents.resize(read.bytes);
    return contents;
}

std::optional<FolderLock> FolderLock::acquire(const std::string &folder)
{
    if (!makeFolders(folder))
        return std::nullopt;
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    // Another Paddock saving holds the lock for a moment only; one that holds it longer is
    // not waited for: the save fails and says so, rather than stall the window.
    constexpr int attempts = 10;
    for (int attempt = 1;; ++attempt) {
        if (retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | LOCK_NB); }) == 0)
            return FolderLock(std::move(fd));
        if (errno != EWOULDBLOCK || attempt == attempts)
            return std::nullopt;
        const timespec pause{0, 10 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
}

bool replaceFileAtomically(const std::string &path, std::string_view contents,
                           const FolderLock &lock, FileStamp &stamp)
{
    std::string temporary = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd)
        return false;
    struct stat info = {};
    if (!writeAll(fd.get(), contents) || ::fsync(fd.get()) != 0 || ::fstat(fd.get(), &info) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        return false;
    }
    stamp = stampFrom(info);
    // The rename is only durable once the folder is on disk too.
    ::fsync(lock.folderFd());
    return true;
}

} // namespace paddock

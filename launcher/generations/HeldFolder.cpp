// SPDX-License-Identifier: MIT
#include "HeldFolder.h"

#include "DescriptorIo.h"
#include "RenameNoReplace.h"
#include "RotationError.h"
#include "String.h"
#include "SystemError.h"

#include <QCoreApplication>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace paddock {

void throwFileError(const char *verb, const std::string &path, int error)
{
    // The verbs are marked for the catalogue where they are written, under this context.
    const QString said = QCoreApplication::translate("HeldFolder", verb);
    const QString name = displayPath(path);
    const QString text =
        error == ELOOP ? QCoreApplication::translate(
                             "HeldFolder", "%1 “%2”: it is a link, which Paddock does not follow")
                             .arg(said, name)
                       : QCoreApplication::translate("HeldFolder", "%1 “%2”: %3")
                             .arg(said, name, QString::fromLocal8Bit(errorText(error)));
    throw RotationError(text.toStdString(), error);
}

namespace {

// Names come from a journal someone else may have written: one component, never a path.
void checkName(const std::string &name, const std::string &folder)
{
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\0') != std::string::npos)
        throw RotationError("“" + name + "” is not a file name in “" + folder + "”", EINVAL);
}

int openAt(int dir, const std::string &name, int flags, mode_t mode = 0)
{
    return retryOnInterrupt(
        [&] { return ::openat(dir, name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode); });
}

} // namespace

HeldFolder::HeldFolder(UniqueFd fd, std::string path)
    : m_fd(std::move(fd))
    , m_path(std::move(path))
{}

HeldFolder HeldFolder::open(const std::string &path)
{
    const int fd =
        retryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot open the folder"), path, errno);
    return HeldFolder(UniqueFd(fd), path);
}

HeldFolder HeldFolder::subfolder(const std::string &name, bool create) const
{
    checkName(name, m_path);
    if (create && ::mkdirat(fd(), name.c_str(), 0755) != 0 && errno != EEXIST)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot create the folder"), pathOf(name),
                       errno);
    const int sub = openAt(fd(), name, O_RDONLY | O_DIRECTORY);
    if (sub < 0) {
        // A link there reads as "not a folder"; say what it is.
        int error = errno;
        struct stat st;
        if (error == ENOTDIR && ::fstatat(fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(st.st_mode))
            error = ELOOP;
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot use the folder"), pathOf(name),
                       error);
    }
    return HeldFolder(UniqueFd(sub), pathOf(name));
}

std::string HeldFolder::pathOf(const std::string &name) const
{
    return m_path.ends_with('/') ? m_path + name : m_path + '/' + name;
}

HeldFolder::Entry HeldFolder::entry(const std::string &name) const
{
    checkName(name, m_path);
    struct stat st;
    if (::fstatat(fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return S_ISREG(st.st_mode) ? Entry::File : Entry::Other;
    if (errno == ENOENT)
        return Entry::Absent;
    throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot look at"), pathOf(name), errno);
}

UniqueFd HeldFolder::openFile(const std::string &name, int flags, const char *verb) const
{
    checkName(name, m_path);
    // Non-blocking, so a FIFO put there cannot hold the open; it is refused just after.
    UniqueFd file(openAt(fd(), name, flags | O_NONBLOCK, 0644));
    if (!file)
        throwFileError(verb, pathOf(name), errno);
    struct stat st;
    if (::fstat(file.get(), &st) != 0)
        throwFileError(verb, pathOf(name), errno);
    if (!S_ISREG(st.st_mode))
        throw RotationError(std::string(verb) + " “" + pathOf(name) + "”: it is not a regular file",
                            EINVAL);
    return file;
}

UniqueFd HeldFolder::openForReading(const std::string &name) const
{
    return openFile(name, O_RDONLY, QT_TRANSLATE_NOOP("HeldFolder", "Cannot read"));
}

UniqueFd HeldFolder::createNew(const std::string &name) const
{
    return openFile(name, O_WRONLY | O_CREAT | O_EXCL,
                    QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"));
}

void HeldFolder::writeNewFile(const std::string &name, std::string_view bytes) const
{
    UniqueFd file = createNew(name);
    int error = writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 ? 0 : errno;
    if (::close(file.release()) != 0 && errno != EINTR && !error)
        error = errno;
    if (error) {
        ::unlinkat(fd(), name.c_str(), 0);
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"), pathOf(name), error);
    }
}

UniqueFd HeldFolder::openForAppending(const std::string &name) const
{
    return openFile(name, O_WRONLY | O_APPEND | O_CREAT,
                    QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"));
}

void HeldFolder::remove(const std::string &name) const
{
    checkName(name, m_path);
    if (::unlinkat(fd(), name.c_str(), 0) != 0 && errno != ENOENT)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot remove"), pathOf(name), errno);
}

void HeldFolder::removeLeftover(const std::string &name) const
{
    if (entry(name) == Entry::File)
        remove(name);
}

int HeldFolder::renameNoReplace(const std::string &name, const HeldFolder &to,
                                const std::string &newName) const
{
    checkName(name, m_path);
    checkName(newName, to.m_path);
    return paddock::renameNoReplace(fd(), name.c_str(), to.fd(), newName.c_str());
}

void HeldFolder::sync() const
{
    if (::fsync(fd()) != 0 && errno != EINVAL)
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot write the folder"), m_path, errno);
}

qint64 HeldFolder::freeBytes() const
{
    struct statvfs vfs;
    if (::fstatvfs(fd(), &vfs) != 0)
        return -1;
    return qint64(vfs.f_bavail) * qint64(vfs.f_frsize);
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "LogFileWriter.h"

#include "DescriptorIo.h"
#include "RenameNoReplace.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

LogFileWriter::LogFileWriter(std::string path, std::uint64_t rotateSize, int keep,
                             LogFileOwnership ownership)
    : m_path(std::move(path))
    , m_rotateSize(rotateSize)
    , m_keep(std::max(keep, 0))
    , m_ownership(std::move(ownership))
{
    const std::size_t slash = m_path.rfind('/');
    m_name = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
}

int LogFileWriter::fail(int error)
{
    m_fd.reset();
    m_error = error;
    return error;
}

int LogFileWriter::open()
{
    struct stat status {};
    try {
        if (!m_folder) {
            // The folder is the one the user chose for the log; from here on every name is
            // looked up in it alone, so no link inside it is ever followed.
            const std::size_t slash = m_path.rfind('/');
            const std::string folder = slash == std::string::npos ? "."
                                       : slash == 0               ? "/"
                                                                  : m_path.substr(0, slash);
            UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (!folderFd)
                return errno;
            m_folder = aboveStandardDescriptors(std::move(folderFd));
        }
        if (m_name.empty() || m_name == "." || m_name == "..")
            return EISDIR;
        // Read and write in one descriptor, so the bytes read back are certainly those of the
        // file written (a second open could meet another file renamed in between). O_NONBLOCK
        // keeps a FIFO at the path from blocking the open; it means nothing to a regular file.
        // Created here, the file is Paddock's; one that is there already is only continued.
        constexpr int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW;
        UniqueFd fd;
        bool created = false;
        for (int attempt = 0; attempt < 3 && !fd; ++attempt) {
            fd.reset(::openat(m_folder.get(), m_name.c_str(), flags | O_CREAT | O_EXCL, 0644));
            if (fd) {
                created = true;
            } else if (errno != EEXIST) {
                return errno;
            } else {
                fd.reset(::openat(m_folder.get(), m_name.c_str(), flags));
                if (!fd && errno != ENOENT) // ENOENT: removed in between, so try again
                    return errno;
            }
        }
        if (!fd)
            return errno;
        if (::fstat(fd.get(), &status) != 0)
            return errno;
        if (!S_ISREG(status.st_mode))
            return S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        // A regular file never blocks, but an EAGAIN from some file system must not end the log.
        const int fileFlags = ::fcntl(fd.get(), F_GETFL);
        if (fileFlags < 0 || ::fcntl(fd.get(), F_SETFL, fileFlags & ~O_NONBLOCK) != 0)
            return errno;
        m_file = identityOf(fd.get());
        if (m_file && created)
            m_ownership.remember(*m_file);
        else if (m_file && !m_ownership.owns(*m_file))
            m_file.reset(); // someone else's log: appended to, never rotated away
        m_fd = std::make_shared<const UniqueFd>(aboveStandardDescriptors(std::move(fd)));
    } catch (const std::system_error &error) {
        return error.code().value();
    }
    m_fileSize = std::uint64_t(status.st_size);
    m_rotateAt = m_file ? m_rotateSize : 0;
    m_segments->addFile(m_fd, m_fileSize);
    return 0;
}

std::optional<int> LogFileWriter::shiftNumbered(int &error)
{
    error = 0;
    const auto remove = [this, &error](int n, const FileIdentity &file) {
        if (::unlinkat(m_folder.get(), numbered(n).c_str(), 0) != 0 && errno != ENOENT) {
            error = errno;
            return false;
        }
        m_ownership.forget(file);
        return true;
    };
    // The first numbered name that is free, or made free by removing Paddock's oldest file.
    int free = 0;
    std::optional<FileIdentity> previous;
    for (int n = 1; n <= m_keep && free == 0; ++n) {
        const std::optional<FileIdentity> file = identityAt(m_folder.get(), numbered(n));
        if (!file) {
            if (errno != ENOENT) {
                error = errno;
                return std::nullopt;
            }
            free = n;
        } else if (!m_ownership.owns(*file)) {
            // Nothing moves onto a file that is not Paddock's: Paddock's file before it goes
            // instead, and with none before it nothing can move at all.
            if (n == 1 || !remove(n - 1, *previous))
                return std::nullopt;
            free = n - 1;
        } else if (n == m_keep) {
            if (!remove(n, *file))
                return std::nullopt;
            free = n;
        }
        previous = file;
    }
    for (int n = free - 1; n >= 1; --n) {
        if (const int failed = renameNoReplace(m_folder.get(), numbered(n).c_str(), m_folder.get(),
                                               numbered(n + 1).c_str())) {
            // EEXIST: a file appeared in the way meanwhile; nothing is lost, nothing moves on.
            error = failed == EEXIST ? 0 : failed;
            return std::nullopt;
        }
    }
    return free;
}

int LogFileWriter::rotate()
{
    // Only the file this writer holds is moved, and only from where it still is: someone may
    // have moved it away and put another file in its place.
    const std::optional<FileIdentity> atPath = identityAt(m_folder.get(), m_name);
    if (atPath && atPath == m_file) {
        if (m_keep == 0) {
            if (::unlinkat(m_folder.get(), m_name.c_str(), 0) != 0 && errno != ENOENT)
                return errno;
            m_ownership.forget(*m_file);
            m_segments->keepNewest(0);
        } else {
            int error = 0;
            const std::optional<int> kept = shiftNumbered(error);
            if (error)
                return error;
            error = kept ? renameNoReplace(m_folder.get(), m_name.c_str(), m_folder.get(),
                                           numbered(1).c_str())
                         : EEXIST;
            if (error == EEXIST) {
                // A name in the way is not Paddock's: keep appending here, and try again once
                // as much again has been written.
                m_rotateAt = m_fileSize + m_rotateSize;
                return 0;
            }
            if (error)
                return error;
            // The files this writer wrote are now path.1 ... path.kept and the new path: the new
            // file's segment and kept older ones remain readable.
            m_segments->keepNewest(std::size_t(*kept));
        }
    }
    m_fd.reset();
    m_file.reset();
    return open();
}

LogFileWriter::AppendResult LogFileWriter::append(std::string_view bytes)
{
    if (m_error)
        return {m_error};
    if (bytes.empty())
        return {};
    if (!m_fd) {
        if (const int error = open())
            return {fail(error)};
    }
    while (!bytes.empty()) {
        if (m_rotateAt && m_fileSize >= m_rotateAt) {
            if (const int error = rotate())
                return {fail(error)};
        }
        std::size_t count = bytes.size();
        if (m_rotateAt)
            count = std::size_t(std::min<std::uint64_t>(count, m_rotateAt - m_fileSize));
        const ssize_t done = writeSome(m_fd->get(), bytes.data(), count);
        if (done < 0)
            return {fail(errno)};
        if (done == 0)
            return {fail(EIO)};
        m_fileSize += std::uint64_t(done);
        m_written += std::uint64_t(done);
        m_segments->grow(std::uint64_t(done));
        bytes.remove_prefix(std::size_t(done));
    }
    return {};
}

} // namespace paddock

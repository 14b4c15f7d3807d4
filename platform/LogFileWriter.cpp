// SPDX-License-Identifier: MIT
#include "LogFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

LogFileWriter::LogFileWriter(std::string path, std::uint64_t rotateSize, int keep)
    : m_path(std::move(path))
    , m_rotateSize(rotateSize)
    , m_keep(std::max(keep, 0))
{}

int LogFileWriter::fail(int error)
{
    m_fd.reset();
    m_error = error;
    return error;
}

int LogFileWriter::open()
{
    // Read and write in one descriptor, so the bytes read back are certainly those of the
    // file written (a second open could meet another file renamed in between). O_NONBLOCK
    // keeps a FIFO at the path from blocking the open; it means nothing to a regular file.
    UniqueFd fd(::open(m_path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    if (!fd)
        return errno;
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0)
        return errno;
    if (!S_ISREG(status.st_mode))
        return S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    // A regular file never blocks, but an EAGAIN from some file system must not end the log.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        return errno;
    try {
        m_fd = std::make_shared<const UniqueFd>(aboveStandardDescriptors(std::move(fd)));
    } catch (const std::system_error &error) {
        return error.code().value();
    }
    m_fileSize = std::uint64_t(status.st_size);
    m_segments->addFile(m_fd, m_fileSize);
    return 0;
}

int LogFileWriter::rotate()
{
    const auto numbered = [this](int n) { return m_path + '.' + std::to_string(n); };
    if (m_keep == 0) {
        if (::unlink(m_path.c_str()) != 0 && errno != ENOENT)
            return errno;
    } else {
        if (::unlink(numbered(m_keep).c_str()) != 0 && errno != ENOENT)
            return errno;
        for (int n = m_keep - 1; n >= 1; --n) {
            if (::rename(numbered(n).c_str(), numbered(n + 1).c_str()) != 0 && errno != ENOENT)
                return errno;
        }
        if (::rename(m_path.c_str(), numbered(1).c_str()) != 0)
            return errno;
    }
    // The files this writer wrote are now path, path.1 ... path.keep less the one removed:
    // the new file's segment and keep older ones remain readable.
    m_segments->keepNewest(std::size_t(m_keep));
    m_fd.reset();
    return open();
}

int LogFileWriter::append(std::string_view bytes)
{
    if (m_error)
        return m_error;
    if (bytes.empty())
        return 0;
    if (!m_fd) {
        if (const int error = open())
            return fail(error);
    }
    while (!bytes.empty()) {
        if (m_rotateSize && m_fileSize >= m_rotateSize) {
            if (const int error = rotate())
                return fail(error);
        }
        std::size_t count = bytes.size();
        if (m_rotateSize)
            count = std::size_t(std::min<std::uint64_t>(count, m_rotateSize - m_fileSize));
        const ssize_t done = ::write(m_fd->get(), bytes.data(), count);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        if (done == 0)
            return fail(EIO);
        m_fileSize += std::uint64_t(done);
        m_written += std::uint64_t(done);
        m_segments->grow(std::uint64_t(done));
        bytes.remove_prefix(std::size_t(done));
    }
    return 0;
}

} // namespace paddock

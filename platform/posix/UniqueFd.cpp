// SPDX-License-Identifier: MIT
#include "UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

void UniqueFd::reset(int fd) noexcept
{
    const int old = std::exchange(m_fd, fd);
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (old >= 0)
        ::close(old);
}

UniqueFd aboveStandardDescriptors(UniqueFd fd)
{
    if (fd.get() > 2)
        return fd;
    UniqueFd moved(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 3));
    if (!moved)
        throw std::system_error(errno, std::generic_category(), "fcntl");
    return moved;
}

} // namespace paddock

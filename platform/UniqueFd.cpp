#include "UniqueFd.h"

#include <unistd.h>

namespace paddock {

void UniqueFd::reset(int fd) noexcept
{
    const int old = std::exchange(m_fd, fd);
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (old >= 0)
        ::close(old);
}

} // namespace paddock

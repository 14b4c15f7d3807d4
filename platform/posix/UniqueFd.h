// SPDX-License-Identifier: MIT
#pragma once

#include <utility>

namespace paddock {

/// Owns one file descriptor and closes it on destruction; movable, not copyable.
class UniqueFd final {
public:
    UniqueFd() = default;
    /// Takes ownership of fd (which may be -1 for none).
    explicit UniqueFd(int fd) noexcept
        : m_fd(fd)
    {}
    UniqueFd(UniqueFd &&other) noexcept
        : m_fd(other.release())
    {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;
    ~UniqueFd() { reset(); }

    int get() const noexcept { return m_fd; }
    bool isValid() const noexcept { return m_fd >= 0; }
    explicit operator bool() const noexcept { return isValid(); }

    /// Gives up ownership without closing.
    int release() noexcept { return std::exchange(m_fd, -1); }
    /// Closes the held descriptor, if any, and takes fd instead.
    void reset(int fd = -1) noexcept;

private:
    int m_fd = -1;
};

/// Returns fd itself, or a close-on-exec duplicate numbered above 2 if fd is 0, 1 or 2 (a
/// launcher started with one of those closed), so a child's dup2 onto its standard
/// descriptors can never overwrite it. Throws std::system_error if no descriptor is left.
UniqueFd aboveStandardDescriptors(UniqueFd fd);

} // namespace paddock

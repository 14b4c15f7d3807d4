// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>

namespace paddock {

/// A failure of a step that moves, copies or compresses a world's files: what() names the
/// file and the reason; the files are whole under some name and the journal stays.
class RotationError final : public std::runtime_error {
public:
    explicit RotationError(const std::string &what, int error = 0)
        : std::runtime_error(what)
        , m_error(error)
    {}
    /// The errno value that caused it, or 0.
    int error() const noexcept { return m_error; }

private:
    int m_error;
};

} // namespace paddock

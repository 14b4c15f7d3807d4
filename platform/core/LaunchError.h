// SPDX-License-Identifier: MIT
#pragma once

#include "SystemError.h"

#include <stdexcept>
#include <string>

namespace paddock {

/// A server process that could not be started, with the operating system's reason.
class LaunchError final : public std::runtime_error {
public:
    /// what() is the whole sentence; reason() is the system's part alone.
    LaunchError(const std::string &message, int error, std::string reason)
        : std::runtime_error(message)
        , m_error(error)
        , m_reason(std::move(reason))
    {}
    /// The failure of what for the errno value error: "<what>: <the system's sentence>".
    static LaunchError fromErrno(const std::string &what, int error)
    {
        const std::string reason = errorText(error);
        return LaunchError(what + ": " + reason, error, reason);
    }
    /// The errno value behind the failure (0 when the system gave none).
    int error() const noexcept { return m_error; }
    const std::string &reason() const noexcept { return m_reason; }

private:
    int m_error;
    std::string m_reason;
};

} // namespace paddock

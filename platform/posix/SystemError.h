// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace paddock {

/// The operating system's sentence for an errno value (thread-safe, via strerror_r).
std::string errorText(int error);

} // namespace paddock

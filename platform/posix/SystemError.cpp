// SPDX-License-Identifier: MIT
#include "SystemError.h"

#include <string.h>

namespace paddock {

std::string errorText(int error)
{
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char *text = strerror_r(error, buffer, sizeof buffer);
    return text ? std::string(text) : std::string("Unknown error ") + std::to_string(error);
}

} // namespace paddock

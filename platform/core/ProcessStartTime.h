// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>

#include <cstdint>

namespace paddock {

/// A process start time in clock ticks since boot as a wall-clock time; invalid if unknown.
QDateTime processStartDateTime(std::uint64_t ticks);

} // namespace paddock

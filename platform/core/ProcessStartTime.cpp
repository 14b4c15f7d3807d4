// SPDX-License-Identifier: MIT
#include "ProcessStartTime.h"

#include "ProcessInfo.h"

namespace paddock {

QDateTime processStartDateTime(std::uint64_t ticks)
{
    const std::optional<std::int64_t> since = startTimeSinceEpochMs(ticks);
    return since ? QDateTime::fromMSecsSinceEpoch(*since) : QDateTime();
}

} // namespace paddock

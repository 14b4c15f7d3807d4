// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace paddock {

/// Gives the date format for the "%T" token, or none when no format is set.
using DateFormatSource = std::function<std::optional<std::string>()>;
/// Draws one value from 0 to 2147483647 for the "%R" token.
using RandomSource = std::function<long()>;

/// Longest date text the "%T" token may produce beyond 64 bytes per format byte; only a
/// conversion with a huge field width (such as "%999999999Y") can reach it.
inline constexpr std::size_t dateTextAllowance = std::size_t(1) << 20;

/// moment in local time, formatted by format with strftime in the C locale whatever the
/// process's locale, never truncated; a NUL byte in format is copied like other text.
/// None when the moment has no local time or the text would exceed the allowance.
std::optional<std::string> formatLocalTime(std::string_view format,
                                           std::chrono::system_clock::time_point moment);

/// Expands the first "%T", then the first "%R", then the first "%@" of nameTemplate, each
/// search over the text the earlier steps left; everything else is copied. dateFormat is
/// called only when "%T" is present (none means "%Y%m%d%H%M%S"), draw only when "%R" is;
/// "%@" becomes the last path component of dbPath. A "%T" whose moment cannot be
/// formatted stays as written.
std::string expandNameTemplate(std::string_view nameTemplate, const DateFormatSource &dateFormat,
                               std::chrono::system_clock::time_point moment,
                               std::string_view dbPath, const RandomSource &draw = ::random);

} // namespace paddock

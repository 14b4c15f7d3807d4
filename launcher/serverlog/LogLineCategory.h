// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

#include <cstdint>
#include <string_view>

namespace paddock {

/// What a log line tells an administrator at a glance: the log view colours lines by it and
/// steps through problems with it.
enum class LogLineCategory : std::uint8_t {
    None,
    Error,      // "*** ", a panic, a failed listen, an abandoned checkpoint, a retried dump
    Warning,    // "### " or "!!! "
    Connection, // an accepted connection, a login, a redirect or a disconnect
    Checkpoint, // a checkpoint or a dump started or finished
};

/// The category of a recognised line.
LogLineCategory categoryOf(const ServerLogLine &line);

/// The category of one raw line (without its line end), colours and all. Runs on every line
/// the server writes: it copies nothing unless the line holds colours.
LogLineCategory categoryOfLogLine(std::string_view line);

/// A set of categories: 1 << category for each.
using LogLineCategories = unsigned;
constexpr LogLineCategories categoryBit(LogLineCategory category)
{
    return 1u << unsigned(category);
}

/// The categories categoryOfLogLine(line) may give, from a glance at the line's first bytes
/// (a stamp, a mark, the message's first letter): a filter skips a line none of whose
/// categories it wants without parsing it. Never leaves out the line's category.
LogLineCategories possibleCategories(std::string_view line);

/// Whether the category is one Next and Previous Problem stop at.
constexpr bool isProblem(LogLineCategory category)
{
    return category == LogLineCategory::Error || category == LogLineCategory::Warning;
}

} // namespace paddock

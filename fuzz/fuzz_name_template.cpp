// SPDX-License-Identifier: MIT
// Feeds arbitrary templates, date formats, paths and moments to the name expansion.
// The input is split at its first three newlines: template, date format, input path and
// the moment in seconds. With no second line the date format is not set.

#include "NameTemplate.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using paddock::expandNameTemplate;

namespace {

std::string_view takeLine(std::string_view &rest, bool &found)
{
    const auto newline = rest.find('\n');
    found = newline != std::string_view::npos;
    const std::string_view line = rest.substr(0, found ? newline : rest.size());
    rest.remove_prefix(found ? newline + 1 : rest.size());
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    bool hasFormat = false;
    bool found = false;
    const std::string_view nameTemplate = takeLine(rest, hasFormat);
    const std::string_view dateFormat = takeLine(rest, found);
    const std::string_view dbPath = takeLine(rest, found);

    // Seconds since the epoch, clamped to what the clock's time points can hold.
    long long seconds = 1772600767;
    std::from_chars(rest.data(), rest.data() + rest.size(), seconds);
    constexpr long long limit = 9'000'000'000LL;
    seconds = seconds < -limit ? -limit : seconds > limit ? limit : seconds;
    const auto moment = std::chrono::system_clock::time_point(std::chrono::seconds(seconds));

    int reads = 0;
    int draws = 0;
    std::uint32_t state = std::uint32_t(size) * 2654435761u + 1;
    const std::string name = expandNameTemplate(
        nameTemplate,
        [&]() -> std::optional<std::string> {
            ++reads;
            if (!hasFormat)
                return std::nullopt;
            return std::string(dateFormat);
        },
        moment, dbPath,
        [&] {
            ++draws;
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            return long(state & 0x7fffffffu);
        });

    // Each source is asked at most once, and only when its token is in the template;
    // a template without tokens comes back unchanged.
    const bool hasTime = nameTemplate.find("%T") != std::string_view::npos;
    if (reads > 1 || draws > 1 || (!hasTime && reads) ||
        (!hasTime && nameTemplate.find("%R") == std::string_view::npos && draws))
        std::abort();
    if (!hasTime && nameTemplate.find("%R") == std::string_view::npos &&
        nameTemplate.find("%@") == std::string_view::npos && name != nameTemplate)
        std::abort();
    // A date format without conversions is copied byte for byte, NULs included.
    if (dateFormat.find('%') == std::string_view::npos &&
        paddock::formatLocalTime(dateFormat, moment) != std::string(dateFormat))
        std::abort();
    return 0;
}

// SPDX-License-Identifier: MIT
#include "NameTemplate.h"

#include "SettingsKeys.h"
#include "String.h"

#include <algorithm>
#include <ctime>
#include <locale.h>
#include <time.h>

namespace paddock {

namespace {

// The names of days and months and "AM"/"PM" must not follow the user's locale, and
// switching the process's locale would disturb every other thread: strftime_l takes a
// C locale object instead. glibc hands out a built-in object for "C", so nothing leaks.
locale_t cLocale()
{
    static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

// strftime answers 0 both when the buffer is too small and when the text is empty. A
// marker byte after the format makes every text at least one byte long, so 0 always
// means "too small"; the marker is also what a lone "%" at the end meets, which strftime
// then copies as text. Appends the text of segment, which holds no NUL byte, to out.
bool appendFormatted(std::string &out, std::string_view segment, const std::tm &local,
                     std::size_t limit)
{
    constexpr char marker = '\x01';
    std::string format(segment);
    format.push_back(marker);
    const std::size_t room = limit - std::min(limit, out.size()) + 2; // marker and NUL
    std::size_t capacity = std::min(room, format.size() * 2 + 64);
    std::string text;
    for (;;) {
        text.resize(capacity);
        const std::size_t length =
            ::strftime_l(text.data(), text.size(), format.c_str(), &local, cLocale());
        if (length > 0) {
            text.resize(length);
            break;
        }
        if (capacity >= room)
            return false;
        capacity = std::min(room, capacity * 2);
    }
    if (text.back() == marker)
        text.pop_back();
    out += text;
    return true;
}

} // namespace

std::optional<std::string> formatLocalTime(std::string_view format,
                                           std::chrono::system_clock::time_point moment)
{
    if (!cLocale())
        return std::nullopt;
    const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
    ::tzset(); // localtime_r need not look at TZ again by itself
    std::tm local = {};
    if (!::localtime_r(&seconds, &local))
        return std::nullopt; // a year beyond what the calendar fields can hold

    // Without a field width no conversion of the C locale makes more than 12 bytes of one
    // byte of format, so only a huge width (say "%999999999Y") reaches the limit, which
    // keeps such a format from exhausting memory.
    const std::size_t limit = dateTextAllowance + 64 * format.size();
    std::string text;
    // strftime stops at a NUL byte: format the pieces between NULs and keep the NULs.
    for (std::size_t start = 0;;) {
        const std::size_t nul = std::min(format.find('\0', start), format.size());
        if (!appendFormatted(text, format.substr(start, nul - start), local, limit))
            return std::nullopt;
        if (nul == format.size())
            break;
        text.push_back('\0');
        start = nul + 1;
    }
    return text;
}

std::string expandNameTemplate(std::string_view nameTemplate, const DateFormatSource &dateFormat,
                               std::chrono::system_clock::time_point moment,
                               std::string_view dbPath, const RandomSource &draw)
{
    std::string name(nameTemplate);
    if (const auto at = name.find("%T"); at != std::string::npos) {
        const std::optional<std::string> format = dateFormat();
        if (const auto text = formatLocalTime(format ? *format : DefaultDateFormat, moment))
            name.replace(at, 2, *text);
    }
    if (const auto at = name.find("%R"); at != std::string::npos)
        name.replace(at, 2, std::to_string(draw()));
    if (const auto at = name.find("%@"); at != std::string::npos)
        name.replace(at, 2, lastPathComponent(dbPath));
    return name;
}

} // namespace paddock

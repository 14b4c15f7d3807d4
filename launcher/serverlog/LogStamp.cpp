// SPDX-License-Identifier: MIT
#include "LogStamp.h"

#include "DecimalText.h"

namespace paddock {

namespace {

// The number two digits at text[at] give, or -1.
int twoDigits(std::string_view text, std::size_t at)
{
    if (!isDecimalDigit(text[at + 1]) || !(isDecimalDigit(text[at]) || text[at] == ' '))
        return -1;
    return (text[at] == ' ' ? 0 : (text[at] - '0') * 10) + (text[at + 1] - '0');
}

} // namespace

QDateTime stampTime(std::string_view stamp, const QDateTime &reference)
{
    // The servers write the month in English whatever the locale.
    static constexpr std::string_view months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (stamp.size() != 15 || stamp[3] != ' ' || stamp[6] != ' ' || stamp[9] != ':' ||
        stamp[12] != ':')
        return {};
    const std::size_t month = months.find(stamp.substr(0, 3));
    const int day = twoDigits(stamp, 4), hour = twoDigits(stamp, 7), minute = twoDigits(stamp, 10),
              second = twoDigits(stamp, 13);
    const QTime time(hour, minute, second);
    if (month == std::string_view::npos || month % 3 != 0 || day < 1 || !time.isValid())
        return {};
    const QDateTime latest = reference.addDays(1);
    // 29 February names a leap year, at most eight years back.
    for (int year = latest.date().year(); year > latest.date().year() - 9; --year) {
        const QDate date(year, int(month / 3) + 1, day);
        const QDateTime candidate(date, time);
        if (date.isValid() && candidate <= latest)
            return candidate;
    }
    return {};
}

} // namespace paddock

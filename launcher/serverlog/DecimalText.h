// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string_view>

namespace paddock {

/// Whether c is a decimal digit. The servers write their numbers in ASCII whatever the
/// locale, and every line passes here, so no call into the locale.
constexpr bool isDecimalDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// Reads the decimal number text begins with into value; returns how many bytes it took: 0
/// when text begins otherwise, or with more than 18 digits (a number no long long holds).
constexpr std::size_t leadingNumber(std::string_view text, long long &value)
{
    value = 0;
    std::size_t digits = 0;
    while (digits < text.size() && digits < 18 && isDecimalDigit(text[digits]))
        value = value * 10 + (text[digits++] - '0');
    return digits < text.size() && isDecimalDigit(text[digits]) ? 0 : digits;
}

} // namespace paddock

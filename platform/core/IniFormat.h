// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <map>
#include <string>
#include <string_view>

namespace paddock {

/// One stored value: text (UTF-8) or bytes, which the file marks as a byte array.
struct SettingsValue {
    std::string bytes;
    bool binary = false;
    bool operator==(const SettingsValue &) const = default;
};

using SettingsValues = std::map<QString, SettingsValue>;

/// The values in an INI file as QSettings writes it: keys outside [General] are named
/// "section/key"; values that are not text or byte arrays (lists, variants) are left out, as
/// are lines that do not parse. wellFormed, if given, tells whether every line parsed and no
/// NUL byte was met: a file QSettings wrote always is.
SettingsValues parseIni(std::string_view data, bool *wellFormed = nullptr);
/// The INI text for values, escaped as QSettings escapes it, so QSettings reads it back.
std::string formatIni(const SettingsValues &values);

} // namespace paddock

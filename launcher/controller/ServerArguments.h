// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paddock {

/// The words of an argument template, or why it has none.
struct SplitArguments {
    std::vector<std::string> words;
    /// The sentence saying why the template does not split; empty when it does.
    std::string error;
    bool ok() const { return error.empty(); }
};

/// Splits text into words as a shell splits a command line: blanks separate words; single
/// quotes keep everything up to the next single quote; double quotes keep everything but let
/// a backslash escape '"', '\\', '$' and '`'; elsewhere a backslash keeps the next character
/// and a backslash before a line end joins the lines. Nothing is expanded: '$', '*', '~' are
/// ordinary characters. An unclosed quote, a trailing backslash or a NUL byte is an error.
SplitArguments splitArguments(std::string_view text);

class UserDefaults;

/// The server's whole argument vector: the words of MOOArgumentsBefore, "-e" for the emergency
/// mode (an option, so before the database names), the input database, the output name, the
/// words of MOOArgumentsAfter (absent keys and a null store give none). Throws LaunchError,
/// naming the preference, when a template does not split.
std::vector<std::string> serverArgumentVector(const UserDefaults *store, const std::string &db,
                                              const std::string &output, bool emergency = false);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <optional>

namespace paddock {

/// Answers the arguments that need no window (--help, --version, and any argument Paddock
/// does not know), printing on standard output or standard error. Needs no QApplication and
/// no display, so it runs before either exists. Returns the exit status when it answered,
/// none when Paddock should open its window.
std::optional<int> answerCommandLine(int argc, char *argv[]);

} // namespace paddock

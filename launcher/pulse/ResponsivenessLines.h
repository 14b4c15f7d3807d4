// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

#include <string>
#include <string_view>

namespace paddock {

/// Recognises the lines that tell whether a server may be silent for a while: loading,
/// listening (with its port), checkpoints, dumps and their retries, panics. Every other line
/// comes back as Other. It runs on every line of a flood, so a look at the first bytes after
/// the stamp and the mark turns most lines away without parsing them; nothing is allocated
/// unless a line holds colours, whose cleaned bytes go to scratch (reused from line to line).
ServerLogLine responsivenessLineOf(std::string_view line, std::string &scratch);

} // namespace paddock

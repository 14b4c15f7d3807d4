// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace paddock {

/// Whether line (without its line end, from either stream) says the server left its emergency
/// mode: its log line "EMERGENCY_MODE: Leaving mode; ..." after the stamp, or "Bye.  (continuing)"
/// or "Bye.  (saving database)" on standard output, alone or after the prompt it follows
/// (the typed command is not echoed, so it ends the prompt's line).
bool leavesEmergencyMode(std::string_view line);

/// Whether history, the server's output from the start of its run or earlier, shows it left its
/// emergency mode: a leaving line after its last prompt. Without any prompt (a server that
/// prints none when its input is not a terminal) any leaving line counts.
bool emergencyModeLeftIn(std::string_view history);

} // namespace paddock

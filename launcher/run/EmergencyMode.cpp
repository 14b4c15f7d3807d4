// SPDX-License-Identifier: MIT
#include "EmergencyMode.h"

#include "ServerLogLines.h"

namespace paddock {

namespace {

constexpr std::string_view Prompt = "MOO (#";

// The line without the prompt a server printed before the command was typed: "MOO (#2): " or
// "MOO (#2)[!d]: ".
std::string_view withoutPrompt(std::string_view line)
{
    if (!line.starts_with(Prompt))
        return line;
    const std::size_t end = line.find(": ");
    return end == std::string_view::npos ? line : line.substr(end + 2);
}

} // namespace

bool leavesEmergencyMode(std::string_view line)
{
    const std::string_view said = withoutPrompt(line);
    if (said == "Bye.  (continuing)" || said == "Bye.  (saving database)")
        return true;
    return recogniseServerLogLine(line).text.starts_with("EMERGENCY_MODE: Leaving mode");
}

bool emergencyModeLeftIn(std::string_view history)
{
    // Only lines after the last prompt: earlier runs on the same log file may have left theirs.
    std::size_t from = history.rfind(Prompt);
    if (from == std::string_view::npos)
        from = 0;
    else if (const std::size_t lineStart = history.rfind('\n', from);
             lineStart != std::string_view::npos)
        from = lineStart + 1;
    else
        from = 0;
    std::string_view rest = history.substr(from);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (leavesEmergencyMode(line))
            return true;
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return false;
}

} // namespace paddock

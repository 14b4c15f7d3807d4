// SPDX-License-Identifier: MIT
#include "ResponsivenessLines.h"

#include <array>

namespace paddock {

namespace {

// What the message may begin with, after "Mon DD HH:MM:SS: " and a mark.
constexpr std::array<std::string_view, 7> judgedStarts = {
    "LOADING", "LISTEN", "CHECKPOINTING", "DUMPING", "PANIC", "Abandoning", "Waiting "};

bool mayBeJudged(std::string_view line)
{
    // The stamp is 17 bytes ending in ": "; a line without one is looked at from its start.
    if (line.size() > 17 && line[15] == ':' && line[16] == ' ' && line[3] == ' ')
        line.remove_prefix(17);
    if (!line.empty() && (line[0] == '*' || line[0] == '!' || line[0] == '#' || line[0] == '>'))
        line.remove_prefix(std::min(line.find(' '), line.size() - 1) + 1);
    // One byte turns away nearly every line of a flood before any comparison.
    if (line.empty() || std::string_view("LCDPAW").find(line[0]) == std::string_view::npos)
        return false;
    for (const std::string_view start : judgedStarts)
        if (line.substr(0, start.size()) == start)
            return true;
    return false;
}

} // namespace

ServerLogLine responsivenessLineOf(std::string_view line, std::string &scratch)
{
    // Colours come first on a line, or right after the stamp.
    const bool coloured =
        (!line.empty() && line[0] == '\x1b') || (line.size() > 17 && line[17] == '\x1b');
    if (coloured)
        line = withoutColours(line, scratch);
    if (!mayBeJudged(line))
        return {};
    ServerLogLine recognised = recogniseServerLogLine(line);
    switch (recognised.kind) {
    case ServerLogKind::Loading:
    case ServerLogKind::Listening:
    case ServerLogKind::CheckpointStarted:
    case ServerLogKind::CheckpointFinished:
    case ServerLogKind::CheckpointAbandoned:
    case ServerLogKind::DumpStarted:
    case ServerLogKind::DumpFinished:
    case ServerLogKind::DumpRetrying:
    case ServerLogKind::Panic:
        return recognised;
    default:
        return {};
    }
}

} // namespace paddock

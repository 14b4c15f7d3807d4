// SPDX-License-Identifier: MIT
#include "LogLineCategory.h"

#include <array>
#include <string>

namespace paddock {

LogLineCategory categoryOf(const ServerLogLine &line)
{
    using K = ServerLogKind;
    switch (line.kind) {
    case K::Panic:
    case K::ListenFailed:
    case K::CheckpointAbandoned:
    case K::DumpRetrying:
        return LogLineCategory::Error;
    default:
        break;
    }
    if (line.mark == "***")
        return LogLineCategory::Error;
    if (line.mark == "###" || line.mark == "!!!")
        return LogLineCategory::Warning;
    if (isConnectionKind(line.kind))
        return LogLineCategory::Connection;
    switch (line.kind) {
    case K::CheckpointStarted:
    case K::CheckpointFinished:
    case K::DumpStarted:
    case K::DumpFinished:
        return LogLineCategory::Checkpoint;
    default:
        return LogLineCategory::None;
    }
}

LogLineCategories possibleCategories(std::string_view line)
{
    using C = LogLineCategory;
    constexpr LogLineCategories none = categoryBit(C::None);
    constexpr LogLineCategories problems = categoryBit(C::Error) | categoryBit(C::Warning);
    if (hasColouredOpening(line))
        return none | problems | categoryBit(C::Connection) | categoryBit(C::Checkpoint);
    const LogLineParts parts = logLineParts(line);
    // These marks make a line a problem whatever it says.
    if (parts.mark == "***" || parts.mark == "###" || parts.mark == "!!!")
        return problems;
    // What each kind's message begins with: a panic, a listen, an abandoned checkpoint, a
    // retried dump; a connection (ACCEPT, CONNECTED, CREATED, CLIENT, REDIRECTED,
    // DISCONNECTED); a checkpoint or a dump.
    static constexpr std::array<LogLineCategories, 256> byFirstByte = [] {
        std::array<LogLineCategories, 256> table{};
        const auto add = [&table](std::string_view letters, LogLineCategory category) {
            for (const char letter : letters)
                table[static_cast<unsigned char>(letter)] |= categoryBit(category);
        };
        add("PLAW", C::Error);
        add("ACRD", C::Connection);
        add("CD", C::Checkpoint);
        return table;
    }();
    return parts.text.empty() ? none
                              : none | byFirstByte[static_cast<unsigned char>(parts.text.front())];
}

LogLineCategory categoryOfLogLine(std::string_view line)
{
    // Grows to the longest coloured line once, then is reused.
    thread_local std::string scratch;
    return categoryOf(recogniseServerLogLine(withoutColours(line, scratch)));
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "LogLineCategory.h"

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

LogLineCategory categoryOfLogLine(std::string_view line)
{
    // Grows to the longest coloured line once, then is reused.
    thread_local std::string scratch;
    return categoryOf(recogniseServerLogLine(withoutColours(line, scratch)));
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "LogFileHistory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace paddock {

/// What is kept about a running server so that a later Paddock can find it again.
struct ServerRecord {
    pid_t serverPid = 0;
    std::uint64_t serverStartTime = 0; ///< clock ticks since boot, from /proc
    pid_t keeperPid = 0;
    std::string keeperSocket;
    std::string executable;
    std::string database;
    std::string outputName;
    std::string logFile;
    /// Where the server's output began in the log file; none when it was not there yet.
    std::optional<LogFilePosition> logStart;
    /// The settings group of the world the server runs for; empty for the first world, whose
    /// records carry no world line, as before there were several. Initialised here, so a record
    /// written out field by field may leave it out.
    std::string world = {};

    bool operator==(const ServerRecord &) const = default;
};

/// The record's text: a header line, then key=value lines; backslash, newline and other
/// control bytes in values are escaped, every other byte kept as it is.
std::string formatServerRecord(const ServerRecord &record);
/// Parses formatServerRecord's text; returns empty on success, else why it is no record.
std::string parseServerRecord(const std::string &text, ServerRecord &record);

/// Writes the record as folder/server-PID atomically (temporary file, fsync, rename),
/// creating the folder with mode 0700. Returns empty on success, else the sentence why not.
std::string writeServerRecord(const std::string &folder, const ServerRecord &record);

/// Reads folder/server-PID, refusing a folder or file that is not the user's own or that
/// others can change. Returns empty on success, else the sentence why not.
std::string readServerRecord(const std::string &folder, pid_t serverPid, ServerRecord &record);

/// A record Paddock does not act on: where it is and why. When only its trust is wrong (its
/// owner, or others can change it or its folder) what it says is read all the same, never to
/// adopt or signal its process, only to keep a second server off the database it names.
struct RefusedServerRecord {
    std::string path;
    std::string problem;
    std::optional<ServerRecord> untrusted;
};

/// Every record in folder that can be trusted, and each one that cannot.
struct ServerRecords {
    std::vector<ServerRecord> records;
    std::vector<RefusedServerRecord> refused;
};
ServerRecords readServerRecords(const std::string &folder);

/// Removes folder/server-PID (absent counts as removed). Returns empty or the sentence why not.
std::string removeServerRecord(const std::string &folder, pid_t serverPid);

} // namespace paddock

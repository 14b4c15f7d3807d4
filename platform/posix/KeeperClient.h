// SPDX-License-Identifier: MIT
#pragma once

#include "PrivateFolder.h"
#include "UniqueFd.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace paddock {

/// The first line of every message a keeper sends when it hands the pipes back.
inline constexpr const char *KeeperGreeting = "paddock-keeper 1";

/// Where the keeper of the server with this process id is to listen (see privateSocketPath()),
/// its folder made if missing; or why it can have no socket.
PrivateSocketPath keeperSocketPath(pid_t serverPid);

/// What a keeper handed back: both pipes' read ends, the write end of the server's input if it
/// holds one, and how its writing of the log went.
struct KeeperHandBack {
    UniqueFd standardOutput;
    UniqueFd standardError;
    UniqueFd standardInput;
    /// Output the keeper read but could not write to the log file, in bytes.
    std::uint64_t bytesLost = 0;
    /// The errno value of the log file's failure; 0 if every byte it read was written.
    int logError = 0;
};

/// Connects to the keeper listening at socketPath, checks it runs as this user and takes
/// back both read ends, waiting at most timeoutMs to connect and as long for the answer, so
/// a stuck keeper cannot hang the caller. From then on the keeper waits for this process to
/// end. While keeperPid (0 if unknown) still runs but does not listen yet, it is waited for
/// within the same time. Returns 0, or the errno value: ENOENT or ECONNREFUSED when no keeper
/// is left (the server's output has ended), ETIMEDOUT, EPERM for a keeper of another user,
/// EPROTO for an answer it cannot read. The input's write end comes too if the keeper holds one.
int reclaimPipes(const std::string &socketPath, pid_t keeperPid, int timeoutMs,
                 KeeperHandBack &handBack);

} // namespace paddock

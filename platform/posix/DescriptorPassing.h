// SPDX-License-Identifier: MIT
#pragma once

#include "UniqueFd.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace paddock {

/// Who is at the other end of a connected Unix socket, as the kernel recorded at connect.
struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = 0;
    gid_t gid = 0;
};

/// Fills credentials from SO_PEERCRED; returns 0 or the errno value.
int peerCredentials(int socket, PeerCredentials &credentials);

/// Whether the peer runs as this process's effective user, the only one trusted with pipes.
bool isSameUser(const PeerCredentials &credentials);

/// Sends payload (not empty) with duplicates of descriptors attached (SCM_RIGHTS), in one
/// message, never blocking and never raising SIGPIPE. Returns 0 or the errno value.
int sendDescriptors(int socket, std::string_view payload, const std::vector<int> &descriptors);

/// What one message brought: its bytes and the descriptors attached, each close-on-exec.
struct ReceivedMessage {
    std::string payload;
    std::vector<UniqueFd> descriptors;
};

/// Waits at most timeoutMs for one message of at most 4 KiB with at most maxDescriptors
/// attached. Returns 0, ETIMEDOUT, ECONNRESET for a peer that closed without a message,
/// EPROTO if more descriptors came than allowed (those are closed), or another errno value.
int receiveDescriptors(int socket, int timeoutMs, std::size_t maxDescriptors,
                       ReceivedMessage &message);

/// Connects to the Unix socket at path, waiting at most timeoutMs. The socket is
/// close-on-exec and left non-blocking. Returns none and sets error on failure (ENAMETOOLONG
/// for a path that does not fit, ETIMEDOUT for a listener that accepts nothing).
UniqueFd connectUnixSocket(const std::string &path, int timeoutMs, int &error);

/// Binds and listens on a new non-blocking, close-on-exec Unix socket at path (which must not
/// exist), readable and writable by the owner alone. Returns none and sets error on failure.
UniqueFd listenUnixSocket(const std::string &path, int &error);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace paddock {

/// Why path is no folder to keep private files in (not a folder, a symbolic link, owned by
/// another user, writable by others), or empty if it is one.
std::string checkPrivateFolder(const std::string &path);

/// Creates path and any missing parents with mode 0700, then checks it as above. Returns
/// empty on success, else the sentence saying why not.
std::string makePrivateFolder(const std::string &path);

/// The private runtime folder sockets go in when their path fits (see privateSocketPath()):
/// $XDG_RUNTIME_DIR/paddock, else /run/user/UID/paddock if that runtime folder exists, else
/// /tmp/paddock-UID (bytes of the environment as they are).
std::string keeperSocketFolder();

/// A socket's path in a private folder, or the sentence saying why there is none.
struct PrivateSocketPath {
    std::string path;
    std::string problem;
};

/// Where the socket called name (short, no slash) goes: keeperSocketFolder()/name, the folder
/// created private if missing, when that path fits a Unix socket's address (107 bytes).
/// Otherwise, since a longer path cannot be bound or reached, the short private folder
/// /tmp/paddock-UID, the name prefixed with a hash of the runtime folder so that each runtime
/// folder keeps sockets of its own. The path is empty when neither folder can be had.
PrivateSocketPath privateSocketPath(const std::string &name);

/// Where running servers are recorded: $XDG_STATE_HOME/paddock, default
/// $HOME/.local/state/paddock; empty if neither variable is set (absolute paths only).
std::string serverRecordFolder();

} // namespace paddock

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

/// Where keepers put their sockets: $XDG_RUNTIME_DIR/paddock, else /run/user/UID/paddock if
/// that runtime folder exists, else /tmp/paddock-UID (bytes of the environment as they are).
std::string keeperSocketFolder();

/// Where running servers are recorded: $XDG_STATE_HOME/paddock, default
/// $HOME/.local/state/paddock; empty if neither variable is set (absolute paths only).
std::string serverRecordFolder();

} // namespace paddock

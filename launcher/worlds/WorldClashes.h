// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <vector>

namespace paddock {

class UserDefaults;

/// The ports a server's extra arguments in store give it: "-p PORT", "-pPORT", "--port PORT"
/// and "--port=PORT" anywhere, and a number standing alone after the two database names (the
/// port a MOO server takes last). Templates that do not split give none: Start refuses them.
std::vector<int> portArguments(const UserDefaults &store);

/// Whether two database paths lie in the same folder (the same name, or two names for one
/// folder).
bool sameDatabaseFolder(const std::string &a, const std::string &b);

} // namespace paddock

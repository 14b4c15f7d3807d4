// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace paddock {

/// Where this installation keeps paddock-keeper: the folder of the running executable (its
/// real path, so a link to Paddock changes nothing) joined with the relative path the build
/// chose. Empty when the running executable's path cannot be read.
std::string installedKeeperPath();

} // namespace paddock

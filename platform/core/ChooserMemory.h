// SPDX-License-Identifier: MIT
#pragma once

#include "UserDefaults.h"

#include <string>

namespace paddock {

/// Where the file choosers keep, across runs, the folder each kind of chooser last chose
/// in, keyed by the chooser's identifier: a store of its own, apart from the launcher's
/// settings. Lives for the process.
UserDefaults &chooserMemory();
/// choosers.conf in Paddock's settings folder.
std::string chooserMemoryFilePath();

} // namespace paddock

#pragma once

#include "UserDefaults.h"

#include <QString>

namespace paddock {

/// Where the file choosers keep, across runs, the folder each kind of chooser last chose
/// in, keyed by the chooser's identifier: a store of its own, apart from the launcher's
/// settings. Lives for the process.
UserDefaults &chooserMemory();
/// ~/.config/paddock/choosers.conf (honouring XDG_CONFIG_HOME).
QString chooserMemoryFilePath();

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

namespace paddock {

/// Whether a line of this kind tells whether a server may be silent for a while: loading,
/// listening (with its port), checkpoints, dumps and their retries, panics.
bool tellsResponsiveness(ServerLogKind kind);

} // namespace paddock

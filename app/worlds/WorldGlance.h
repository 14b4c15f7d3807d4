// SPDX-License-Identifier: MIT
#pragma once

#include "WarningColour.h"

#include <QString>

#include <optional>

namespace paddock {

class WorldServer;

/// A world's state in a few words, as the list of worlds shows it beside each name.
struct WorldGlance {
    QString text;    ///< "Running; 3 players on", "Stopped", "Crashed"...
    QString details; ///< more of the story where there is one (how it ended); else empty
    std::optional<WarningLevel> warning; ///< set when the state needs the user's attention
};

/// The glance at world's server: its life's state, who is on while it listens, and whether it
/// answers, in the list's words from the table the status bar's come from (StateWords).
WorldGlance worldGlance(const WorldServer &world);

} // namespace paddock

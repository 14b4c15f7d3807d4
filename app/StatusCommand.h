// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace paddock {

/// The exit statuses of `paddock status`, as an init script's status action uses them.
enum StatusExit : int {
    StatusServerRuns = 0,
    StatusUsageError = 2, // a world Paddock does not keep, as any other usage error
    StatusNoServer = 3,
    StatusUnknown = 4, // no Paddock runs, or it did not answer
};

/// `paddock status [WORLD]`: asks the user's running Paddock over its socket, without starting
/// one or bringing its window forward, and prints the state in one line (with several worlds
/// and no WORLD, a line for each, led by its name), or with json the report object; a Paddock
/// that does not answer within a few seconds counts as none. Without WORLD a server counts as
/// running when any world's does. Returns the exit status; a WORLD Paddock does not keep is a
/// usage error (2).
int answerStatus(bool json, const QString &world = {});

} // namespace paddock

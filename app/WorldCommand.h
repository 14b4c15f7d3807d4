// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace paddock {

/// The exit statuses of `paddock start|stop|checkpoint`.
enum WorldCommandExit : int {
    WorldCommandDone = 0,
    WorldCommandRefused = 1,    // refused or failed: the sentence is on standard error
    WorldCommandUsageError = 2, // a world Paddock does not keep, or none named among several
    WorldCommandNoPaddock = 4,  // no Paddock runs, or it did not answer in time
};

/// Whether verb is one of the commands that act on a world: start, stop, checkpoint.
bool isWorldCommand(const char *verb);

/// `paddock start|stop|checkpoint [WORLD]`: asks the user's running Paddock to do with the world
/// named world (empty: its only world) what the menu's command does, waits for its answer (a
/// stop, until the server has ended or its grace period has passed) and prints what was done
/// on standard output, or why not on standard error. Returns the exit status.
int answerWorldCommand(const QString &verb, const QString &world);

} // namespace paddock

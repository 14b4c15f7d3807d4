// SPDX-License-Identifier: MIT
#pragma once

namespace paddock {

/// The exit statuses of `paddock status`, as an init script's status action uses them.
enum StatusExit : int {
    StatusServerRuns = 0,
    StatusNoServer = 3,
    StatusUnknown = 4, // no Paddock runs, or it did not answer
};

/// `paddock status`: asks the user's running Paddock over its socket, without starting one or
/// bringing its window forward, and prints the state in one line, or with json the report
/// object; a Paddock that does not answer within a few seconds counts as none. Returns the
/// exit status.
int answerStatus(bool json);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

#include <QDateTime>
#include <QString>

#include <vector>

namespace paddock {

/// One player logged in to the server.
struct OnlinePlayer {
    QString name;
    long long object = 0;
    QDateTime since; // when the login was logged, in local time
    QString from;    // where the connection comes from, as the server logged it
    int port = 0;    // the server's port it came in on; 0 when the line did not say
};

/// Who is logged in to a running server, as its log lines tell: CONNECTED and CREATED log a
/// player in, DISCONNECTED and CLIENT DISCONNECTED log them out; a line marked "> " (the
/// database's own words) counts for nothing. Fed the lines of one run from
/// its start, it can be rebuilt from the log file at any time.
class PlayerRoster final {
public:
    /// Takes in one recognised line; at: when it was read, which dates a line without a stamp
    /// and gives a stamp its year. Returns whether the roster changed.
    bool take(const ServerLogLine &line, const QDateTime &at);
    /// Forgets everyone, as at the end of a run.
    void clear() { m_players.clear(); }

    /// How many players are logged in.
    int count() const { return int(m_players.size()); }
    /// The players logged in, the longest logged in first.
    const std::vector<OnlinePlayer> &players() const { return m_players; }

private:
    std::vector<OnlinePlayer>::iterator find(long long object);

    std::vector<OnlinePlayer> m_players;
};

} // namespace paddock

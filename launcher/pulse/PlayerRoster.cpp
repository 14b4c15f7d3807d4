// SPDX-License-Identifier: MIT
#include "PlayerRoster.h"

#include "ConnectionLines.h"
#include "LogStamp.h"

#include <algorithm>

namespace paddock {

namespace {

QString textOf(std::string_view bytes)
{
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

} // namespace

std::vector<OnlinePlayer>::iterator PlayerRoster::find(long long object)
{
    return std::find_if(m_players.begin(), m_players.end(),
                        [object](const OnlinePlayer &player) { return player.object == object; });
}

bool PlayerRoster::take(const ServerLogLine &line, const QDateTime &at)
{
    using K = ServerLogKind;
    // Only the server's own lines log players in and out; an accepted connection is no login.
    if (!isServersConnectionLine(line) || line.kind == K::Accepted)
        return false;
    const auto listed = find(line.object);
    if (line.kind == K::Disconnected || line.kind == K::ClientDisconnected) {
        if (listed == m_players.end())
            return false; // logged in before the lines we were given, or never
        m_players.erase(listed);
        return true;
    }
    // A redirect moves a player who is on to another connection: still one player, on since
    // the first login.
    if (line.kind == K::Redirected && listed != m_players.end()) {
        listed->from = textOf(line.host);
        listed->port = line.port;
        return true;
    }
    const QDateTime stamped = stampTime(line.stamp, at);
    OnlinePlayer player{textOf(line.player), line.object, stamped.isValid() ? stamped : at,
                        textOf(line.host), line.port};
    // A second login without a logout between (its logout was lost): the later one holds.
    if (listed != m_players.end())
        m_players.erase(listed);
    m_players.push_back(std::move(player));
    return true;
}

} // namespace paddock

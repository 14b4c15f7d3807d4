// SPDX-License-Identifier: MIT
#include "PlayersModel.h"

#include "RunPlayers.h"

#include <algorithm>

namespace paddock {

namespace {

bool samePlayer(const OnlinePlayer &a, const OnlinePlayer &b)
{
    return a.object == b.object && a.since == b.since;
}

QString sinceText(const QDateTime &since)
{
    return since.date() == QDate::currentDate()
               ? since.toString(QStringLiteral("HH:mm:ss"))
               : since.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

PlayersModel::PlayersModel(const RunPlayers &players, QObject *parent)
    : QAbstractTableModel(parent)
    , m_players(players)
{
    m_rows = players.roster().players();
    connect(&players, &RunPlayers::changed, this, &PlayersModel::update);
}

void PlayersModel::update()
{
    const std::vector<OnlinePlayer> &now = m_players.roster().players();
    // Those gone leave their rows, from the last up so the numbers hold.
    for (int row = int(m_rows.size()) - 1; row >= 0; --row) {
        const bool stays = std::any_of(now.begin(), now.end(), [&](const OnlinePlayer &player) {
            return samePlayer(player, m_rows[std::size_t(row)]);
        });
        if (stays)
            continue;
        beginRemoveRows({}, row, row);
        m_rows.erase(m_rows.begin() + row);
        endRemoveRows();
    }
    // The roster keeps the order of logins: those left are its first rows, unless someone
    // logged in again without a logout between, which moves them. Then the table starts over.
    const bool prefix = m_rows.size() <= now.size() &&
                        std::equal(m_rows.begin(), m_rows.end(), now.begin(), samePlayer);
    if (!prefix) {
        beginResetModel();
        m_rows = now;
        endResetModel();
        return;
    }
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        // A redirect moves a player to another connection.
        if (m_rows[row].from == now[row].from && m_rows[row].port == now[row].port)
            continue;
        m_rows[row] = now[row];
        Q_EMIT dataChanged(index(int(row), FromColumn), index(int(row), FromColumn));
    }
    if (now.size() > m_rows.size()) {
        beginInsertRows({}, int(m_rows.size()), int(now.size()) - 1);
        m_rows.insert(m_rows.end(), now.begin() + qsizetype(m_rows.size()), now.end());
        endInsertRows();
    }
}

int PlayersModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int PlayersModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant PlayersModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() ||
        (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    const OnlinePlayer &player = m_rows[std::size_t(index.row())];
    switch (index.column()) {
    case PlayerColumn:
        return tr("%1 (#%2)").arg(player.name).arg(player.object);
    case SinceColumn:
        return role == Qt::ToolTipRole
                   ? player.since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                   : sinceText(player.since);
    case FromColumn:
        return player.port > 0 ? tr("%1, on port %2").arg(player.from).arg(player.port)
                               : player.from;
    default:
        return {};
    }
}

QVariant PlayersModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case PlayerColumn:
        return tr("Player");
    case SinceColumn:
        return tr("On since");
    case FromColumn:
        return tr("From");
    default:
        return {};
    }
}

} // namespace paddock

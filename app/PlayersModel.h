// SPDX-License-Identifier: MIT
#pragma once

#include "PlayerRoster.h"

#include <QAbstractTableModel>

#include <vector>

namespace paddock {

class RunPlayers;

/// Who is on, as a table: the player (name and object), since when, and from where. Follows
/// players (which must outlive it) row by row, so a view keeps its current row and a screen
/// reader its place as players come and go.
class PlayersModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { PlayerColumn, SinceColumn, FromColumn, ColumnCount };

    explicit PlayersModel(const RunPlayers &players, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void update();

    const RunPlayers &m_players;
    std::vector<OnlinePlayer> m_rows;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QDockWidget>

class QLabel;
class QTreeView;

namespace paddock {

class PlayersModel;
class RunPlayers;

/// The Players panel: who is on the running world, since when and from where, with a line
/// that says how many (or that no server runs). Docked beside the log, hidden until the user
/// shows it from the View menu.
class PlayersPanel final : public QDockWidget {
    Q_OBJECT
public:
    /// Lists players (which must outlive the panel).
    explicit PlayersPanel(const RunPlayers &players, QWidget *parent = nullptr);

    /// Lists players instead (which must outlive the panel or a later call).
    void setPlayers(const RunPlayers &players);

    QTreeView *view() const { return m_view; }
    /// The line above the list.
    QString summary() const;

private:
    void updateSummary();

    const RunPlayers *m_players;
    PlayersModel *m_model;
    QLabel *m_summary;
    QTreeView *m_view;
};

} // namespace paddock

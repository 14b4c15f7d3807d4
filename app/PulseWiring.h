// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

class QDockWidget;

namespace paddock {

class LogWindow;
class MooController;
class ResponsivenessWatch;
class RunGraphs;
class RunPlayers;
class ServerStatus;

/// How one world is doing, whether the window shows it or not: whether it responds (its
/// status, a notice each way) and its run's graphs, kept on a page of their own in the graphs
/// panel so that showing the world again shows them. Paddock only tells; it takes no action on
/// a world that does not respond.
class PulseWiring final : public QObject {
    Q_OBJECT
public:
    /// Adds the Run Graphs panel to window, which owns it, hidden at first, with an entry in
    /// the View menu; each world's graphs are a page of it.
    static QDockWidget *addGraphsPanelTo(LogWindow &window);

    /// Follows controller, its watch and players (who graphs count) and tells status; all must
    /// outlive this. The world's graphs are a page of panel (made by addGraphsPanelTo).
    PulseWiring(MooController &controller, ResponsivenessWatch &watch, const RunPlayers &players,
                ServerStatus &status, QDockWidget &panel, QObject *parent = nullptr);
    /// Takes the world's page out of the panel.
    ~PulseWiring() override;
    Q_DISABLE_COPY_MOVE(PulseWiring)

    ResponsivenessWatch &watch() const { return m_watch; }
    RunGraphs &graphs() const;
    QDockWidget &graphsPanel() const { return m_panel; }
    /// Makes the world's graphs the panel's page.
    void showGraphs();

Q_SIGNALS:
    /// A desktop notification is due, with summary and body.
    void noticeSent(const QString &summary, const QString &body);
    /// The world stopped responding: a screen reader should hear the status at once.
    void attentionNeeded();

private:
    void onStateChanged();

    ServerStatus &m_status;
    ResponsivenessWatch &m_watch;
    QDockWidget &m_panel;
    QPointer<RunGraphs> m_graphs; // a page of the panel
    bool m_toldNotResponding = false;
};

} // namespace paddock

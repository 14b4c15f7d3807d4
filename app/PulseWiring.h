// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <memory>

class QDockWidget;

namespace paddock {

class DesktopNotifier;
class LogWindow;
class MooController;
class ResponsivenessWatch;
class RunGraphs;
class RunPlayers;
class ServerStatus;

/// How the running world is doing, wired into the window: whether it responds (the status,
/// a desktop notification each way, the checks' own lines dimmed in the log) and the run's
/// graphs, in a panel the View menu shows, hidden at first. Paddock only tells; it takes no
/// action on a world that does not respond.
class PulseWiring final : public QObject {
    Q_OBJECT
public:
    /// Follows controller, its watch and players (who graphs count) and shows in window, status
    /// and notifier; all must outlive this.
    PulseWiring(MooController &controller, ResponsivenessWatch &watch, const RunPlayers &players,
                LogWindow &window, ServerStatus &status, DesktopNotifier &notifier,
                QObject *parent = nullptr);
    ~PulseWiring() override;
    Q_DISABLE_COPY_MOVE(PulseWiring)

    ResponsivenessWatch &watch() const { return m_watch; }
    RunGraphs &graphs() const { return *m_graphs; }
    QDockWidget &graphsPanel() const { return *m_panel; }

Q_SIGNALS:
    /// A desktop notification was sent with summary and body.
    void noticeSent(const QString &summary, const QString &body);

private:
    void onStateChanged();

    LogWindow &m_window;
    ServerStatus &m_status;
    ResponsivenessWatch &m_watch;
    QDockWidget *m_panel; // owned by the window
    RunGraphs *m_graphs;  // owned by the panel
    bool m_toldNotResponding = false;
};

} // namespace paddock

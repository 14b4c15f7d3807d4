// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QDockWidget;

namespace paddock {

struct ConsoleSession;
class EmergencyConsole;
class LogWindow;
class PlayersPanel;
class PulseWiring;
class RunEndMessage;
class ServerStatus;
class WorldDatabases;
class WorldServer;
class Worlds;

/// One world as the window shows it, kept up to date whether it is shown or not: its status,
/// how it is doing and its graphs, its notices (naming the world once there are several), where
/// its runs began in its log, what was last said about its databases and log file, what its
/// emergency console holds, and its Databases window. Shown, it puts all of that into the window
/// and keeps it there; hidden, it leaves the window to the world shown instead.
class WorldDisplay final : public QObject {
    Q_OBJECT
public:
    /// The window's parts a world is shown in; all must outlive the display.
    struct Window {
        LogWindow &window;
        QDockWidget &graphsPanel;
        PlayersPanel &playersPanel;
        EmergencyConsole &console;
    };
    /// Shows a failure in the window: text, and detail under it.
    using ShowFailure = std::function<void(const QString &text, const QString &detail)>;

    /// Follows server, one of worlds (both must outlive this), hidden at first; installs the
    /// question its controller asks before a risky start.
    WorldDisplay(WorldServer &server, const Worlds &worlds, Window window, ShowFailure showFailure,
                 QObject *parent = nullptr);
    ~WorldDisplay() override;
    Q_DISABLE_COPY_MOVE(WorldDisplay)

    WorldServer &server() const { return m_server; }
    ServerStatus &status() const { return *m_status; }
    PulseWiring &pulse() const { return *m_pulse; }
    bool isShown() const { return m_shown; }
    /// What the emergency console holds of the world's run, kept while another world is shown.
    const std::shared_ptr<ConsoleSession> &consoleSession() const { return m_consoleSession; }

    /// Shows the world in the window: its log with its runs marked, status, title, controls,
    /// players, graphs and console. replacing: another world was shown until now, so everything
    /// the window holds is set, an empty log included.
    void show(bool replacing);
    /// Leaves the window to another world.
    void hide();
    /// Sets the controls (Stop in progress, Force Stop, Cancel Restart, Start from Panic Dump)
    /// and the title from the world's state; only while shown.
    void updateControls();
    void updateTitle();

    /// Runs work on the world; a LaunchError shows "Launch failed: <reason>" in its status and
    /// a message, any other exception a message. Returns whether work completed.
    bool perform(const std::function<void()> &work) noexcept;
    /// A launch of the world failed: message for the user, reason the operating system's.
    void launchFailed(const QString &message, const QString &reason);
    void showDatabases();
    /// Hides the world's Databases window; returns whether it was shown.
    bool hideDatabases();
    void openLogFile();

Q_SIGNALS:
    /// A desktop notification about the world is due, summary naming it when there are several
    /// worlds.
    void noticeSent(const QString &summary, const QString &body);

private:
    void notify(const QString &summary, const QString &body);
    void runStarted();
    void noteDatabases(const QString &text, bool warning);
    bool confirmRisk(const QString &text, const QString &detail);

    WorldServer &m_server;
    const Worlds &m_worlds;
    Window m_window;
    ShowFailure m_showFailure;
    bool m_shown = false;
    std::unique_ptr<ServerStatus> m_status;
    std::unique_ptr<PulseWiring> m_pulse;
    std::unique_ptr<RunEndMessage> m_runEndMessage;
    std::unique_ptr<WorldDatabases> m_databases;
    std::shared_ptr<ConsoleSession> m_consoleSession;
    std::unique_ptr<QObject> m_whileShown; // the context of the connections made while shown
    std::vector<qsizetype> m_runStarts;    // where in its log each run began
    QString m_databaseNote;
    bool m_databaseNoteWarns = false;
    QString m_logFileFailure;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "SingleInstance.h"

#include <QJsonObject>
#include <QObject>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace paddock {

class DatabaseGenerations;
class DatabasesWindow;
class DesktopNotifier;
class EmergencyConsole;
class LogWindow;
class MooController;
class PlayersPanel;
class PreferencesPanel;
class RunEndMessage;
class PulseWiring;
class RemoteCommands;
class RunPlayers;
class ServerLife;
class ServerStatus;
class Snapshots;
class Task;
class UserDefaultsController;
class WorldServers;
class Worlds;

/// The four actions the interface sends to the controller.
enum class ControllerAction { startMoo, stopMoo, chooseURL, preferences };

/// The steps of startup, in the order they run.
enum class StartupStep {
    defaultsControllerCreated,
    classInitialized,
    controllerCreated,
    windowsCreated,
    outletsConnected,
    actionsConnected,
    keysObserved,
    awokeFromNib,
    logWindowShown,
};

/// The one place that does what loading the interface definition does: it creates the
/// defaults controller, the one MooController and the windows, connects outlets, actions
/// and observed keys, and is the boundary at which every failure of an action is caught
/// and shown; nothing is thrown into Qt's event dispatch.
class Interface final : public QObject {
    Q_OBJECT
public:
    /// Ways to watch the wiring from outside (tests); both may be left empty.
    struct Hooks {
        /// Called after each startup step, with the interface as far as it is built.
        std::function<void(StartupStep, const Interface &)> startupStep;
        /// Called when a control sends an action, before the controller gets it.
        std::function<void(ControllerAction)> actionSent;
    };

    /// Starts up in the fixed order and shows the log window.
    explicit Interface(Hooks hooks = {}, QObject *parent = nullptr);
    /// Closes the windows; a running server keeps running.
    ~Interface() override;
    Q_DISABLE_COPY_MOVE(Interface)

    /// The parts, each available from the startup step that creates it on.
    MooController &controller() const { return *m_controller; }
    UserDefaultsController &prefsController() const { return *m_prefsController; }
    LogWindow &logWindow() const { return *m_logWindow; }
    PreferencesPanel &preferencesPanel() const { return *m_preferencesPanel; }
    ServerStatus &status() const { return *m_status; }
    ServerLife &life() const { return *m_life; }
    DatabaseGenerations &generations() const { return *m_generations; }
    PulseWiring &pulse() const { return *m_pulse; }
    RunPlayers &players() const { return *m_players; }
    PlayersPanel &playersPanel() const { return *m_playersPanel; }
    /// Shows the log window, restored if minimised, raised and activated.
    void bringToFront();

    /// Runs work; a LaunchError shows "Launch failed: <reason>" and a message, any other
    /// exception a message. Returns whether work completed without throwing.
    bool perform(const std::function<void()> &work) noexcept;
    /// Sends action to the controller as the given control would.
    void send(ControllerAction action, QObject *sender);

    /// The console under the log while the server is in its emergency mode.
    EmergencyConsole &emergencyConsole() const { return *m_console; }

    /// Shows text and detail in a warning on the log window, not waited for.
    void showFailure(const QString &text, const QString &detail);

    /// Answers a request another program sent over the single-instance socket, through
    /// respond, at once or later (see RemoteCommands).
    void answerRequest(const QString &verb, const QJsonObject &request,
                       const SingleInstance::Respond &respond);

    /// How long a stop waits before offering Force Stop (10 seconds unless changed).
    void setStopGracePeriod(std::chrono::milliseconds period);

private:
    void step(StartupStep done);
    void connectActions();
    void observeKeys();
    void stop();
    void lifeChanged();
    void updateTitle();
    void runStarted();
    void forceStop();
    void checkpoint();
    void quit();
    void showDatabases();
    void openLogFile();
    void launchFailed(const QString &message, const QString &reason);
    bool confirmRisk(const QString &text, const QString &detail);

    Hooks m_hooks;
    std::unique_ptr<UserDefaultsController> m_prefsController;
    std::unique_ptr<MooController> m_controller;
    std::unique_ptr<LogWindow> m_logWindow;
    PreferencesPanel *m_preferencesPanel = nullptr; // owned by the log window
    std::unique_ptr<ServerLife> m_life;
    std::unique_ptr<DatabaseGenerations> m_generations;
    // After the first world's parts above, which they refer to, and before the window's parts
    // below, which refer to the first world's players and watch they own.
    std::unique_ptr<Worlds> m_worlds;
    std::unique_ptr<WorldServers> m_worldServers;
    std::unique_ptr<Snapshots> m_snapshots;
    std::unique_ptr<RemoteCommands> m_remoteCommands;
    RunPlayers *m_players = nullptr; // the first world's
    PlayersPanel *m_playersPanel = nullptr; // owned by the log window
    std::unique_ptr<ServerStatus> m_status;
    std::unique_ptr<RunEndMessage> m_runEndMessage;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<PulseWiring> m_pulse;
    DatabasesWindow *m_databasesWindow = nullptr; // owned by the log window, made when first asked
    EmergencyConsole *m_console = nullptr;        // owned by the log window
};

} // namespace paddock

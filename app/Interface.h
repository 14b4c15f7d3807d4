// SPDX-License-Identifier: MIT
#pragma once

#include "SingleInstance.h"

#include <QJsonObject>
#include <QObject>

class QDockWidget;

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace paddock {

class DatabaseGenerations;
class DesktopNotifier;
class EmergencyConsole;
class LogWindow;
class MooController;
class PlayersPanel;
class PreferencesPanel;
class PulseWiring;
class RemoteCommands;
class RunPlayers;
class ServerLife;
class ServerStatus;
class Snapshots;
class Task;
class UserDefaults;
class UserDefaultsController;
class WorldDisplay;
class WorldActions;
class WorldList;
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
/// defaults controller, the first world's MooController and the windows, connects outlets,
/// actions and observed keys, shows the selected world in the window (each world followed by
/// a WorldDisplay), and is the boundary at which every failure of an action is caught and
/// shown; nothing is thrown into Qt's event dispatch.
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

    /// The parts, each available from the startup step that creates it on. The controller, life,
    /// generations, status, players and pulse are the first world's.
    MooController &controller() const { return *m_controller; }
    UserDefaultsController &prefsController() const { return *m_prefsController; }
    LogWindow &logWindow() const { return *m_logWindow; }
    PreferencesPanel &preferencesPanel() const { return *m_preferencesPanel; }
    ServerStatus &status() const;
    ServerLife &life() const { return *m_life; }
    DatabaseGenerations &generations() const { return *m_generations; }
    PulseWiring &pulse() const;
    RunPlayers &players() const;
    PlayersPanel &playersPanel() const { return *m_playersPanel; }
    Worlds &worlds() const { return *m_worlds; }
    WorldServers &worldServers() const { return *m_worldServers; }
    /// How the window shows world id (whether selected or not); null for an id that is no world.
    WorldDisplay *worldDisplay(const QString &id) const;

    /// Shows world id in the window; the menus and shortcuts act on it from now on. False,
    /// changing nothing, for an id that is no world.
    bool selectWorld(const QString &id);
    /// The id of the world the window shows.
    QString selectedWorld() const;

    /// Shows the log window, restored if minimised, raised and activated.
    void bringToFront();

    /// Runs work on the selected world; a LaunchError shows "Launch failed: <reason>" in its
    /// status and a message, any other exception a message. Returns whether work completed
    /// without throwing.
    bool perform(const std::function<void()> &work) noexcept;
    /// Sends action to the selected world's controller as the given control would.
    void send(ControllerAction action, QObject *sender);

    /// The console under the log while the server is in its emergency mode.
    EmergencyConsole &emergencyConsole() const { return *m_console; }

    /// Shows text and detail in a warning on the log window, not waited for.
    void showFailure(const QString &text, const QString &detail);

    /// Answers a request another program sent over the single-instance socket, through
    /// respond, at once or later (see RemoteCommands).
    void answerRequest(const QString &verb, const QJsonObject &request,
                       const SingleInstance::Respond &respond);

    /// How long a stop of any world waits before offering Force Stop (10 seconds unless
    /// changed).
    void setStopGracePeriod(std::chrono::milliseconds period);

Q_SIGNALS:
    /// The window shows world id from now on.
    void worldSelected(const QString &id);

private:
    void step(StartupStep done);
    void followWorlds();
    void connectActions();
    void observeKeys();
    WorldDisplay &selected() const { return *m_selected; }
    void stop();
    void forceStop();
    void checkpoint();
    void quit();
    void startInEmergencyMode();
    void placeWorlds();
    void followSelection();
    // Shows in the window when the settings of world id cannot be saved or read.
    void followSettingsSaves(UserDefaults &store, const QString &id);
    std::optional<bool> askBeforeQuitting();

    Hooks m_hooks;
    std::unique_ptr<UserDefaultsController> m_prefsController;
    std::unique_ptr<MooController> m_controller;
    std::unique_ptr<LogWindow> m_logWindow;
    PreferencesPanel *m_preferencesPanel = nullptr; // owned by the log window
    std::unique_ptr<ServerLife> m_life;
    std::unique_ptr<DatabaseGenerations> m_generations;
    // A copy of each finished checkpoint of the first world, when the user wants one.
    std::unique_ptr<Snapshots> m_snapshots;
    // After the first world's parts above, which they refer to.
    std::unique_ptr<Worlds> m_worlds;
    std::unique_ptr<WorldServers> m_worldServers;
    std::unique_ptr<RemoteCommands> m_remoteCommands;
    PlayersPanel *m_playersPanel = nullptr; // owned by the log window
    EmergencyConsole *m_console = nullptr;  // owned by the log window
    QDockWidget *m_graphsPanel = nullptr;   // owned by the log window
    std::unique_ptr<DesktopNotifier> m_notifier;
    // After the worlds' server sides and the window's parts, which each display refers to; one
    // for each world ever listed in this sitting, the first world's first.
    std::vector<std::unique_ptr<WorldDisplay>> m_displays;
    WorldDisplay *m_selected = nullptr;
    WorldList *m_worldList = nullptr;           // owned by its panel
    QDockWidget *m_worldListPanel = nullptr;    // owned by the log window
    std::unique_ptr<WorldActions> m_worldActions;
    std::optional<std::chrono::milliseconds> m_stopGracePeriod;
};

} // namespace paddock

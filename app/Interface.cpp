// SPDX-License-Identifier: MIT
#include "Interface.h"

#include "DatabaseGenerations.h"
#include "DesktopNotifier.h"
#include "EmergencyConsole.h"
#include "LogView.h"
#include "LogWindow.h"
#include "MooController.h"
#include "PlayersPanel.h"
#include "PreferencesPanel.h"
#include "PulseWiring.h"
#include "RemoteCommands.h"
#include "ResponsivenessWatch.h"
#include "ServerLife.h"
#include "Snapshots.h"
#include "StatusReport.h"
#include "String.h"
#include "UserDefaults.h"
#include "WidgetWindow.h"
#include "WorldActions.h"
#include "WorldDisplay.h"
#include "WorldServer.h"
#include "WorldServers.h"
#include "Worlds.h"

#include <QMessageBox>

#include <algorithm>

namespace paddock {

Interface::Interface(Hooks hooks, QObject *parent)
    : QObject(parent)
    , m_hooks(std::move(hooks))
{
    m_prefsController = std::make_unique<UserDefaultsController>(); // the standard store
    step(StartupStep::defaultsControllerCreated);
    MooController::initialize();
    step(StartupStep::classInitialized);
    m_controller = std::make_unique<MooController>();
    // The server's life as one state: Stop, Force Stop and Checkpoint Now go through it.
    m_life = std::make_unique<ServerLife>(*m_controller);
    m_life->setStopGracePeriod(std::chrono::milliseconds(10000));
    // The world's databases around each run: recovery, disk space, rotation, the archive.
    m_generations = std::make_unique<DatabaseGenerations>(*m_controller, *m_life);
    m_snapshots = std::make_unique<Snapshots>(*m_controller);
    // The first world's parts beside every further world's, each start checked against the
    // other worlds' servers.
    m_worlds = std::make_unique<Worlds>(m_prefsController->defaults());
    m_worldServers = std::make_unique<WorldServers>(
        *m_worlds, std::make_unique<WorldServer>(Worlds::firstWorld(), *m_controller, *m_life,
                                                 *m_generations, *m_snapshots));
    m_remoteCommands = std::make_unique<RemoteCommands>(*m_worlds, *m_worldServers);
    step(StartupStep::controllerCreated);

    m_logWindow = std::make_unique<LogWindow>();
    m_preferencesPanel = new PreferencesPanel(m_prefsController->defaults(), m_logWindow.get());
    m_console = EmergencyConsole::addTo(*m_logWindow, *m_controller);
    m_playersPanel = new PlayersPanel(players());
    m_logWindow->addPanel(m_playersPanel);
    m_graphsPanel = PulseWiring::addGraphsPanelTo(*m_logWindow);
    m_notifier = std::make_unique<DesktopNotifier>();
    // After the server sides' own subscription: a world added has its server side by then.
    connect(m_worlds.get(), &Worlds::changed, this, &Interface::followWorlds);
    followWorlds();
    m_selected = m_displays.front().get();
    // Every world's server in its emergency mode is asked about, not the shown one's alone.
    m_logWindow->setQuitQuestion([this] { return askBeforeQuitting(); });
    m_logWindow->setServerRunsElsewhere([this] {
        return std::any_of(m_displays.begin(), m_displays.end(), [this](const auto &display) {
            return display.get() != m_selected && display->server().isRunning();
        });
    });
    step(StartupStep::windowsCreated);

    m_controller->connectOutlets(m_prefsController.get(), WidgetWindow::of(m_preferencesPanel),
                                 WidgetWindow::of(m_logWindow.get()));
    step(StartupStep::outletsConnected);
    connectActions();
    step(StartupStep::actionsConnected);
    observeKeys();
    step(StartupStep::keysObserved);
    m_controller->awakeFromNib();
    step(StartupStep::awokeFromNib);
    placeWorlds();
    // The servers an earlier Paddock left running are taken back before the window shows,
    // then rotations left unfinished are finished.
    m_worldServers->reattachAll();
    m_logWindow->show();
    step(StartupStep::logWindowShown);
}

Interface::~Interface()
{
    // The window outlives the watch its log asks about lines.
    m_logWindow->logView()->setOwnLineTest({});
}

ServerStatus &Interface::status() const
{
    return m_displays.front()->status();
}

PulseWiring &Interface::pulse() const
{
    return m_displays.front()->pulse();
}

RunPlayers &Interface::players() const
{
    return m_worldServers->server(Worlds::firstWorld())->players();
}

WorldDisplay *Interface::worldDisplay(const QString &id) const
{
    const auto found =
        std::find_if(m_displays.begin(), m_displays.end(),
                     [&id](const auto &display) { return display->server().id() == id; });
    return found == m_displays.end() ? nullptr : found->get();
}

void Interface::followWorlds()
{
    // A world added gets its display; a removed one keeps its own, as its server side does.
    for (const QString &id : m_worlds->ids()) {
        WorldServer *server = m_worldServers->server(id);
        if (!server || worldDisplay(id))
            continue;
        MooController &controller = server->controller();
        // Its choosers open on the windows, as the first world's do.
        if (id != Worlds::firstWorld()) {
            controller.connectOutlets(controller.prefsController(),
                                      WidgetWindow::of(m_preferencesPanel),
                                      WidgetWindow::of(m_logWindow.get()));
            if (UserDefaultsController *prefs = controller.prefsController())
                followSettingsSaves(prefs->defaults(), id);
        }
        if (m_stopGracePeriod)
            server->life().setStopGracePeriod(*m_stopGracePeriod);
        auto display = std::make_unique<WorldDisplay>(
            *server, *m_worlds,
            WorldDisplay::Window{*m_logWindow, *m_graphsPanel, *m_playersPanel, *m_console},
            [this](const QString &text, const QString &detail) { showFailure(text, detail); });
        connect(display.get(), &WorldDisplay::noticeSent, m_notifier.get(),
                &DesktopNotifier::notify);
        m_displays.push_back(std::move(display));
    }
    if (!m_selected)
        return;
    // A removed world leaves the window to the first; a renamed one, or a second world, changes
    // the title.
    if (!m_worlds->contains(m_selected->server().id()))
        selectWorld(Worlds::firstWorld());
    else
        m_selected->updateTitle();
}

bool Interface::selectWorld(const QString &id)
{
    // The one place where the selection changes: the window, its menus and its shortcuts act
    // on the world selected here from now on.
    WorldDisplay *next = worldDisplay(id);
    if (!next || !m_worlds->contains(id))
        return false;
    if (next == m_selected)
        return true;
    WorldDisplay *previous = m_selected;
    previous->hide();
    const bool databasesShown = previous->hideDatabases();
    m_selected = next;
    next->show(true);
    if (databasesShown)
        next->showDatabases();
    Q_EMIT worldSelected(id);
    return true;
}

QString Interface::selectedWorld() const
{
    return m_selected->server().id();
}

void Interface::bringToFront()
{
    m_logWindow->setWindowState(m_logWindow->windowState() & ~Qt::WindowMinimized);
    m_logWindow->show();
    m_logWindow->raise();
    m_logWindow->activateWindow();
}

void Interface::answerRequest(const QString &verb, const QJsonObject &request,
                              const SingleInstance::Respond &respond)
{
    m_remoteCommands->answer(verb, request, respond);
}

void Interface::step(StartupStep done)
{
    if (m_hooks.startupStep)
        m_hooks.startupStep(done, *this);
}

void Interface::observeKeys()
{
    m_selected->show(false);

    LogWindow *window = m_logWindow.get();
    UserDefaults &store = m_prefsController->defaults();
    followSettingsSaves(store, Worlds::firstWorld());
    // Class initialisation may already have failed to save, before anything listened.
    if (const QString unreadable = store.readProblem(); !unreadable.isEmpty())
        window->showSettingsUnreadable(displayPath(store.filePath()), unreadable);
    else if (!store.lastSaveSucceeded())
        window->setSettingsSaveFailed(true, displayPath(store.filePath()));
}

void Interface::followSettingsSaves(UserDefaults &store, const QString &id)
{
    LogWindow *window = m_logWindow.get();
    // A further world's settings are named: they are a part of the file the user may not
    // think of. The first world's are the file's own keys, said as ever.
    connect(&store, &UserDefaults::saveFailed, window, [this, window, id](const QString &path) {
        window->setSettingsSaveFailed(true, path,
                                      id == Worlds::firstWorld() ? QString() : m_worlds->name(id));
    });
    // Every world's store writes the whole file, so any save that works has saved what an
    // earlier failed one held, whichever world's it was.
    connect(&store, &UserDefaults::valueChanged, window, [window, &store] {
        if (store.lastSaveSucceeded())
            window->setSettingsSaveFailed(false);
    });
    connect(&store, &UserDefaults::readFailed, window, &LogWindow::showSettingsUnreadable);
}

std::optional<bool> Interface::askBeforeQuitting()
{
    QList<EmergencyConsole::QuittingWorld> servers;
    const bool several = m_worlds->ids().size() > 1;
    for (const std::unique_ptr<WorldDisplay> &display : m_displays) {
        const WorldServer &server = display->server();
        if (m_worlds->contains(server.id()))
            servers.append({several ? m_worlds->name(server.id()) : QString(),
                            server.controller().run(), display->consoleSession()});
    }
    return EmergencyConsole::askBeforeQuitting(m_logWindow.get(), servers);
}

bool Interface::perform(const std::function<void()> &work) noexcept
{
    return m_selected->perform(work);
}

void Interface::showFailure(const QString &text, const QString &detail)
{
    // Window-modal and not waited for: no nested event loop starts inside a failed action.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("Paddock"), text, QMessageBox::Ok,
                                m_logWindow.get());
    box->setObjectName(QStringLiteral("failureMessage"));
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

} // namespace paddock

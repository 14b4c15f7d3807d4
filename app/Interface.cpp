// SPDX-License-Identifier: MIT
#include "Interface.h"

#include "DatabaseGenerations.h"
#include "DatabasesWindow.h"
#include "DesktopNotifier.h"
#include "EmergencyConsole.h"
#include "LaunchError.h"
#include "LogView.h"
#include "LogWindow.h"
#include "MooController.h"
#include "NotificationCenter.h"
#include "PlayersPanel.h"
#include "PreferencesPanel.h"
#include "PulseWiring.h"
#include "RemoteCommands.h"
#include "RunEndMessage.h"
#include "ResponsivenessWatch.h"
#include "RunHistory.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "ServerStatus.h"
#include "SettingsKeys.h"
#include "Snapshots.h"
#include "StatusReport.h"
#include "String.h"
#include "UserDefaults.h"
#include "WidgetWindow.h"
#include "WorldServers.h"
#include "WorldTitle.h"
#include "Worlds.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace paddock {

namespace {

QString noticeSummary(ServerLife::Notice kind)
{
    switch (kind) {
    case ServerLife::Notice::Crashed:
        return Interface::tr("The MOO server crashed");
    case ServerLife::Notice::Restarted:
        return Interface::tr("The MOO server was started again");
    case ServerLife::Notice::RestartGivenUp:
        return Interface::tr("The MOO server is not started again");
    case ServerLife::Notice::CheckpointFailed:
        return Interface::tr("A checkpoint failed");
    }
    return {};
}

} // namespace

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
    // The first world's parts beside every further world's, each start checked against the
    // other worlds' servers.
    m_worlds = std::make_unique<Worlds>(m_prefsController->defaults());
    m_worldServers = std::make_unique<WorldServers>(
        *m_worlds, std::make_unique<WorldServer>(Worlds::firstWorld(), *m_controller, *m_life,
                                                 *m_generations));
    // A copy of each finished checkpoint of the running world, when the user wants one.
    m_snapshots = std::make_unique<Snapshots>(*m_controller);
    m_remoteCommands = std::make_unique<RemoteCommands>(*m_worlds, *m_worldServers);
    m_players = &m_worldServers->server(Worlds::firstWorld())->players();
    step(StartupStep::controllerCreated);

    m_logWindow = std::make_unique<LogWindow>();
    m_preferencesPanel = new PreferencesPanel(m_prefsController->defaults(), m_logWindow.get());
    m_console = EmergencyConsole::addTo(*m_logWindow, *m_controller);
    // Before the status follows the life, so the controls are right when its text changes.
    connect(m_life.get(), &ServerLife::changed, this, &Interface::lifeChanged);
    m_status = std::make_unique<ServerStatus>(*m_controller, *m_life);
    m_status->followPlayers(*m_players);
    m_playersPanel = new PlayersPanel(*m_players);
    m_logWindow->addPanel(m_playersPanel);
    m_notifier = std::make_unique<DesktopNotifier>();
    connect(m_life.get(), &ServerLife::notice, m_notifier.get(),
            [notifier = m_notifier.get()](ServerLife::Notice kind, const QString &text) {
                notifier->notify(noticeSummary(kind), text);
            });
    m_pulse = std::make_unique<PulseWiring>(
        *m_controller, m_worldServers->server(Worlds::firstWorld())->watch(), *m_players,
        *m_logWindow, *m_status, *m_notifier);
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
    // The servers an earlier Paddock left running are taken back before the window shows,
    // then rotations left unfinished are finished.
    m_worldServers->reattachAll();
    m_logWindow->show();
    step(StartupStep::logWindowShown);
}

Interface::~Interface() = default;

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

void Interface::connectActions()
{
    LogWindow *window = m_logWindow.get();
    const auto route = [this](QObject *control, ControllerAction action) {
        if (auto *qaction = qobject_cast<QAction *>(control))
            connect(qaction, &QAction::triggered, this,
                    [this, qaction, action] { send(action, qaction); });
        else if (auto *button = qobject_cast<QPushButton *>(control))
            connect(button, &QPushButton::clicked, this,
                    [this, button, action] { send(action, button); });
    };
    route(window->startAction(), ControllerAction::startMoo);
    route(window->stopAction(), ControllerAction::stopMoo);
    route(window->chooseServerAction(), ControllerAction::chooseURL);
    route(m_preferencesPanel->chooseButton(), ControllerAction::chooseURL);
    route(window->preferencesAction(), ControllerAction::preferences);

    connect(window->startEmergencyAction(), &QAction::triggered, this, [this] {
        if (m_prefsController->defaults().stringForKey(MOOExecutableURL).value_or("").empty())
            m_preferencesPanel->showStartReason();
        perform([this] { m_controller->startMooInEmergencyMode(); });
    });
    connect(window->forceStopAction(), &QAction::triggered, this, &Interface::forceStop);
    connect(window->checkpointAction(), &QAction::triggered, this, &Interface::checkpoint);
    connect(window->startFromPanicAction(), &QAction::triggered, this,
            [this] { perform([this] { m_life->startFromPanicFile(); }); });
    connect(window->cancelRestartAction(), &QAction::triggered, m_life.get(),
            &ServerLife::cancelRestart);
    connect(window->quitAction(), &QAction::triggered, this, &Interface::quit);
    connect(window->databasesAction(), &QAction::triggered, this, &Interface::showDatabases);
    // A launch from the database chooser's answer fails outside any action: the controller
    // reports it instead of throwing.
    connect(m_controller.get(), &MooController::launchFailed, this, &Interface::launchFailed);
    m_controller->setConfirmRisk(
        [this](const QString &text, const QString &detail) { return confirmRisk(text, detail); });
}

bool Interface::confirmRisk(const QString &text, const QString &detail)
{
    QMessageBox question(QMessageBox::Warning, tr("Paddock"), text, QMessageBox::NoButton,
                         m_logWindow.get());
    question.setObjectName(QStringLiteral("riskQuestion"));
    question.setInformativeText(detail);
    QPushButton *start = question.addButton(tr("&Start Anyway"), QMessageBox::DestructiveRole);
    QPushButton *cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.exec();
    return question.clickedButton() == start;
}

void Interface::observeKeys()
{
    LogWindow *window = m_logWindow.get();
    MooController *controller = m_controller.get();
    connect(controller, &MooController::outputStringChanged, window,
            [window, controller] { window->logView()->setLogText(controller->outputString()); });
    window->logView()->setLogText(controller->outputString());
    connect(controller, &MooController::isMooRunningChanged, window, &LogWindow::setServerRunning);
    connect(controller, &MooController::isMooRunningChanged, this, [this](bool running) {
        if (running)
            runStarted();
    });
    connect(controller, &MooController::dbPathChanged, this, &Interface::updateTitle);
    updateTitle();
    connect(controller, &MooController::logFileFailed, window, &LogWindow::showLogFileFailed);
    connect(m_generations.get(), &DatabaseGenerations::note, window, &LogWindow::showDatabaseNote);
    connect(m_snapshots.get(), &Snapshots::note, window, &LogWindow::showDatabaseNote);
    window->setServerRunning(controller->isMooRunning());

    // The status in the status bar, and a run's troubled end in whole in the bar above the log.
    m_runEndMessage = std::make_unique<RunEndMessage>(
        *m_status, *m_life, *m_controller, *window,
        RunEndMessage::Actions{
            [this] { perform([this] { m_life->startFromPanicFile(); }); },
            [this] { perform([this] { m_life->startAgain(); }); },
            [this] { m_controller->startInEmergencyMode(m_life->runInput()); },
            [this] { showDatabases(); },
            [this] { openLogFile(); },
        });
    // What needs the user's attention is spoken at once; routine changes stay quiet.
    connect(m_life.get(), &ServerLife::notice, window, [window](ServerLife::Notice kind) {
        if (kind != ServerLife::Notice::Restarted)
            window->announceStatus();
    });

    UserDefaults &store = m_prefsController->defaults();
    connect(&store, &UserDefaults::saveFailed, window,
            [window](const QString &filePath) { window->setSettingsSaveFailed(true, filePath); });
    connect(&store, &UserDefaults::valueChanged, window, [window, &store] {
        if (store.lastSaveSucceeded())
            window->setSettingsSaveFailed(false);
    });
    connect(&store, &UserDefaults::readFailed, window, &LogWindow::showSettingsUnreadable);
    // Class initialisation may already have failed to save, before anything listened.
    if (const QString unreadable = store.readProblem(); !unreadable.isEmpty())
        window->showSettingsUnreadable(displayPath(store.filePath()), unreadable);
    else if (!store.lastSaveSucceeded())
        window->setSettingsSaveFailed(true, displayPath(store.filePath()));
}

bool Interface::perform(const std::function<void()> &work) noexcept
{
    try {
        try {
            work();
            return true;
        } catch (const LaunchError &error) {
            launchFailed(QString::fromLocal8Bit(error.what()),
                         QString::fromLocal8Bit(error.reason()));
        } catch (const std::exception &error) {
            showFailure(tr("Paddock could not do that."), QString::fromLocal8Bit(error.what()));
        } catch (...) {
            showFailure(tr("Paddock could not do that."), QString());
        }
    } catch (...) {
        // Showing the failure failed too (out of memory): still nothing may reach Qt.
    }
    return false;
}

void Interface::launchFailed(const QString &message, const QString &reason)
{
    m_status->launchFailed(reason);
    showFailure(tr("The server could not be started."), message);
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

void Interface::send(ControllerAction action, QObject *sender)
{
    if (m_hooks.actionSent)
        m_hooks.actionSent(action);
    switch (action) {
    case ControllerAction::startMoo:
        // Without a server, Start opens the preferences to choose one: the panel says why.
        if (m_prefsController->defaults().stringForKey(MOOExecutableURL).value_or("").empty())
            m_preferencesPanel->showStartReason();
        perform([this, sender] { m_controller->startMoo(sender); });
        break;
    case ControllerAction::stopMoo:
        stop();
        break;
    case ControllerAction::chooseURL:
        perform([this, sender] { m_controller->chooseURL(sender); });
        break;
    case ControllerAction::preferences:
        perform([this, sender] { m_controller->preferences(sender); });
        break;
    }
}

void Interface::setStopGracePeriod(std::chrono::milliseconds period)
{
    m_life->setStopGracePeriod(period);
}

void Interface::stop()
{
    // The stop waits in a nested event loop; the state tells the window meanwhile.
    perform([this] { m_life->stop(); });
    // A Stop sent while another one waits returns at once: the controls stay as the state
    // has them. Once the server has ended they are reset even if its termination notice,
    // which moves the state on, is still to come.
    if (const std::shared_ptr<Task> task = m_controller->task(); task && task->isRunning()) {
        lifeChanged();
        return;
    }
    m_logWindow->setForceStopOffered(false);
    m_logWindow->setStopInProgress(false);
}

void Interface::lifeChanged()
{
    const auto state = m_life->state();
    const bool stopping =
        state == ServerLife::State::Stopping || state == ServerLife::State::StopTakingLong;
    m_logWindow->setStopInProgress(stopping);
    // A server that does not end when asked may be hung: that is said at once.
    if (state == ServerLife::State::StopTakingLong && !m_logWindow->forceStopAction()->isVisible())
        m_logWindow->announceStatus();
    m_logWindow->setForceStopOffered(state == ServerLife::State::StopTakingLong);
    const bool waiting = state == ServerLife::State::WaitingToRestart;
    m_logWindow->cancelRestartAction()->setVisible(waiting);
    m_logWindow->cancelRestartAction()->setEnabled(waiting);
    m_logWindow->startFromPanicAction()->setEnabled(
        !m_life->panicFile().empty() && state != ServerLife::State::Running && !stopping);
    updateTitle();
}

void Interface::updateTitle()
{
    const String db = m_controller->dbPath();
    m_logWindow->setWorldTitle(worldName(db ? *db : std::string()), worldStateWord(*m_life));
}

void Interface::runStarted()
{
    // The run's output follows what the log holds now.
    const LogTextPtr log = m_controller->outputString();
    m_logWindow->logView()->markRunStart(log ? log->length() : 0);
}

void Interface::forceStop()
{
    const std::shared_ptr<Task> task = m_controller->task();
    const auto state = m_life->state();
    if (!task || !task->isRunning() ||
        (state != ServerLife::State::Stopping && state != ServerLife::State::StopTakingLong))
        return;
    QMessageBox question(QMessageBox::Warning, tr("Paddock"), tr("Force the server to stop?"),
                         QMessageBox::NoButton, m_logWindow.get());
    question.setObjectName(QStringLiteral("forceStopQuestion"));
    question.setInformativeText(
        tr("The server may be writing its database. Force Stop ends it at once "
           "(SIGKILL), and unsaved changes will be lost."));
    QPushButton *force = question.addButton(tr("&Force Stop"), QMessageBox::DestructiveRole);
    QPushButton *cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    // A server that ends while the question is open needs no force: withdraw the question.
    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.addObserver(
        &question, [&question](const Notification &) { question.reject(); },
        TaskDidTerminateNotification, task);
    question.exec();
    center.removeObserver(&question);
    if (question.clickedButton() == force)
        m_life->forceStop();
}

void Interface::checkpoint()
{
    // A server without a SIGUSR2 handler would be ended by the signal: nothing is sent then,
    // and the user is told why. The verdict follows in the status bar.
    const ServerLife::CheckpointRequest request = m_life->checkpointNow();
    if (request == ServerLife::CheckpointRequest::Sent ||
        request == ServerLife::CheckpointRequest::NotRunning)
        return;
    showFailure(tr("The checkpoint request could not be sent."),
                ServerLife::checkpointRequestText(request));
}

void Interface::quit()
{
    // Closing the window asks first while a server runs; quitting never touches the server.
    if (m_logWindow->close())
        QCoreApplication::quit();
}

void Interface::openLogFile()
{
    const std::string path = m_controller->logFilePath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)))))
        showFailure(tr("The log file cannot be opened."),
                    tr("No program to show \"%1\" was found.").arg(displayPath(path)));
}

void Interface::showDatabases()
{
    MooController *controller = m_controller.get();
    // The world is the database the server runs or last ran on; in a new sitting of Paddock,
    // the one the newest recorded run started from.
    const auto world = [this, controller] {
        if (const String db = controller->dbPath(); db && !db->empty())
            return *db;
        const QList<RunRecord> runs = m_generations->history().runs();
        return runs.isEmpty() ? std::string() : runs.last().input;
    };
    if (!m_databasesWindow) {
        m_databasesWindow = new DatabasesWindow(
            [this, controller](const std::string &db) {
                bool running = false;
                perform([&] { running = controller->startFromDatabase(db); });
                return running;
            },
            m_generations->history(), m_logWindow.get());
        connect(controller, &MooController::isMooRunningChanged, m_databasesWindow,
                &DatabasesWindow::setServerRunning);
        connect(controller, &MooController::dbPathChanged, m_databasesWindow,
                [this, world] { m_databasesWindow->setWorldDatabase(world()); });
        // Archiving renames and prunes what the window lists.
        const auto refresh = [this] {
            if (m_databasesWindow->isVisible())
                m_databasesWindow->refresh();
        };
        connect(m_generations.get(), &DatabaseGenerations::renamesEnded, m_databasesWindow,
                refresh);
        connect(m_generations.get(), &DatabaseGenerations::archivingFinished, m_databasesWindow,
                refresh);
        connect(m_snapshots.get(), &Snapshots::finished, m_databasesWindow, refresh);
    }
    m_databasesWindow->setServerRunning(controller->isMooRunning());
    m_databasesWindow->setWorldDatabase(world());
    if (m_databasesWindow->isVisible())
        m_databasesWindow->refresh();
    m_databasesWindow->show();
    m_databasesWindow->raise();
    m_databasesWindow->activateWindow();
}

} // namespace paddock

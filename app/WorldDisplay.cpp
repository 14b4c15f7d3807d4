// SPDX-License-Identifier: MIT
#include "WorldDisplay.h"

#include "DatabaseGenerations.h"
#include "EmergencyConsole.h"
#include "LaunchError.h"
#include "LogView.h"
#include "LogWindow.h"
#include "MooController.h"
#include "PlayersPanel.h"
#include "PulseWiring.h"
#include "ResponsivenessWatch.h"
#include "RunEndMessage.h"
#include "ServerLife.h"
#include "ServerStatus.h"
#include "Snapshots.h"
#include "String.h"
#include "WorldDatabases.h"
#include "WorldServer.h"
#include "WorldTitle.h"
#include "Worlds.h"

#include <QAction>
#include <QDesktopServices>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace paddock {

namespace {

QString noticeSummary(ServerLife::Notice kind)
{
    switch (kind) {
    case ServerLife::Notice::Crashed:
        return WorldDisplay::tr("The MOO server crashed");
    case ServerLife::Notice::Restarted:
        return WorldDisplay::tr("The MOO server was started again");
    case ServerLife::Notice::RestartGivenUp:
        return WorldDisplay::tr("The MOO server is not started again");
    case ServerLife::Notice::CheckpointFailed:
        return WorldDisplay::tr("A checkpoint failed");
    }
    return {};
}

} // namespace

WorldDisplay::WorldDisplay(WorldServer &server, const Worlds &worlds, Window window,
                           ShowFailure showFailure, QObject *parent)
    : QObject(parent)
    , m_server(server)
    , m_worlds(worlds)
    , m_window(window)
    , m_showFailure(std::move(showFailure))
    , m_consoleSession(std::make_shared<ConsoleSession>())
{
    MooController &controller = server.controller();
    ServerLife &life = server.life();
    // Before the status follows the life, so the controls are right when its text changes.
    connect(&life, &ServerLife::changed, this, &WorldDisplay::updateControls);
    m_status = std::make_unique<ServerStatus>(controller, life);
    m_status->followPlayers(server.players());
    // What needs the user's attention is spoken at once; routine changes stay quiet.
    connect(&life, &ServerLife::notice, this, [this](ServerLife::Notice kind, const QString &text) {
        notify(noticeSummary(kind), text);
        if (m_shown && kind != ServerLife::Notice::Restarted)
            m_window.window.announceStatus();
    });
    m_pulse = std::make_unique<PulseWiring>(controller, server.watch(), server.players(), *m_status,
                                            window.graphsPanel);
    connect(m_pulse.get(), &PulseWiring::noticeSent, this, &WorldDisplay::notify);
    connect(m_pulse.get(), &PulseWiring::attentionNeeded, this, [this] {
        if (m_shown)
            m_window.window.announceStatus();
    });

    connect(&controller, &MooController::isMooRunningChanged, this, [this](bool running) {
        if (running)
            runStarted();
    });
    connect(&controller, &MooController::dbPathChanged, this, &WorldDisplay::updateTitle);
    connect(&controller, &MooController::logFileFailed, this, [this](const QString &message) {
        m_logFileFailure = message;
        if (m_shown)
            m_window.window.showLogFileFailed(message);
    });
    connect(&server.generations(), &DatabaseGenerations::note, this, &WorldDisplay::noteDatabases);
    connect(&server.snapshots(), &Snapshots::note, this, &WorldDisplay::noteDatabases);
    // A launch from the database chooser's answer fails outside any action: the controller
    // reports it instead of throwing.
    connect(&controller, &MooController::launchFailed, this, &WorldDisplay::launchFailed);
    controller.setConfirmRisk(
        [this](const QString &text, const QString &detail) { return confirmRisk(text, detail); });

    // A run's troubled end in whole in the bar above the log, while the world is shown.
    m_runEndMessage = std::make_unique<RunEndMessage>(
        *m_status, life, controller, window.window,
        RunEndMessage::Actions{
            [this] { perform([this] { m_server.life().startFromPanicFile(); }); },
            [this] { perform([this] { m_server.life().startAgain(); }); },
            [this] { m_server.controller().startInEmergencyMode(m_server.life().runInput()); },
            [this] { showDatabases(); },
            [this] { openLogFile(); },
        });
    m_databases = std::make_unique<WorldDatabases>(
        server, window.window, [this](const std::function<void()> &work) { return perform(work); });
}

WorldDisplay::~WorldDisplay()
{
    m_server.controller().setConfirmRisk({});
}

void WorldDisplay::show(bool replacing)
{
    m_shown = true;
    LogWindow &window = m_window.window;
    LogView *view = window.logView();
    MooController &controller = m_server.controller();
    m_whileShown = std::make_unique<QObject>();
    connect(&controller, &MooController::outputStringChanged, m_whileShown.get(),
            [view, &controller] { view->setLogText(controller.outputString()); });
    LogTextPtr log = controller.outputString();
    if (!log && replacing)
        log = LogText::create(); // the other world's log goes
    view->setLogText(log);
    for (const qsizetype start : m_runStarts)
        view->markRunStart(start);
    ResponsivenessWatch &watch = m_server.watch();
    view->setOwnLineTest([&watch](std::string_view line) { return watch.isProbeLine(line); });

    connect(&controller, &MooController::isMooRunningChanged, m_whileShown.get(),
            [&window](bool running) { window.setServerRunning(running); });
    window.setServerRunning(controller.isMooRunning());
    if (replacing || !m_logFileFailure.isEmpty())
        window.showLogFileFailed(m_logFileFailure);
    if (replacing || !m_databaseNote.isEmpty())
        window.showDatabaseNote(m_databaseNote, m_databaseNoteWarns);
    m_window.playersPanel.setPlayers(m_server.players());
    m_pulse->showGraphs();
    m_window.console.followController(controller, m_consoleSession);
    m_runEndMessage->setShown(true);
    if (replacing)
        updateControls();
    updateTitle();
}

void WorldDisplay::hide()
{
    m_shown = false;
    m_whileShown.reset();
    m_runEndMessage->setShown(false);
}

void WorldDisplay::updateControls()
{
    if (!m_shown)
        return;
    LogWindow &window = m_window.window;
    const ServerLife &life = m_server.life();
    const auto state = life.state();
    const bool stopping =
        state == ServerLife::State::Stopping || state == ServerLife::State::StopTakingLong;
    window.setStopInProgress(stopping);
    // A server that does not end when asked may be hung: that is said at once.
    if (state == ServerLife::State::StopTakingLong && !window.forceStopAction()->isVisible())
        window.announceStatus();
    window.setForceStopOffered(state == ServerLife::State::StopTakingLong);
    const bool waiting = state == ServerLife::State::WaitingToRestart;
    window.cancelRestartAction()->setVisible(waiting);
    window.cancelRestartAction()->setEnabled(waiting);
    window.startFromPanicAction()->setEnabled(!life.panicFile().empty() &&
                                              state != ServerLife::State::Running && !stopping);
    updateTitle();
}

void WorldDisplay::updateTitle()
{
    if (!m_shown)
        return;
    const String db = m_server.controller().dbPath();
    QString world = worldName(db ? *db : std::string());
    // Once there are several worlds, the title says which one is shown.
    if (m_worlds.ids().size() > 1) {
        const QString name = m_worlds.name(m_server.id());
        world = world.isEmpty() ? name : tr("%1: %2").arg(name, world);
    }
    m_window.window.setWorldTitle(world, worldStateWord(m_server.life()));
}

void WorldDisplay::notify(const QString &summary, const QString &body)
{
    // With several worlds the notice begins with the world it is about.
    if (m_worlds.ids().size() > 1)
        Q_EMIT noticeSent(tr("%1: %2").arg(m_worlds.name(m_server.id()), summary), body);
    else
        Q_EMIT noticeSent(summary, body);
}

void WorldDisplay::runStarted()
{
    // The run's output follows what the log holds now.
    const LogTextPtr log = m_server.controller().outputString();
    const qsizetype start = log ? log->length() : 0;
    m_runStarts.push_back(start);
    if (m_shown)
        m_window.window.logView()->markRunStart(start);
}

void WorldDisplay::noteDatabases(const QString &text, bool warning)
{
    m_databaseNote = text;
    m_databaseNoteWarns = warning;
    if (m_shown)
        m_window.window.showDatabaseNote(text, warning);
}

bool WorldDisplay::perform(const std::function<void()> &work) noexcept
{
    try {
        try {
            work();
            return true;
        } catch (const LaunchError &error) {
            launchFailed(QString::fromLocal8Bit(error.what()),
                         QString::fromLocal8Bit(error.reason()));
        } catch (const std::exception &error) {
            m_showFailure(tr("Paddock could not do that."), QString::fromLocal8Bit(error.what()));
        } catch (...) {
            m_showFailure(tr("Paddock could not do that."), QString());
        }
    } catch (...) {
        // Showing the failure failed too (out of memory): still nothing may reach Qt.
    }
    return false;
}

void WorldDisplay::launchFailed(const QString &message, const QString &reason)
{
    m_status->launchFailed(reason);
    m_showFailure(tr("The server could not be started."), message);
}

bool WorldDisplay::confirmRisk(const QString &text, const QString &detail)
{
    QMessageBox question(QMessageBox::Warning, tr("Paddock"), text, QMessageBox::NoButton,
                         &m_window.window);
    question.setObjectName(QStringLiteral("riskQuestion"));
    question.setInformativeText(detail);
    QPushButton *start = question.addButton(tr("&Start Anyway"), QMessageBox::DestructiveRole);
    QPushButton *cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.exec();
    return question.clickedButton() == start;
}

void WorldDisplay::showDatabases()
{
    m_databases->show();
}

bool WorldDisplay::hideDatabases()
{
    return m_databases->hide();
}

void WorldDisplay::openLogFile()
{
    const std::string path = m_server.controller().logFilePath();
    if (!QDesktopServices::openUrl(
            QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(path)))))
        m_showFailure(tr("The log file cannot be opened."),
                      tr("No program to show \"%1\" was found.").arg(displayPath(path)));
}

} // namespace paddock

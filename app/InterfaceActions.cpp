// SPDX-License-Identifier: MIT
// The interface's menu actions, shortcuts and buttons: each acts on the selected world.
#include "Interface.h"

#include "LogWindow.h"
#include "MooController.h"
#include "NotificationCenter.h"
#include "PreferencesPanel.h"
#include "ServerLife.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"
#include "WorldDisplay.h"
#include "WorldServer.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace paddock {

namespace {

bool hasExecutable(const MooController &controller)
{
    const UserDefaultsController *prefs = controller.prefsController();
    return prefs && !prefs->defaults().stringForKey(MOOExecutableURL).value_or("").empty();
}

} // namespace

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

    connect(window->startEmergencyAction(), &QAction::triggered, this,
            &Interface::startInEmergencyMode);
    connect(window->forceStopAction(), &QAction::triggered, this, &Interface::forceStop);
    connect(window->checkpointAction(), &QAction::triggered, this, &Interface::checkpoint);
    connect(window->startFromPanicAction(), &QAction::triggered, this, [this] {
        WorldDisplay &world = selected();
        world.perform([&world] { world.server().life().startFromPanicFile(); });
    });
    connect(window->cancelRestartAction(), &QAction::triggered, this,
            [this] { selected().server().life().cancelRestart(); });
    connect(window->quitAction(), &QAction::triggered, this, &Interface::quit);
    connect(window->databasesAction(), &QAction::triggered, this,
            [this] { selected().showDatabases(); });
}

void Interface::send(ControllerAction action, QObject *sender)
{
    if (m_hooks.actionSent)
        m_hooks.actionSent(action);
    WorldDisplay &world = selected();
    MooController &controller = world.server().controller();
    switch (action) {
    case ControllerAction::startMoo:
        // Without a server, Start opens the preferences to choose one: the panel says why.
        if (!hasExecutable(controller))
            m_preferencesPanel->showStartReason();
        world.perform([&controller, sender] { controller.startMoo(sender); });
        break;
    case ControllerAction::stopMoo:
        stop();
        break;
    case ControllerAction::chooseURL:
        world.perform([&controller, sender] { controller.chooseURL(sender); });
        break;
    case ControllerAction::preferences:
        world.perform([&controller, sender] { controller.preferences(sender); });
        break;
    }
}

void Interface::startInEmergencyMode()
{
    WorldDisplay &world = selected();
    MooController &controller = world.server().controller();
    if (!hasExecutable(controller))
        m_preferencesPanel->showStartReason();
    world.perform([&controller] { controller.startMooInEmergencyMode(); });
}

void Interface::setStopGracePeriod(std::chrono::milliseconds period)
{
    m_stopGracePeriod = period;
    for (const std::unique_ptr<WorldDisplay> &display : m_displays)
        display->server().life().setStopGracePeriod(period);
}

void Interface::stop()
{
    // The stop waits in a nested event loop; the state tells the window meanwhile, and another
    // world may be selected then.
    WorldDisplay &world = selected();
    world.perform([&world] { world.server().life().stop(); });
    // A Stop sent while another one waits returns at once, and a world selected during the wait
    // has controls of its own: the controls stay as the selected world's state has them.
    if (&world != m_selected || world.server().isRunning()) {
        m_selected->updateControls();
        return;
    }
    // Once the server has ended they are reset even if its termination notice, which moves
    // the state on, is still to come.
    m_logWindow->setForceStopOffered(false);
    m_logWindow->setStopInProgress(false);
}

void Interface::forceStop()
{
    // The world asked about is the one selected now, whatever is selected by the answer.
    WorldServer &world = selected().server();
    const std::shared_ptr<Task> task = world.controller().task();
    const auto state = world.life().state();
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
        world.life().forceStop();
}

void Interface::checkpoint()
{
    // A server without a SIGUSR2 handler would be ended by the signal: nothing is sent then,
    // and the user is told why. The verdict follows in the status bar.
    const ServerLife::CheckpointRequest request = selected().server().life().checkpointNow();
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

} // namespace paddock

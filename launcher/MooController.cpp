#include "MooController.h"

#include "SettingsKeys.h"
#include "UserDefaults.h"
#include "Window.h"

namespace paddock {

MooController::MooController(QObject *parent)
    : QObject(parent)
{
    initialize();
    setOutputString(LogText::create());
    setIsMooRunning(std::nullopt);
    setTaskStdError(nullptr);
    setTaskStdOut(nullptr);
    setTask(nullptr);
    m_shouldPromptForDb = false;
}

MooController::~MooController()
{
    // No notice may reach a controller that is going away, not even one already being
    // delivered: the centre looks each subscription up again before calling it.
    NotificationCenter::defaultCenter().removeObserver(this);
    // The members go with the controller; a running child keeps its task alive and runs on.
}

void MooController::connectOutlets(UserDefaultsController *prefsController, Window *prefsWindow,
                                   Window *logWindow)
{
    m_prefsController = prefsController;
    m_prefsWindow = prefsWindow;
    m_logWindow = logWindow;
}

Window *MooController::prefsWindow() const
{
    return m_prefsWindow;
}

Window *MooController::logWindow() const
{
    return m_logWindow;
}

void MooController::setOutputString(LogTextPtr value)
{
    if (value == m_outputString)
        return;
    m_outputString = std::move(value);
    Q_EMIT outputStringChanged();
}

void MooController::setIsMooRunning(std::optional<bool> value)
{
    const bool running = value.value_or(false);
    if (running == m_isMooRunning)
        return;
    m_isMooRunning = running;
    Q_EMIT isMooRunningChanged(running);
}

void MooController::setTaskStdError(std::shared_ptr<Pipe> value)
{
    if (value == m_taskStdError)
        return;
    m_taskStdError = std::move(value);
    Q_EMIT taskStdErrorChanged();
}

void MooController::setTaskStdOut(std::shared_ptr<Pipe> value)
{
    if (value == m_taskStdOut)
        return;
    m_taskStdOut = std::move(value);
    Q_EMIT taskStdOutChanged();
}

void MooController::setTask(std::shared_ptr<Task> value)
{
    if (value == m_task)
        return;
    m_task = std::move(value);
    Q_EMIT taskChanged();
}

void MooController::setDbPath(String value)
{
    if (value == m_dbPath)
        return;
    m_dbPath = std::move(value);
    Q_EMIT dbPathChanged();
}

void MooController::setNewDbPath(String value)
{
    if (value == m_newDbPath)
        return;
    m_newDbPath = std::move(value);
    // Record the name for the next database chooser. An absent name records nothing:
    // the store never loses a key.
    if (m_newDbPath && m_prefsController)
        m_prefsController->defaults().setString(MOOLastDBName, *m_newDbPath);
    Q_EMIT newDbPathChanged();
}

} // namespace paddock

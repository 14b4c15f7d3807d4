// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "ReadEndClaims.h"
#include "Run.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"
#include "Window.h"

namespace paddock {

namespace {

// Stores value unless field already holds it (the same object, for the held ones); true when
// it stored, so that a setter that changes nothing emits nothing.
template <typename T> bool store(T &field, T value)
{
    if (value == field)
        return false;
    field = std::move(value);
    return true;
}

} // namespace

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
    // What this controller's servers write from now on is no other world's.
    ReadEndClaims::release(this);
    // The members go with the controller; a running child keeps its task alive and runs on.
}

void MooController::connectOutlets(UserDefaultsController *prefsController, Window *prefsWindow,
                                   Window *logWindow)
{
    m_prefsController = prefsController;
    m_prefsWindow = prefsWindow;
    m_logWindow = logWindow;
}

QString MooController::worldGroup() const
{
    return m_prefsController ? m_prefsController->defaults().group() : QString();
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
    if (store(m_outputString, std::move(value)))
        Q_EMIT outputStringChanged();
}

void MooController::setIsMooRunning(std::optional<bool> value)
{
    if (store(m_isMooRunning, value.value_or(false)))
        Q_EMIT isMooRunningChanged(m_isMooRunning);
}

void MooController::setTaskStdError(std::shared_ptr<Pipe> value)
{
    if (store(m_taskStdError, std::move(value)))
        Q_EMIT taskStdErrorChanged();
}

void MooController::setTaskStdOut(std::shared_ptr<Pipe> value)
{
    if (store(m_taskStdOut, std::move(value)))
        Q_EMIT taskStdOutChanged();
}

void MooController::setTask(std::shared_ptr<Task> value)
{
    if (store(m_task, std::move(value)))
        Q_EMIT taskChanged();
}

void MooController::setDbPath(String value)
{
    if (store(m_dbPath, std::move(value)))
        Q_EMIT dbPathChanged();
}

void MooController::setNewDbPath(String value)
{
    if (!store(m_newDbPath, std::move(value)))
        return;
    // Record the name for the next database chooser. An absent name records nothing:
    // the store never loses a key.
    if (m_newDbPath && m_prefsController)
        m_prefsController->defaults().setString(MOOLastDBName, *m_newDbPath);
    Q_EMIT newDbPathChanged();
}

} // namespace paddock

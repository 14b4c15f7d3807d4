#include "MooController.h"

#include "LaunchError.h"
#include "SettingsKeys.h"
#include "SystemError.h"
#include "UserDefaults.h"

#include <system_error>

namespace paddock {

namespace {

std::shared_ptr<Pipe> newPipe()
{
    try {
        return Pipe::create();
    } catch (const std::system_error &e) {
        const std::string reason = errorText(e.code().value());
        throw LaunchError("Cannot create a pipe for the server's output: " + reason,
                          e.code().value(), reason);
    }
}

} // namespace

void MooController::runMoo()
{
    std::vector<std::string> arguments;
    for (const String &argument : {dbPath(), newDbPath()})
        arguments.push_back(argument ? *argument : std::string());

    setTaskStdError(newPipe());
    setTaskStdOut(newPipe());
    setTask(Task::create());

    const std::shared_ptr<Task> process = task();
    process->setStandardError(taskStdError());
    taskStdError()->fileHandleForReading()->readInBackgroundAndNotify();
    process->setStandardOutput(taskStdOut());
    taskStdOut()->fileHandleForReading()->readInBackgroundAndNotify();

    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification &n) { taskEndedNotification(n); },
        TaskDidTerminateNotification, process);

    std::optional<std::string> executable;
    if (m_prefsController)
        executable = m_prefsController->defaults().stringForKey(MOOExecutableURL);
    process->setLaunchPath(executable.value_or(std::string()));
    process->setArguments(std::move(arguments));
    process->setCurrentDirectoryPath(dbPath() ? deletingLastPathComponent(*dbPath())
                                              : std::string());

    process->launch(); // throws LaunchError: the state is then "Launch failed"
    setIsMooRunning(true);
}

void MooController::taskEndedNotification(const Notification &)
{
    // Ask the current process, not the notice's sender: the end of a replaced server must
    // not touch the state of the one that runs now.
    if (!m_task || !m_task->isRunning()) {
        setIsMooRunning(false);
        setTask(nullptr);
    }
}

void MooController::stopMoo(QObject *)
{
    if (!m_task)
        return;
    // A process that never started cannot be signalled and will never exit: nothing to do.
    if (!task()->isLaunched())
        return;
    task()->terminate();
    // The termination notice may clear the field during the wait; the getter's reference
    // keeps the process object alive until the wait is over.
    const bool exited = task()->waitUntilExit();
    // The application may quit during the wait; a server still running is not stopped.
    if (exited)
        setIsMooRunning(false);
}

} // namespace paddock

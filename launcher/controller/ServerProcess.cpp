// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "InputPipe.h"
#include "LaunchError.h"
#include "ReadEndClaims.h"
#include "Run.h"
#include "ServerArguments.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <system_error>

namespace paddock {

namespace {

std::shared_ptr<Pipe> newPipe()
{
    try {
        return Pipe::create();
    } catch (const std::system_error &e) {
        throw LaunchError::fromErrno(
            MooController::tr("Cannot create a pipe for the server's output").toStdString(),
            e.code().value());
    }
}

} // namespace

void MooController::runMoo(StartMode mode)
{
    const bool emergency = mode == StartMode::Emergency;
    // Refused before anything changes when an argument template does not split.
    std::vector<std::string> arguments =
        serverArgumentVector(m_prefsController ? &m_prefsController->defaults() : nullptr,
                             dbPath() ? *dbPath() : std::string(),
                             newDbPath() ? *newDbPath() : std::string(), emergency);

    const QString sharedLogWarning = logFileSharedWarning(arguments);

    const std::shared_ptr<Pipe> errorPipe = newPipe();
    const std::shared_ptr<Pipe> outputPipe = newPipe();
    for (const std::shared_ptr<Pipe> &pipe : {errorPipe, outputPipe})
        ReadEndClaims::claim(pipe->fileHandleForReading(), this);
    std::shared_ptr<InputPipe> inputPipe;
    if (emergency) {
        try {
            inputPipe = InputPipe::create();
        } catch (const std::system_error &e) {
            throw LaunchError::fromErrno(
                tr("Cannot create a pipe for the server's input").toStdString(), e.code().value());
        }
    }
    openLogFile();
    const std::shared_ptr<Task> process = Task::create();
    // Made before the launch: it looks at the output database before the server can write it,
    // and hears of the end before the controller does.
    const std::shared_ptr<Run> run =
        Run::create(process, outputPipe, errorPipe, dbPath() ? *dbPath() : std::string(),
                    newDbPath() ? *newDbPath() : std::string());
    run->setEmergencyInput(inputPipe);
    // One thread reads both, cutting the run's lines and writing the log file, so the log file
    // and the window see them in one order.
    logWhereRead(errorPipe->fileHandleForReading());
    logWhereRead(outputPipe->fileHandleForReading());
    try {
        FileHandle::readTogether(
            {errorPipe->fileHandleForReading(), outputPipe->fileHandleForReading()});
    } catch (const std::system_error &e) {
        throw LaunchError::fromErrno(tr("Cannot read the server's output").toStdString(),
                                     e.code().value());
    }
    // Before the server can write a byte: what the log file holds now is earlier runs'.
    const std::string logFile = logFilePath();
    run->setLogFile(logFile, logFile.empty() ? std::nullopt : logFileEnd(logFile));
    // Only a launch that succeeds may replace a running server: Stop reaches a server
    // through task alone.
    const bool serverRuns = m_task && m_task->isRunning();
    const auto holdNewProcess = [&] {
        setTaskStdError(errorPipe);
        setTaskStdOut(outputPipe);
        setTask(process);
    };
    if (!serverRuns)
        holdNewProcess();

    process->setStandardError(errorPipe);
    errorPipe->fileHandleForReading()->readInBackgroundAndNotify();
    process->setStandardOutput(outputPipe);
    outputPipe->fileHandleForReading()->readInBackgroundAndNotify();
    process->setStandardInput(inputPipe);

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

    // Throws LaunchError: with no server running the state is then "Launch failed"; a
    // running server keeps its process and pipes.
    process->launch();
    if (serverRuns)
        holdNewProcess();
    setIsMooRunning(true);
    announceRun(run);
    if (!sharedLogWarning.isEmpty())
        Q_EMIT logFileShared(sharedLogWarning);
    startKeeper();
}

void MooController::announceRun(const std::shared_ptr<Run> &run)
{
    run->begin();
    // A run this one replaces goes on, and is kept until its last lines have been read.
    std::erase_if(m_replacedRuns, [](const std::shared_ptr<Run> &replaced) {
        return replaced->hasEnded() && replaced->outputFinished();
    });
    if (m_run && !(m_run->hasEnded() && m_run->outputFinished()))
        m_replacedRuns.push_back(std::move(m_run));
    m_run = run;
    Q_EMIT runStarted(*run);
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

bool MooController::askToStop()
{
    if (!m_task)
        return false;
    // A process that never started cannot be signalled and will never exit: nothing to do.
    if (!task()->isLaunched())
        return false;
    // A server in its emergency mode never reads SIGTERM there; "quit" leaves the mode, saving.
    if (m_run && m_run->isRunning() && m_run->processIdentifier() == task()->processIdentifier() &&
        m_run->inEmergencyMode())
        m_run->sendInput(QByteArrayLiteral("quit\n"));
    else
        task()->terminate();
    return true;
}

void MooController::stopMoo(QObject *)
{
    if (!askToStop())
        return;
    // The termination notice may clear the field during the wait; the getter's reference
    // keeps the process object alive until the wait is over.
    const bool exited = task()->waitUntilExit();
    // The application may quit during the wait; a server still running is not stopped.
    if (exited)
        setIsMooRunning(false);
}

} // namespace paddock

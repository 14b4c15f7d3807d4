// SPDX-License-Identifier: MIT
#pragma once

#include "InputPipe.h"
#include "Pipe.h"
#include "UniqueFd.h"

#include <QObject>
#include <QString>

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace paddock {

/// Name of the notice posted, with the task as sender, once its child has ended and
/// been reaped.
inline const QString TaskDidTerminateNotification = QStringLiteral("TaskDidTerminateNotification");

/// One child process: described, launched once, watched and reaped without polling.
class Task final : public QObject, public std::enable_shared_from_this<Task> {
    Q_OBJECT
public:
    /// How the child ended. Unknown: something else reaped it (the launcher ignores
    /// SIGCHLD, for one), so its exit status is lost.
    enum class TerminationReason { None, Exit, UncaughtSignal, Unknown };

    static std::shared_ptr<Task> create();
    /// Wraps a running process this program did not start (a server an earlier Paddock left
    /// running) through a pidfd, after checking, with the pidfd open, that the process has
    /// the recorded start time (clock ticks since boot), real user and executable. Returns
    /// none, with the reason in whyNot, on any mismatch, so a reused PID is never signalled.
    /// Its end is reported as TerminationReason::Unknown: the exit status is its parent's.
    static std::shared_ptr<Task> adopt(int pid, std::uint64_t expectedStartTime, uid_t expectedUid,
                                       const std::string &expectedExecutable,
                                       std::string *whyNot = nullptr);
    /// Releasing a task never stops its child; a running child keeps its task alive until
    /// it has been reaped and its termination notice delivered.
    ~Task() override;
    Q_DISABLE_COPY_MOVE(Task)

    void setLaunchPath(std::string path) { m_launchPath = std::move(path); }
    void setArguments(std::vector<std::string> arguments) { m_arguments = std::move(arguments); }
    void setCurrentDirectoryPath(std::string path) { m_currentDirectory = std::move(path); }
    void setStandardOutput(std::shared_ptr<Pipe> pipe) { m_standardOutput = std::move(pipe); }
    void setStandardError(std::shared_ptr<Pipe> pipe) { m_standardError = std::move(pipe); }
    /// Standard input from pipe's read end instead of /dev/null (none: /dev/null).
    void setStandardInput(std::shared_ptr<InputPipe> pipe) { m_standardInput = std::move(pipe); }

    /// Starts the child with exactly descriptors 0 (/dev/null unless an input pipe is set), 1
    /// and 2, an empty signal mask, default dispositions but SIGPIPE ignored, in its own process
    /// group. Closes the launcher's copies of the pipes' write ends and of the input's read end,
    /// launched or not. Throws LaunchError, leaving the
    /// task not launched; a task launches at most once.
    void launch();

    bool isLaunched() const { return m_pid > 0; }
    /// Whether the task wraps a process started elsewhere (see adopt()).
    bool isAdopted() const { return m_adopted; }
    /// Whether the child was launched and has not yet been reaped.
    bool isRunning() const { return m_pid > 0 && !m_exited; }
    /// The child's process id, or 0 before launch.
    int processIdentifier() const { return m_pid; }
    TerminationReason terminationReason() const { return m_reason; }
    /// Exit status, or the number of the signal that ended the child; 0 when unknown.
    int terminationStatus() const { return m_status; }

    /// Sends SIGTERM. Returns false, changing nothing, for a child that never started or
    /// has already been reaped.
    bool terminate() { return sendSignal(SIGTERM); }
    /// Sends SIGKILL: only for a Force Stop the user asked for.
    bool kill() { return sendSignal(SIGKILL); }
    /// Sends any signal through the process's pidfd, so a reused process id is never hit.
    bool sendSignal(int signal);

    /// Runs the event loop until the child's termination notice has been delivered. Returns
    /// at once for a child that never started; returns false if the application quits
    /// before the child ends.
    bool waitUntilExit();

private:
    Task() = default;
    void watchExit();
    void onPidfdReadable();
    void ended(TerminationReason reason, int status);

    std::string m_launchPath;
    std::vector<std::string> m_arguments;
    std::string m_currentDirectory;
    std::shared_ptr<Pipe> m_standardOutput;
    std::shared_ptr<Pipe> m_standardError;
    std::shared_ptr<InputPipe> m_standardInput;

    int m_pid = 0;
    bool m_launchTried = false;
    bool m_adopted = false;
    bool m_exited = false;
    TerminationReason m_reason = TerminationReason::None;
    int m_status = 0;
    UniqueFd m_pidfd;
    QSocketNotifier *m_exitNotifier = nullptr;
    std::shared_ptr<Task> m_selfWhileRunning;
};

} // namespace paddock

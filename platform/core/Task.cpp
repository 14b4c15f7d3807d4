// SPDX-License-Identifier: MIT
#include "Task.h"

#include "DescriptorIo.h"
#include "LaunchError.h"
#include "Logging.h"
#include "NotificationCenter.h"
#include "ProcessInfo.h"
#include "ProcessSpawn.h"
#include "String.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>

#include <cerrno>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

namespace {

[[noreturn]] void fail(const std::string &what, int error)
{
    throw LaunchError::fromErrno(what, error);
}

// A launch Paddock itself refuses: the sentence is the whole reason, since the errno value's
// text ("Invalid argument") would not say what is wrong.
[[noreturn]] void refuse(const std::string &sentence, int error)
{
    throw LaunchError(sentence, error, sentence);
}

} // namespace

std::shared_ptr<Task> Task::create()
{
    return std::shared_ptr<Task>(new Task());
}

Task::~Task() = default;

void Task::launch()
{
    // Whatever happens, the launcher's copies of the write ends go: a launched child has
    // its own, and a failed launch must not leave them open (nor a read end that never ends).
    struct CloseWriteEnds {
        Task *task;
        ~CloseWriteEnds()
        {
            if (task->m_standardOutput)
                task->m_standardOutput->closeWriteEnd();
            if (task->m_standardError)
                task->m_standardError->closeWriteEnd();
            if (task->m_standardInput)
                task->m_standardInput->closeReadEnd();
        }
    } closeWriteEnds{this};

    if (m_launchTried)
        refuse("The server process was already started once", EALREADY);
    m_launchTried = true;

    if (m_launchPath.empty())
        refuse("No server executable is set", ENOENT);
    // An argument is passed as a C string: a NUL byte would silently cut it short, and the
    // server would write its database under another name than the one recorded.
    for (const std::string &argument : m_arguments)
        if (argument.find('\0') != std::string::npos)
            refuse("An argument for the server contains a NUL byte", EINVAL);

    // Standard input is /dev/null: a server reading the launcher's terminal would be stopped
    // by SIGTTIN, and a stop would then wait forever. Its own process group keeps a Ctrl+C or
    // hang-up aimed at a launcher started from a terminal away from the server, and SIGPIPE
    // ignored lets a server outliving the launcher get EPIPE on its writes instead of dying
    // before it can save.
    SpawnOptions options;
    options.program = m_launchPath;
    options.arguments = m_arguments;
    options.workingFolder = m_currentDirectory;
    // Unless the user is to type to the server (its emergency mode).
    options.standardInput = m_standardInput && m_standardInput->readDescriptor() >= 0
                                ? ChildStream::from(m_standardInput->readDescriptor())
                                : ChildStream::devNull();
    const auto writeEndOf = [](const std::shared_ptr<Pipe> &pipe) {
        return pipe && pipe->writeDescriptor() >= 0 ? ChildStream::from(pipe->writeDescriptor())
                                                    : ChildStream::inherited();
    };
    options.standardOutput = writeEndOf(m_standardOutput);
    options.standardError = writeEndOf(m_standardError);
    options.sigpipeIgnored = true;

    pid_t pid = 0;
    try {
        pid = spawnProcess(options);
    } catch (const SpawnError &e) {
        switch (e.step()) {
        case SpawnError::Step::WorkingFolder:
            fail("Cannot use the database's folder \"" + m_currentDirectory + "\"", e.error());
        case SpawnError::Step::Prepare:
            fail("Cannot prepare the server process", e.error());
        case SpawnError::Step::Start:
            break;
        }
        fail("Cannot start the server \"" + m_launchPath + "\"", e.error());
    }

    // Unless something else reaps our children, the id stays ours until we wait for it;
    // from now on everything goes through the pidfd, kept above 2 like every descriptor the
    // launcher holds, so that reopening a closed standard descriptor cannot replace it.
    UniqueFd pidfd(pidfdOpen(pid));
    int error = pidfd ? 0 : errno;
    if (error == ESRCH) {
        // Already ended and reaped by something else (the launcher ignores SIGCHLD): it
        // did start, and its end is reported from the event loop like any other.
        m_pid = pid;
        m_selfWhileRunning = shared_from_this();
        QMetaObject::invokeMethod(
            this, [this] { ended(TerminationReason::Unknown, 0); }, Qt::QueuedConnection);
        return;
    }
    if (pidfd) {
        try {
            pidfd = aboveStandardDescriptors(std::move(pidfd));
        } catch (const std::system_error &e) {
            error = e.code().value();
        }
    }
    if (error != 0) {
        ::kill(pid, SIGKILL); // never started for us: we could neither watch nor stop it
        siginfo_t info;
        retryOnInterrupt([&] { return ::waitid(P_PID, id_t(pid), &info, WEXITED); });
        fail("Cannot watch the server process", error);
    }
    m_pid = pid;
    m_pidfd = std::move(pidfd);
    watchExit();
}

std::shared_ptr<Task> Task::adopt(int pid, std::uint64_t expectedStartTime, uid_t expectedUid,
                                  const std::string &expectedExecutable, std::string *whyNot)
{
    const std::string process = "The process " + std::to_string(pid);
    auto refuse = [whyNot](std::string why) {
        if (whyNot)
            *whyNot = std::move(why);
        return std::shared_ptr<Task>();
    };
    if (pid <= 0)
        return refuse("No process is recorded");
    UniqueFd pidfd(pidfdOpen(pid));
    if (!pidfd)
        return refuse(errno == ESRCH ? process + " has ended"
                                     : "Cannot watch the process " + std::to_string(pid) + ": " +
                                           errorText(errno));
    // /proc is read by PID, so first the pidfd, then /proc, then proof that the pidfd's
    // process still holds the PID (not yet reaped): only then did /proc describe it.
    const std::optional<std::uint64_t> startTime = processStartTime(pid);
    const std::optional<uid_t> uid = processUid(pid);
    const std::optional<std::string> executable = processExecutable(pid);
    if (pidfdSendSignal(pidfd.get(), 0) != 0)
        return refuse(process + " has ended");
    if (!startTime || *startTime != expectedStartTime)
        return refuse(process + " is another program now: it started at another time");
    if (!uid || *uid != expectedUid)
        return refuse(process + " belongs to another user");
    // A server whose executable was replaced on disk (an upgrade) still runs the old file.
    if (!executable ||
        (*executable != expectedExecutable && *executable != expectedExecutable + " (deleted)"))
        return refuse(process + " runs another executable than \"" + expectedExecutable + "\"");
    try {
        pidfd = aboveStandardDescriptors(std::move(pidfd));
    } catch (const std::system_error &e) {
        return refuse("Cannot watch the process " + std::to_string(pid) + ": " +
                      errorText(e.code().value()));
    }
    const std::shared_ptr<Task> task = create();
    task->m_launchPath = expectedExecutable;
    task->m_launchTried = true;
    task->m_adopted = true;
    task->m_pid = pid;
    task->m_pidfd = std::move(pidfd);
    task->watchExit();
    return task;
}

void Task::watchExit()
{
    m_exitNotifier = new QSocketNotifier(qintptr(m_pidfd.get()), QSocketNotifier::Read, this);
    connect(m_exitNotifier, &QSocketNotifier::activated, this, &Task::onPidfdReadable);
    m_selfWhileRunning = shared_from_this();
}

bool Task::sendSignal(int signal)
{
    if (!isRunning() || !m_pidfd)
        return false;
    return pidfdSendSignal(m_pidfd.get(), signal) == 0;
}

void Task::onPidfdReadable()
{
    // Not our child: waitid could only say ECHILD, or, for a child of ours adopted a second
    // time, reap it from under the task that launched it.
    if (m_adopted) {
        ended(TerminationReason::Unknown, 0);
        return;
    }
    siginfo_t info = {};
    const int rc = retryOnInterrupt(
        [&] { return ::waitid(P_PIDFD, id_t(m_pidfd.get()), &info, WEXITED | WNOHANG); });
    if (rc != 0) {
        // ECHILD: something else reaped the child (with SIGCHLD ignored the kernel does).
        // The pidfd stays readable for good and no failure here goes away, so this is the
        // end, its status lost; returning would spin the event loop.
        qCWarning(lcProcess, "Cannot collect the exit status of process %d: %s", int(m_pid),
                  errorText(errno).c_str());
        ended(TerminationReason::Unknown, 0);
        return;
    }
    if (info.si_pid == 0)
        return; // not ended yet after all
    ended(info.si_code == CLD_EXITED ? TerminationReason::Exit : TerminationReason::UncaughtSignal,
          info.si_status);
}

void Task::ended(TerminationReason reason, int status)
{
    m_exited = true;
    m_reason = reason;
    m_status = status;
    // The child is reaped: its id may now be reused, so drop the pidfd and with it any
    // chance of signalling a stranger.
    delete m_exitNotifier;
    m_exitNotifier = nullptr;
    m_pidfd.reset();

    const std::shared_ptr<Task> self = std::move(m_selfWhileRunning);
    NotificationCenter::defaultCenter().post(Notification{TaskDidTerminateNotification, self, {}});
}

bool Task::waitUntilExit()
{
    if (!isRunning())
        return true;
    const std::shared_ptr<Task> self = shared_from_this();
    QEventLoop loop;
    NotificationCenter &center = NotificationCenter::defaultCenter();
    center.addObserver(
        &loop, [&loop](const Notification &) { loop.quit(); }, TaskDidTerminateNotification, self);
    // QCoreApplication::exit() ends every running loop, ours too: then we report that the
    // child is still running instead of waiting past the application's end.
    loop.exec();
    center.removeObserver(&loop);
    return !isRunning();
}

} // namespace paddock

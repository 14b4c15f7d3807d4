// SPDX-License-Identifier: MIT
#include "ServerLife.h"

#include "LaunchError.h"
#include "MooController.h"
#include "OutputDatabase.h"
#include "ServerLogLines.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <exception>
#include <sys/stat.h>

namespace paddock {

using std::chrono::milliseconds;

namespace {

// The user's own starts report a refusal as a failed launch, which the window shows.
void throwRefusal(const QString &refusal)
{
    if (!refusal.isEmpty())
        throw LaunchError(refusal.toLocal8Bit().toStdString(), 0,
                          refusal.toLocal8Bit().toStdString());
}

} // namespace

ServerLife::ServerLife(MooController &controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_graceTimer(this)
    , m_checkpointTimer(this)
    , m_restartTimer(this)
    , m_countdownTicker(this)
{
    m_graceTimer.setSingleShot(true);
    m_graceTimer.setInterval(milliseconds(5000));
    connect(&m_graceTimer, &QTimer::timeout, this, [this] {
        if (m_state == State::Stopping)
            setState(State::StopTakingLong);
    });
    m_checkpointTimer.setSingleShot(true);
    m_checkpointTimer.setInterval(milliseconds(60000));
    connect(&m_checkpointTimer, &QTimer::timeout, this,
            [this] { setCheckpointVerdict(CheckpointVerdict::NotReported); });
    m_restartTimer.setSingleShot(true);
    connect(&m_restartTimer, &QTimer::timeout, this, &ServerLife::restart);
    m_countdownTicker.setInterval(milliseconds(1000));
    connect(&m_countdownTicker, &QTimer::timeout, this, &ServerLife::changed);

    connect(&controller, &MooController::runStarted, this, &ServerLife::beginRun);
    connect(&controller, &MooController::launchFailed, this,
            [this](const QString &, const QString &reason) { onLaunchFailed(reason); });
    if (Run *run = controller.run(); run && run->isRunning())
        beginRun(*run);
}

ServerLife::~ServerLife() = default;

void ServerLife::setStopGracePeriod(milliseconds period)
{
    m_graceTimer.setInterval(period);
}

void ServerLife::setCheckpointTimeout(milliseconds timeout)
{
    m_checkpointTimer.setInterval(timeout);
}

bool ServerLife::restartWanted() const
{
    const UserDefaultsController *prefs = m_controller.prefsController();
    if (!prefs)
        return false;
    return prefs->defaults().boolForKey(MOORestartAfterCrash);
}

Task::TerminationReason ServerLife::terminationReason() const
{
    return m_run ? m_run->terminationReason() : Task::TerminationReason::None;
}

int ServerLife::terminationStatus() const
{
    return m_run ? m_run->terminationStatus() : 0;
}

const std::string &ServerLife::runInput() const
{
    static const std::string none;
    return m_run ? m_run->input() : none;
}

const std::string &ServerLife::runOutputPath() const
{
    static const std::string none;
    return m_run ? m_run->outputPath() : none;
}

std::chrono::system_clock::time_point ServerLife::runStartedAt() const
{
    return m_run ? m_run->startedAt() : std::chrono::system_clock::time_point();
}

bool ServerLife::endedWithFinalDump() const
{
    return m_state == State::Ended && m_end == ServerEnd::Stopped &&
           terminationReason() == Task::TerminationReason::Exit && terminationStatus() == 0 &&
           outputSaved() && m_finalDumpFinished;
}

std::string ServerLife::plannedRestartDatabase() const
{
    return restartDatabase(runInput(), runOutputPath(), m_outputCheckpointed);
}

void ServerLife::setState(State state)
{
    if (state != State::WaitingToRestart) {
        m_restartTimer.stop();
        m_countdownTicker.stop();
        m_restartAt.reset();
    }
    m_state = state;
    Q_EMIT changed();
}

void ServerLife::beginRun(Run &run)
{
    if (!m_ownStart) {
        // The user started a server: what earlier runs crashed of no longer counts, and a
        // pending restart is not wanted any more.
        m_planner.reset();
        m_restartGivenUp = false;
        m_restartRefusal.clear();
        m_lastCheckpoint.reset();
        m_checkpointWarning.clear();
    }
    // Only the newest run is followed: the end of one a launch replaced says nothing of it.
    if (m_run)
        disconnect(m_run, nullptr, this, nullptr);
    m_run = &run;
    connect(&run, &Run::recognisedLines, this, [this](std::span<const RecognisedLine> lines) {
        for (const RecognisedLine &line : lines)
            onLine(line.line, line.text);
    });
    connect(&run, &Run::outputEnded, this, &ServerLife::runOutputFinished);
    connect(&run, &Run::ended, this, &ServerLife::onRunEnded);
    m_runStarted = now();
    m_outputCheckpointed = false;
    m_finalDumpFinished = false;
    m_end = ServerEnd::None;
    m_launchFailure.clear();
    m_lastErrorLine.clear();
    m_ports = run.portsAnnouncedBefore();
    m_panicFile.clear();
    if (m_checkpointVerdict == CheckpointVerdict::Waiting) {
        m_checkpointTimer.stop();
        m_checkpointVerdict = CheckpointVerdict::None;
    }
    setState(State::Running);
}

void ServerLife::onRunEnded()
{
    m_end = classifyServerEnd(terminationReason(), terminationStatus(), m_run->stopRequested(),
                              now() - m_runStarted, m_startupPeriod);
    m_graceTimer.stop();
    if (m_checkpointVerdict == CheckpointVerdict::Waiting)
        setCheckpointVerdict(CheckpointVerdict::ServerEnded);
    checkPanicFile();
    if (m_end != ServerEnd::Crashed) {
        if (m_end == ServerEnd::Stopped)
            m_planner.reset();
        setState(State::Ended);
        return;
    }
    const bool dumped = !m_panicFile.empty();
    if (!restartWanted()) {
        setState(State::Ended);
        Q_EMIT notice(Notice::Crashed, dumped ? tr("The server crashed and left a panic dump.")
                                              : tr("The server crashed."));
        return;
    }
    const SteadyClock::time_point at = now();
    const std::optional<milliseconds> delay = m_planner.crashed(at, at - m_runStarted);
    if (!delay) {
        m_restartGivenUp = true;
        setState(State::Ended);
        Q_EMIT notice(Notice::RestartGivenUp,
                      tr("The server crashed %1 times within %2 minutes; it is not "
                         "started again.")
                          .arg(m_planner.policy().crashLimit)
                          .arg(m_planner.policy().crashWindow.count() / 60000));
        return;
    }
    m_restartAt = at + *delay;
    m_restartTimer.start(*delay);
    m_countdownTicker.start();
    setState(State::WaitingToRestart);
    Q_EMIT notice(Notice::Crashed,
                  (dumped ? tr("The server crashed and left a panic dump; it starts again in %1 s.")
                          : tr("The server crashed; it starts again in %1 s."))
                      .arg(delay->count() / 1000));
}

void ServerLife::onLaunchFailed(const QString &reason)
{
    // A failed launch beside a running server leaves that server's state alone.
    if (m_run && m_run->isRunning())
        return;
    m_launchFailure = reason;
    setState(State::LaunchFailed);
}

namespace {

// When a file was last written, to the nanosecond the file system keeps: whole seconds alone
// would shrink the slack below to nothing for a file written late in a second.
std::chrono::system_clock::time_point modificationTime(const struct stat &info)
{
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(info.st_mtim.tv_sec) +
            std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

} // namespace

void ServerLife::checkPanicFile()
{
    if (!m_panicFile.empty() || !m_run || m_run->outputName().empty())
        return;
    const std::string panic = resolvedOutputPath(m_run->input(), m_run->outputName() + ".PANIC");
    struct stat info = {};
    // Only a dump written during this run: an old one is no news about this crash. A second
    // of slack for file systems that keep coarse times.
    if (::stat(panic.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        modificationTime(info) >= m_run->startedAt() - std::chrono::seconds(1))
        m_panicFile = panic;
}

void ServerLife::stop()
{
    if (m_state == State::WaitingToRestart) {
        cancelRestart();
        return;
    }
    if (m_stopping)
        return; // one wait at a time
    // The controller stops the process it holds: that of its newest run.
    const bool waits = m_run && m_run->isRunning() && m_controller.run() == m_run;
    if (waits) {
        m_stopping = true;
        m_run->setStopRequested();
        setState(State::Stopping);
        m_graceTimer.start();
    }
    m_controller.stopMoo();
    m_graceTimer.stop();
    m_stopping = false;
    // The application quit during the wait: the server runs on, and so does its state.
    if (waits && (m_state == State::Stopping || m_state == State::StopTakingLong) && m_run &&
        m_run->isRunning())
        setState(State::Running);
}

bool ServerLife::beginStop()
{
    if (m_state == State::WaitingToRestart) {
        cancelRestart();
        return false;
    }
    if (!m_run || !m_run->isRunning() || m_controller.run() != m_run)
        return false;
    // A stop under way already (the window's, waiting) is asked nothing twice.
    if (m_state == State::Stopping || m_state == State::StopTakingLong)
        return true;
    m_run->setStopRequested();
    setState(State::Stopping);
    m_graceTimer.start();
    return m_controller.askToStop();
}

bool ServerLife::forceStop()
{
    if (m_state != State::Stopping && m_state != State::StopTakingLong)
        return false;
    return m_run && m_run->isRunning() && m_run->sendSignal(SIGKILL);
}

void ServerLife::cancelRestart()
{
    if (m_state == State::WaitingToRestart)
        setState(State::Ended);
}

void ServerLife::restart()
{
    if (m_state != State::WaitingToRestart)
        return;
    const std::string db = plannedRestartDatabase();
    QString refusal;
    try {
        // Nobody may be there to ask: a restart never writes over its input on its own.
        refusal = startOn(db, false);
    } catch (const std::exception &error) {
        // Runs from a timer: nothing may be thrown into the event loop.
        m_launchFailure = QString::fromLocal8Bit(error.what());
        m_restartGivenUp = true;
        setState(State::LaunchFailed);
        // Nobody may be watching at 3 a.m.: the world is down for good now.
        Q_EMIT notice(Notice::RestartGivenUp,
                      tr("The server could not be started again: %1").arg(m_launchFailure));
        return;
    }
    if (!refusal.isEmpty()) {
        // No launch was tried, so the crash stays the state; what refused now would refuse each
        // later attempt too, so restarting stops here, saying why.
        m_restartGivenUp = true;
        m_restartRefusal = refusal;
        setState(State::Ended);
        Q_EMIT notice(Notice::RestartGivenUp,
                      tr("The server is not started again: %1").arg(refusal));
        return;
    }
    Q_EMIT notice(Notice::Restarted,
                  tr("The server was started again on \"%1\".").arg(QString::fromLocal8Bit(db)));
}

void ServerLife::startFromPanicFile()
{
    if (m_panicFile.empty() || m_state == State::Running || m_state == State::Stopping ||
        m_state == State::StopTakingLong)
        return;
    throwRefusal(startOn(m_panicFile, true));
}

void ServerLife::startAgain()
{
    if (!m_run || (m_state != State::Ended && m_state != State::LaunchFailed))
        return;
    throwRefusal(startOn(plannedRestartDatabase(), true, true));
}

QString ServerLife::startOn(const std::string &db, bool mayAsk, bool usersStart)
{
    // As at every start, the output name is formed anew from the template and checked.
    m_ownStart = !usersStart;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_ownStart};
    m_controller.setDbPath(makeString(db));
    // The same checks as the user's Start: another world's clash, its own databases, a
    // recorded server that may still run on db.
    QString refusal = m_controller.startRefusal(db);
    if (!refusal.isEmpty())
        return refusal;
    const std::string name = m_controller.formNewDbName();
    switch (m_controller.checkOutputName(db, name, mayAsk, refusal)) {
    case MooController::OutputNameVerdict::Use:
        break;
    case MooController::OutputNameVerdict::Declined:
        return {};
    case MooController::OutputNameVerdict::Refused:
        return refusal;
    }
    m_controller.setNewDbPath(makeString(name));
    m_controller.runMoo();
    return {};
}

} // namespace paddock

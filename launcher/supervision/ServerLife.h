// SPDX-License-Identifier: MIT
#pragma once

#include "Run.h"
#include "Task.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paddock {

class MooController;
struct ServerLogLine;

using SteadyClock = std::chrono::steady_clock;

/// How a server's run ended, as the administrator asks it.
enum class ServerEnd {
    None,               // still running, or never ran
    Stopped,            // it ended after the user's Stop
    ShutDownFromInside, // exit status 0 without our Stop: a wizard's shutdown
    FailedToStart,      // a non-zero exit within the first seconds
    Crashed,            // killed by a signal, or a non-zero exit later on
    Unknown,            // a server adopted from an earlier Paddock: its exit status is lost
};

/// Classifies an end: after a stop the user asked for, always Stopped (whatever the status);
/// otherwise by the termination reason, the status and how long the server ran.
ServerEnd classifyServerEnd(Task::TerminationReason reason, int status, bool stopRequested,
                            SteadyClock::duration ranFor, SteadyClock::duration startupPeriod);

/// When to start a crashed server again.
struct RestartPolicy {
    std::chrono::milliseconds firstDelay{5000};
    std::chrono::milliseconds longestDelay{5 * 60 * 1000};
    int crashLimit = 3;
    std::chrono::milliseconds crashWindow{10 * 60 * 1000};
};

/// The restart decision: the crashes seen, the doubling delay, and giving up.
class RestartPlanner final {
public:
    explicit RestartPlanner(RestartPolicy policy = {});
    /// Records a crash at `at` of a run that lasted ranFor. Returns the wait before the next
    /// start (the first delay, doubled with each crash in a row up to the longest delay; a
    /// run that lasted a whole crash window begins the row anew), or none once crashLimit
    /// crashes fell within one crash window: restarting is then given up.
    std::optional<std::chrono::milliseconds> crashed(SteadyClock::time_point at,
                                                     SteadyClock::duration ranFor);
    /// Forgets every crash: the user started or stopped the server.
    void reset();
    const RestartPolicy &policy() const { return m_policy; }

private:
    RestartPolicy m_policy;
    std::vector<SteadyClock::time_point> m_crashes;
    int m_inARow = 0;
};

/// The database a crashed run starts again from: its output (resolved path) when a
/// checkpoint of it finished during the run and the file is there, else its input. A
/// ".PANIC" file is never chosen here: that needs the user's word.
std::string restartDatabase(const std::string &input, const std::string &outputPath,
                            bool outputCheckpointed);

/// The server's life as one state, over the runs the controller announces: each run's lines
/// and its end. Stop, Force Stop, Checkpoint Now and restarts after a crash go through it; the
/// window only renders it.
class ServerLife final : public QObject {
    Q_OBJECT
public:
    enum class State {
        Idle,
        Running,
        Stopping,
        StopTakingLong,
        Ended,
        LaunchFailed,
        WaitingToRestart
    };
    /// What Checkpoint Now did at once.
    enum class CheckpointRequest { Sent, NotRunning, NotCaught, SendFailed };
    /// What became of the last Checkpoint Now.
    enum class CheckpointVerdict { None, Waiting, Finished, Failed, NotReported, ServerEnded };
    /// What deserves a desktop notification.
    enum class Notice { Crashed, Restarted, RestartGivenUp, CheckpointFailed };
    Q_ENUM(State)
    Q_ENUM(CheckpointRequest)
    Q_ENUM(CheckpointVerdict)
    Q_ENUM(Notice)
    using Now = std::function<SteadyClock::time_point()>;

    /// Follows controller, which must outlive this; picks up a run that runs already.
    explicit ServerLife(MooController &controller, QObject *parent = nullptr);
    /// Ends its notice subscriptions; a pending restart is dropped.
    ~ServerLife() override;
    Q_DISABLE_COPY_MOVE(ServerLife)

    // Tuning, for tests and for the shell: the clock, the delays and the periods.
    void setClock(Now now) { m_now = std::move(now); }
    void setRestartPolicy(const RestartPolicy &policy) { m_planner = RestartPlanner(policy); }
    void setStopGracePeriod(std::chrono::milliseconds period);
    std::chrono::milliseconds stopGracePeriod() const { return m_graceTimer.intervalAsDuration(); }
    void setCheckpointTimeout(std::chrono::milliseconds timeout);
    void setStartupPeriod(std::chrono::milliseconds period) { m_startupPeriod = period; }

    State state() const { return m_state; }
    /// How the last run ended (Ended, WaitingToRestart); None while one runs.
    ServerEnd end() const { return m_end; }
    Task::TerminationReason terminationReason() const;
    /// Exit status, or the signal's number.
    int terminationStatus() const;
    /// Why the last launch failed (LaunchFailed).
    const QString &launchFailure() const { return m_launchFailure; }
    /// The last error line the current or last run logged; empty when none.
    const QString &lastErrorLine() const { return m_lastErrorLine; }
    /// The ports the world listens on, in the order announced.
    const QList<int> &ports() const { return m_ports; }
    /// When the last checkpoint finished, on the clock; none since the user's start.
    std::optional<SteadyClock::time_point> lastCheckpoint() const { return m_lastCheckpoint; }
    /// An abandoned checkpoint or a retried dump, kept until a later checkpoint succeeds.
    const QString &checkpointWarning() const { return m_checkpointWarning; }
    /// The panic dump the last run left beside the database; empty when none.
    const std::string &panicFile() const { return m_panicFile; }
    /// When a pending restart starts (WaitingToRestart).
    std::optional<SteadyClock::time_point> restartAt() const { return m_restartAt; }
    /// Whether restarting was given up: after too many crashes, or a restart that could not
    /// start (refused by a check, or its launch failed).
    bool restartGivenUp() const { return m_restartGivenUp; }
    /// The sentence of the check that refused the last restart, which gave restarting up (the
    /// state stays at the crash: no launch was tried); empty otherwise.
    const QString &restartRefusal() const { return m_restartRefusal; }
    CheckpointVerdict checkpointVerdict() const { return m_checkpointVerdict; }
    /// The run the state describes: the database it started on, its output database (resolved
    /// against the database's folder) and when it started; empty before the first run.
    const std::string &runInput() const;
    const std::string &runOutputPath() const;
    std::chrono::system_clock::time_point runStartedAt() const;
    /// Whether the last run ended as a clean stop that saved the world: it exited with status
    /// 0 after the user's Stop, its output database was written during the run, and it logged
    /// that its final dump finished. Only then may its databases be rotated.
    bool endedWithFinalDump() const;
    /// Whether the last run's output database was written during it; judged as it ended, so
    /// archiving that renames the file later changes nothing.
    bool outputSaved() const { return m_run && m_run->outputSaved(); }
    /// Whether both output streams of the run have reached their end, so every line it
    /// logged has been seen.
    bool runOutputEnded() const { return !m_run || m_run->outputFinished(); }
    /// The database the pending restart would start from, as things stand now.
    std::string plannedRestartDatabase() const;
    /// Whether the user wants a crashed server started again (MOORestartAfterCrash).
    bool restartWanted() const;

    /// The user's Stop: marks the stop as ours, offers Force Stop after the grace period,
    /// and waits through the controller's stopMoo. While waiting to restart it cancels the
    /// restart instead.
    void stop();
    /// The user's Stop without the wait, for a stop asked from outside the window: marks the
    /// stop as ours, offers Force Stop after the grace period and asks the server to end; the
    /// state tells what follows. Returns whether a server of this life is being stopped now.
    /// While waiting to restart it cancels the restart instead.
    bool beginStop();
    /// Ends the server being stopped with SIGKILL; only while Stopping or StopTakingLong.
    /// Returns whether the signal was sent. The window asks the user first.
    bool forceStop();
    /// Asks the running server for a checkpoint (SIGUSR2), unless it does not catch the
    /// signal, which would end it. The verdict follows from its log lines.
    CheckpointRequest checkpointNow();
    /// Drops a pending restart; the state shows the crash again.
    void cancelRestart();
    /// The user's Start Again after an end: starts from the database a restart would use,
    /// as a start of the user's (crashes so far no longer count); throws LaunchError. Does
    /// nothing while a server runs or before any run.
    void startAgain();
    /// Starts from the panic dump the last run left (the user's word); throws LaunchError. An
    /// output name over the dump is asked about, as at any start of the user's.
    void startFromPanicFile();

    /// The sentence for a refused or failed Checkpoint Now; empty for Sent.
    static QString checkpointRequestText(CheckpointRequest request);
    /// The sentence for a checkpoint verdict; empty for None.
    static QString checkpointVerdictText(CheckpointVerdict verdict);

Q_SIGNALS:
    /// Anything shown changed; also once a second while a restart is counted down.
    void changed();
    /// Both output streams of the run reached their end (after the server ended, usually).
    void runOutputFinished();
    /// Something the user should hear of even when the window is hidden.
    void notice(paddock::ServerLife::Notice kind, const QString &text);

private:
    SteadyClock::time_point now() const { return m_now ? m_now() : SteadyClock::now(); }
    void setState(State state);
    void beginRun(Run &run);
    void onRunEnded();
    void onLaunchFailed(const QString &reason);
    void onLine(const ServerLogLine &line, std::string_view text);
    void setCheckpointVerdict(CheckpointVerdict verdict);
    void checkPanicFile();
    void restart();
    // Starts on db with a name formed anew, after the checks every start passes; a name over
    // the input is asked about only when mayAsk (the user's own start). A usersStart begins
    // anew: earlier crashes no longer count. Returns the sentence of a check that refused the
    // start, before any launch; empty when it launched or the user declined. Throws LaunchError
    // when the launch fails.
    QString startOn(const std::string &db, bool mayAsk, bool usersStart = false);

    MooController &m_controller;
    Now m_now;
    RestartPlanner m_planner;
    std::chrono::milliseconds m_startupPeriod{10000};
    QTimer m_graceTimer;
    QTimer m_checkpointTimer;
    QTimer m_restartTimer;
    QTimer m_countdownTicker;

    State m_state = State::Idle;
    ServerEnd m_end = ServerEnd::None;
    QString m_launchFailure;
    QString m_lastErrorLine;
    QList<int> m_ports;
    std::optional<SteadyClock::time_point> m_lastCheckpoint;
    QString m_checkpointWarning;
    std::string m_panicFile;
    std::optional<SteadyClock::time_point> m_restartAt;
    bool m_restartGivenUp = false;
    QString m_restartRefusal;
    CheckpointVerdict m_checkpointVerdict = CheckpointVerdict::None;

    // The run the state describes; the controller keeps it until the next one.
    QPointer<Run> m_run;
    SteadyClock::time_point m_runStarted; // on the clock above
    bool m_outputCheckpointed = false;
    bool m_finalDumpFinished = false; // the output's shutdown dump was logged as finished
    bool m_stopping = false;
    bool m_ownStart = false; // a restart of ours is launching: not the user's start
};

} // namespace paddock

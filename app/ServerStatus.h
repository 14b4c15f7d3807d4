// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLife.h"
#include "Task.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTime>
#include <QTimer>

#include <optional>

namespace paddock {

class MooController;
class Run;
class RunPlayers;
class ServerLife;

/// The window's own account of the server, in the words the status bar shows: Stopped,
/// running since when (with its ports and last checkpoint), stopping, launch failed, how the
/// server ended and whether it starts again. It renders the server's life as ServerLife
/// holds it, adding what only the window knows (reattaching, the keeper's warnings). Never
/// part of the log.
class ServerStatus final : public QObject {
    Q_OBJECT
public:
    /// Follows controller and life (which must outlive this) through their signals and the
    /// end of each run the controller announces; starts at "Stopped".
    ServerStatus(MooController &controller, ServerLife &life, QObject *parent = nullptr);
    ~ServerStatus() override;
    Q_DISABLE_COPY_MOVE(ServerStatus)

    /// Adds how many players are on to the running text, from players (which must outlive
    /// this), once the world listens or anyone is on.
    void followPlayers(const RunPlayers &players);
    /// The count as the status says it: "3 players on".
    static QString playersText(int count);

    QString text() const { return m_text; }
    /// The text as a screen reader gets it: the same, except that a restart's countdown is
    /// said as the time it starts at, so it does not change each second.
    QString spokenText() const { return m_spoken; }

    /// Whether the last run ended in a way that needs the user's attention (a crash, a failed
    /// start, restarting given up, no database saved, a panic dump): the window then says the
    /// whole text where it has room, and offers the ways on.
    bool endCallsForAttention() const { return m_attention; }
    /// How the run ended in a few words, for where the whole text does not fit; set while
    /// endCallsForAttention().
    QString shortText() const { return m_short; }

    /// A launch failed for reason (the operating system's sentence).
    void launchFailed(const QString &reason);
    /// The running server has not responded since since (local time); invalid: it responds.
    void setNotRespondingSince(const QDateTime &since);

    static QString runningText(int pid, QTime since);
    /// A server in its emergency mode, which reads the console's commands and opens no port.
    static QString emergencyText(int pid);
    /// A server an earlier Paddock started, held again by this one.
    static QString reattachedText(int pid, const QDateTime &started);
    /// How a server an earlier Paddock started ended: its exit status went to the system.
    static QString adoptedEndedText();
    /// A recorded server that ended while no Paddock ran.
    static QString endedWhileClosedText(int pid, const QString &logFile);
    /// How a server ended; a requested stop that ended in status 0 reads "Stopped".
    static QString endedText(Task::TerminationReason reason, int status, bool stopRequested);
    /// Added to how a server ended when it left no output database written during its run.
    static QString nothingSavedText(const std::string &outputPath);
    /// How the last run ended in the words of its end kind, from life's account of it.
    static QString endKindText(const ServerLife &life, bool adopted);

Q_SIGNALS:
    void textChanged(const QString &text);

private:
    void setText(const QString &text, const QString &spoken = {});
    /// When the pending restart starts, on the wall clock, worked out once for each restart.
    QString restartClockTime();
    /// Shows the running or ended run as life and the window's own checks have it.
    void render();
    /// render() for a run still shown running: its state while it runs and while it stops.
    void renderRunning();
    QString runningDetails() const;
    QString endDetails() const;
    void showRunning(Run &run);
    void onRunEnded();
    void onReattached(int pid, const QDateTime &started, const QString &problem);

    // What the text describes: a run (rendered anew whenever life changes) or a fixed
    // sentence (a launch failure, a server that ended while Paddock was closed).
    enum class Shown { Fixed, Running, Ended };

    MooController &m_controller;
    ServerLife &m_life;
    Shown m_shown = Shown::Fixed;
    QString m_runningBase; // "Running, PID ..." or the reattached sentence
    QString m_warnings;    // the keeper's warnings about the shown run
    bool m_endAdopted = false;
    QTimer m_minuteTicker;    // "checkpoint N min ago" ages
    QPointer<Run> m_shownRun; // the run whose state the text describes
    const RunPlayers *m_players = nullptr;
    QTime m_since;
    QDateTime m_notRespondingSince; // of the shown run; invalid while it responds
    QString m_text;
    QString m_spoken;
    QString m_short;
    bool m_attention = false;
    std::optional<SteadyClock::time_point> m_restartAt; // the restart restartClockTime() timed
    QString m_restartClockTime;
};

} // namespace paddock

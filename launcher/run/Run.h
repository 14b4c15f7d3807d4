// SPDX-License-Identifier: MIT
#pragma once

#include "ChunkLines.h"
#include "LogFileHistory.h"
#include "OutputDatabase.h"
#include "ServerLogLines.h"
#include "Task.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace paddock {

class InputPipe;
class LineCutter;
class Pipe;
struct Notification;

/// One server process's life, from its launch or adoption to its end: the process, both
/// pipes, the lines it logs, the database it runs on and its output name, when it started and
/// how it ended. The controller makes one for each launch and each adopted server and
/// announces it once; whoever follows a server subscribes to its signals.
class Run final : public QObject, public std::enable_shared_from_this<Run> {
    Q_OBJECT
public:
    /// A run of task on the database input with the output name outputName, reading what the
    /// read ends of output and error (either may be absent) deliver. Looks at the output
    /// database now, before the server can write it, and subscribes to task's end at once, so
    /// it hears of it before anyone who subscribes later.
    static std::shared_ptr<Run> create(std::shared_ptr<Task> task, std::shared_ptr<Pipe> output,
                                       std::shared_ptr<Pipe> error, std::string input,
                                       std::string outputName);
    /// Ends its subscriptions; the process runs on.
    ~Run() override;
    Q_DISABLE_COPY_MOVE(Run)

    /// Called once the process runs, before the run is announced: records when it started and
    /// keeps the run alive until its end has been delivered, whoever else lets go of it.
    void begin();

    /// The database the server started on, and its output name as given to it.
    const std::string &input() const { return m_input; }
    const std::string &outputName() const { return m_outputName; }
    /// The output database, resolved against the database's folder.
    const std::string &outputPath() const { return m_outputCheck.path(); }
    /// The log file the run's output goes to (empty when none), and where in it the run began:
    /// none when the file was not there yet, so all of it is the run's.
    const std::string &logFile() const { return m_logFile; }
    const std::optional<LogFilePosition> &logStart() const { return m_logStart; }
    void setLogFile(std::string path, std::optional<LogFilePosition> start)
    {
        m_logFile = std::move(path);
        m_logStart = start;
    }
    /// For a server taken back from an earlier Paddock, the ports it announced before, read
    /// back from its part of the log file; empty for a launch.
    const QList<int> &portsAnnouncedBefore() const { return m_portsAnnouncedBefore; }
    void setPortsAnnouncedBefore(QList<int> ports) { m_portsAnnouncedBefore = std::move(ports); }
    /// When begin() was called, by the wall clock.
    std::chrono::system_clock::time_point startedAt() const { return m_startedAt; }

    int processIdentifier() const { return m_task->processIdentifier(); }
    /// Whether the server was started by an earlier Paddock and adopted by this one.
    bool isAdopted() const { return m_task->isAdopted(); }
    bool isRunning() const { return m_task->isRunning(); }
    /// Sends signal to the server; false, sending nothing, once it has ended.
    bool sendSignal(int signal) { return m_task->sendSignal(signal); }

    /// Whether the end has been seen; the outcome below is only meaningful then.
    bool hasEnded() const { return m_ended; }
    Task::TerminationReason terminationReason() const { return m_task->terminationReason(); }
    /// Exit status, or the signal's number.
    int terminationStatus() const { return m_task->terminationStatus(); }
    /// Whether the user asked this server to stop.
    bool stopRequested() const { return m_stopRequested; }
    void setStopRequested() { m_stopRequested = true; }
    /// Whether the output database was written during the run; judged as it ended, so
    /// archiving that renames the file later changes nothing.
    bool outputSaved() const { return m_outputSaved; }
    /// Whether both streams have reached their end, so every line the server logged was seen.
    bool outputFinished() const { return !m_streamOpen[0] && !m_streamOpen[1]; }

    /// Makes the run one in the server's emergency mode, with input the write end of the
    /// server's standard input; the run owns it. Until the server says it left the mode (or
    /// ends, or stops reading), the user's lines go there.
    void setEmergencyInput(std::shared_ptr<InputPipe> input);
    /// Whether the server is in its emergency mode and reads what sendInput() sends.
    bool inEmergencyMode() const;
    /// Sends bytes to the server's standard input as they are, never blocking; false, sending
    /// nothing, when it is not in the emergency mode.
    bool sendInput(const QByteArray &bytes);
    /// The write end of the server's standard input while it is in the emergency mode.
    const std::shared_ptr<InputPipe> &emergencyInput() const { return m_emergencyInput; }

Q_SIGNALS:
    /// A chunk of output as it was read from either stream; never empty.
    void output(const QByteArray &chunk);
    /// The complete lines of one read from either stream (at least one), valid during the
    /// call. The streams are cut into lines each on its own. Told a read at a time, not a line
    /// at a time: a flood brings millions of lines, and a signal per line cost more than
    /// reading them.
    void lines(const paddock::ChunkLines &lines);
    /// The noteworthy ones among the lines that `lines` tells next, in order, each recognised
    /// once here for every follower; emitted just before `lines` tells them, and only when
    /// there are any. Views are valid during the call.
    void recognisedLines(std::span<const RecognisedLine> recognised);
    /// Both streams reached their end (after the server ended, usually).
    void outputEnded();
    /// The server ended; emitted exactly once.
    void ended();
    /// The server left its emergency mode (said so, ended or closed its input); emitted once,
    /// and only for a run in the mode. Its input is closed by then.
    void emergencyModeLeft();

private:
    Run(std::shared_ptr<Task> task, std::string input, std::string outputName);
    void follow(const std::shared_ptr<Pipe> &pipe, std::size_t stream);
    void onRead(std::size_t stream, const Notification &notification);
    void onTerminated();
    void leaveEmergencyMode();

    std::shared_ptr<Task> m_task;
    std::array<std::shared_ptr<Pipe>, 2> m_pipes;
    std::array<std::unique_ptr<LineCutter>, 2> m_cutters; // for chunks not cut where read
    std::array<bool, 2> m_streamOpen{};                   // not yet at its end
    std::string m_input;
    std::string m_outputName;
    OutputDatabaseCheck m_outputCheck;
    std::string m_logFile;
    std::optional<LogFilePosition> m_logStart;
    QList<int> m_portsAnnouncedBefore;
    std::chrono::system_clock::time_point m_startedAt;
    bool m_ended = false;
    bool m_stopRequested = false;
    bool m_outputSaved = false;
    std::shared_ptr<Run> m_selfUntilEnded;
    std::shared_ptr<InputPipe> m_emergencyInput;
};

} // namespace paddock

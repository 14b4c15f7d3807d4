// SPDX-License-Identifier: MIT
#pragma once

#include "LogFileWriter.h"
#include "LogFileOrder.h"
#include "SharedLogFile.h"
#include "LogText.h"
#include "NotificationCenter.h"
#include "Pipe.h"
#include "String.h"
#include "Task.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace paddock {

class OpenPanel;
class Run;
class Window;
struct RefusedServerRecord;

/// Context codes handed to a file chooser and back to openPanelDidEnd.
enum ChooserPurpose : int {
    executableChooser = 0,
    databaseChooser = 1,
    /// The database chooser of Start in Emergency Mode.
    emergencyDatabaseChooser = 2,
};

/// How a start runs the server: as usual, or in its emergency mode (-e), reading the user's
/// wizard commands from a pipe as its standard input before it starts the world.
enum class StartMode { Normal, Emergency };

/// Who a start may ask to accept a risk: the user, through the ConfirmRisk question, or nobody
/// (a request from another program, with no one at the window to answer): a risk that needs the
/// question then refuses the start with its sentence.
enum class StartAsking { User, Nobody };

/// The names under which each kind of chooser remembers the folder it last chose in: each
/// its own, so picking an executable elsewhere does not move the database chooser away from
/// the databases.
inline const QString ExecutableChooserIdentifier = QStringLiteral("executableChooser");
inline const QString DatabaseChooserIdentifier = QStringLiteral("databaseChooser");

/// The launcher's one controller: the server process, its output log, the chosen
/// databases and the start sequence. Everything runs on the GUI thread.
class MooController final : public QObject {
    Q_OBJECT
    Q_PROPERTY(paddock::LogTextPtr outputString READ outputString NOTIFY outputStringChanged)
    Q_PROPERTY(bool isMooRunning READ isMooRunning NOTIFY isMooRunningChanged)
    Q_PROPERTY(
        std::shared_ptr<paddock::Pipe> taskStdError READ taskStdError NOTIFY taskStdErrorChanged)
    Q_PROPERTY(std::shared_ptr<paddock::Pipe> taskStdOut READ taskStdOut NOTIFY taskStdOutChanged)
    Q_PROPERTY(std::shared_ptr<paddock::Task> task READ task NOTIFY taskChanged)
    Q_PROPERTY(paddock::String dbPath READ dbPath NOTIFY dbPathChanged)
    Q_PROPERTY(paddock::String newDbPath READ newDbPath NOTIFY newDbPathChanged)

public:
    /// Class initialisation: writes the two format defaults when absent and seeds the
    /// random generator. Runs once per process; later calls do nothing.
    static void initialize();
    /// Whether initialize() has run in this process.
    static bool isInitialized();
    /// Writes the format defaults into store where absent (an empty value is a value).
    static void writeFormatDefaults(UserDefaults &store);

    /// Runs class initialisation if needed, then sets the fresh state.
    explicit MooController(QObject *parent = nullptr);
    /// Ends every notice subscription first, then releases the held values; a running
    /// server keeps running.
    ~MooController() override;
    Q_DISABLE_COPY_MOVE(MooController)

    /// Connects the outlets; the interface owns what they point to.
    void connectOutlets(UserDefaultsController *prefsController, Window *prefsWindow,
                        Window *logWindow);
    UserDefaultsController *prefsController() const { return m_prefsController; }
    /// The settings group of the world this controller runs: its settings store's group,
    /// empty for the first world (and without a settings store).
    QString worldGroup() const;
    Window *prefsWindow() const;
    Window *logWindow() const;

    // Accessors. Object setters compare by identity: the held object again changes nothing
    // and emits nothing. Signals are emitted after the value is stored.
    LogTextPtr outputString() const { return m_outputString; }
    void setOutputString(LogTextPtr value);
    bool isMooRunning() const { return m_isMooRunning; }
    /// Stores the boolean; an absent value stores false.
    void setIsMooRunning(std::optional<bool> value);
    std::shared_ptr<Pipe> taskStdError() const { return m_taskStdError; }
    void setTaskStdError(std::shared_ptr<Pipe> value);
    std::shared_ptr<Pipe> taskStdOut() const { return m_taskStdOut; }
    void setTaskStdOut(std::shared_ptr<Pipe> value);
    std::shared_ptr<Task> task() const { return m_task; }
    void setTask(std::shared_ptr<Task> value);
    String dbPath() const { return m_dbPath; }
    void setDbPath(String value);
    String newDbPath() const { return m_newDbPath; }
    /// Also records a newly stored name under MOOLastDBName.
    void setNewDbPath(String value);

    /// Whether Start had to ask for the executable first (not published).
    bool shouldPromptForDb() const { return m_shouldPromptForDb; }
    /// The last run announced through runStarted, kept after its end until the next one; none
    /// before the first (not published).
    Run *run() const { return m_run.get(); }

    /// Forms the output name from the template and stores it through setNewDbPath.
    void determineNewDbName();
    /// The output name the template gives for dbPath now, stored nowhere (draws "%R").
    std::string formNewDbName() const;
    /// Launches the server on dbPath with newDbPath in the database's folder; in the emergency
    /// mode with a pipe as its standard input, which the run owns. Throws LaunchError;
    /// isMooRunning then keeps its value.
    void runMoo(StartMode mode = StartMode::Normal);
    void taskEndedNotification(const Notification &notification);
    /// Sends SIGTERM (to a server in its emergency mode, "quit", which saves) and waits for the
    /// exit while the event loop runs; never SIGKILL.
    void stopMoo(QObject *sender = nullptr);
    /// Asks the server to end as stopMoo does, without waiting: the run's end tells when it
    /// has. Returns false when there is no launched server to ask.
    bool askToStop();
    /// The log file of a server run on dbPath: the log file name from the settings, resolved
    /// against the database's folder; empty when the user wants no log file or no database is set.
    std::string logFilePath() const;
    /// The keeper program started beside each server: the installation's own.
    std::string keeperExecutable() const;
    /// After a launch: starts the keeper with both read ends and records the server. Never
    /// throws; a keeper that cannot start leaves the server running and emits keeperFailed.
    void startKeeper();
    /// Takes over a server that an earlier Paddock recorded and that still runs, as a launch
    /// would have left it (pipes back from its keeper, the log file's history first in the
    /// log), and emits reattached; for each recorded server that has ended emits
    /// recordedServerEnded and removes its record. Does nothing while a server runs here.
    void reattach();
    /// Opens the log file for the server being launched (none if logFilePath() is empty); the
    /// output read from now on is appended to it.
    void openLogFile();
    /// Has handle's reading thread append each chunk to the log file before its notice, and
    /// before any other work on the chunk. Only before handle's first read.
    void logWhereRead(const std::shared_ptr<FileHandle> &handle);
    /// Sets the size at which log files opened from now on rotate (0: never); meant for tests
    /// and benchmarks, not a preference.
    void setLogFileRotateSize(std::uint64_t bytes) { m_logRotateSize = bytes; }
    /// Subscribes the output reader to read completions from any sender.
    void awakeFromNib();
    void readDataNotification(const Notification &notification);

    /// Opens the database chooser, or first the executable chooser when none is set.
    void startMoo(QObject *sender = nullptr);
    /// As startMoo, for a start in the emergency mode.
    void startMooInEmergencyMode(QObject *sender = nullptr);
    /// Starts the server in its emergency mode on db, as startFromDatabase does otherwise (a
    /// failure goes to launchFailed): the end-of-run actions offer it after a failed start, a
    /// crash or restarting given up.
    bool startInEmergencyMode(const std::string &db)
    {
        return startFromDatabase(db, StartMode::Emergency);
    }
    /// Opens the executable chooser on the preferences panel, bringing the panel forward.
    void chooseURL(QObject *sender = nullptr);
    /// Brings the preferences panel to the front.
    void preferences(QObject *sender = nullptr);
    /// Opens the database chooser on the log window, suggesting the last output name.
    void promptUserToFindDb(StartMode mode = StartMode::Normal);
    /// The choosers' answer; a failed launch is reported through launchFailed, not thrown.
    void openPanelDidEnd(OpenPanel *panel, int returnCode, int contextInfo);
    /// Starts the server on db as the database chooser's answer does: db becomes dbPath, a
    /// new output name is formed and checked (a risk asked about as asking says), the server
    /// is launched. A refusal or failure is reported through launchFailed, never thrown;
    /// returns whether the server runs.
    bool startFromDatabase(const std::string &db, StartMode mode = StartMode::Normal,
                           StartAsking asking = StartAsking::User);
    /// Looks at each database a start is asked for before the launch; a non-empty answer
    /// refuses the start with that sentence. Empty (the default) looks at nothing.
    using BeforeStart = std::function<std::string(const std::string &db)>;
    void setBeforeStart(BeforeStart check) { m_beforeStart = std::move(check); }
    /// The checks every start of a server on db passes first, whoever starts it (the user, a
    /// restart): the BeforeStart check, then a recorded server that may still run on db.
    /// Returns the sentence of the first that refuses; empty when none does.
    QString startRefusal(const std::string &db);
    /// Asks the user whether a start may take a risk: question is the sentence, detail what
    /// could go wrong; returns whether to go ahead. It may run a modal event loop.
    using ConfirmRisk = std::function<bool(const QString &question, const QString &detail)>;
    /// Sets who is asked; with nobody (the default) a start that needs a confirmation is
    /// refused.
    void setConfirmRisk(ConfirmRisk confirm) { m_confirmRisk = std::move(confirm); }
    const ConfirmRisk &confirmRisk() const { return m_confirmRisk; }
    /// What a start does with an output name.
    enum class OutputNameVerdict { Use, Declined, Refused };
    /// Checks name as the output of a start on db. A name that cannot work is Refused, with
    /// refusal saying why. A name that writes over the input is asked about when mayAsk and a
    /// ConfirmRisk is set, and Refused otherwise; Declined when the user said no, or when a
    /// server was started while the question was open.
    OutputNameVerdict checkOutputName(const std::string &db, const std::string &name, bool mayAsk,
                                      QString &refusal);

Q_SIGNALS:
    void outputStringChanged();
    void isMooRunningChanged(bool running);
    void taskStdErrorChanged();
    void taskStdOutChanged();
    void taskChanged();
    void dbPathChanged();
    void newDbPathChanged();
    /// A server runs now, launched or adopted: run follows it to its end. Emitted once per run,
    /// once the fields describe it; a server this one replaced goes on in its own run.
    void runStarted(paddock::Run &run);
    /// A launch begun from the database chooser failed: message is the whole sentence,
    /// reason the system's part. The chooser's answer comes from the dialog, not from an
    /// action, so the failure cannot be thrown to the shell.
    void launchFailed(const QString &message, const QString &reason);
    /// The server runs, but no keeper holds its output for after Paddock: reason says why.
    void keeperFailed(const QString &reason);
    /// The running server could not be recorded for a later Paddock: reason says why.
    void serverNotRecorded(const QString &reason);
    /// A server an earlier Paddock started is held now; problem, if not empty, says what of
    /// its output could not be taken back.
    void reattached(int pid, const QDateTime &started, const QString &problem);
    /// A recorded server ended while no Paddock ran; its output is in logFile.
    void recordedServerEnded(int pid, const QString &logFile);
    /// The log file cannot be written (sent once per log file): message says so and that the
    /// log goes on in memory only. The server runs on.
    void logFileFailed(const QString &message);
    /// The server just launched writes its own log (-l) to Paddock's log file: warning says
    /// what follows and what to do. The server runs on.
    void logFileShared(const QString &warning);
    /// Server records an earlier Paddock left that this one does not act on: one sentence for
    /// each, saying what it is, why it is not trusted and what to do.
    void recordsRefused(const QStringList &sentences);

private:
    /// The sentence for a record reattach refuses, naming the server it may still describe.
    static QString refusedRecordText(const RefusedServerRecord &refused);
    /// Why a Start on db is refused: a record not trusted names a server on db that may still
    /// run. Empty when none does.
    QString recordedServerRefusal(const std::string &db) const;
    /// The warning for a server whose arguments give it its own log file at Paddock's log
    /// file; empty when they do not.
    QString logFileSharedWarning(const std::vector<std::string> &arguments) const;
    /// Appends chunk to the window's log, which keeps it as the log file has it (appended).
    void appendToLog(const QByteArray &chunk, const SharedLogFile::Appended &appended);
    /// Opens the database chooser for a start in mode, or first the executable chooser.
    void beginStart(StartMode mode);
    /// Makes run the current one and announces it.
    void announceRun(const std::shared_ptr<Run> &run);
    void reportLogFileFailure(int error);

    // The fields, in their declared order.
    QPointer<UserDefaultsController> m_prefsController;
    QPointer<Window> m_prefsWindow;
    QPointer<Window> m_logWindow;
    LogTextPtr m_outputString;
    bool m_isMooRunning = false;
    std::shared_ptr<Pipe> m_taskStdError;
    std::shared_ptr<Pipe> m_taskStdOut;
    std::shared_ptr<Task> m_task;
    String m_dbPath;
    String m_newDbPath;
    bool m_shouldPromptForDb = false;
    StartMode m_promptMode = StartMode::Normal; // the start that waits for the executable
    std::shared_ptr<Run> m_run;
    std::vector<std::shared_ptr<Run>> m_replacedRuns; // until their output has ended
    BeforeStart m_beforeStart;
    ConfirmRisk m_confirmRisk;
    // The log file of the current server, not published; its servers' reading threads write it.
    std::shared_ptr<SharedLogFile> m_logFile = std::make_shared<SharedLogFile>();
    LogFileOrder m_logOrder; // the window's log takes the chunks in the log file's order
    std::uint64_t m_logRotateSize = LogFileWriter::DefaultRotateSize;
    qsizetype m_scrollbackBytes = qsizetype(256) << 20;
};

} // namespace paddock

Q_DECLARE_METATYPE(paddock::LogTextPtr)
Q_DECLARE_METATYPE(std::shared_ptr<paddock::Pipe>)
Q_DECLARE_METATYPE(std::shared_ptr<paddock::Task>)
Q_DECLARE_METATYPE(paddock::String)

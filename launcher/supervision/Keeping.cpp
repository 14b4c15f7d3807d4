// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "DescriptorIo.h"
#include "EmergencyMode.h"
#include "InputPipe.h"
#include "KeeperClient.h"
#include "KeeperLocation.h"
#include "LogFileHistory.h"
#include "LogFileOwnership.h"
#include "PrivateFolder.h"
#include "ProcessInfo.h"
#include "ProcessSpawn.h"
#include "ProcessStartTime.h"
#include "ReadEndClaims.h"
#include "Run.h"
#include "ServerLogLines.h"
#include "ServerRecord.h"
#include "SystemError.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

namespace {

// How much of a server's part of the log file is read back for the ports it announced: they
// come once its database is loaded, near the start. Read on the event loop, so bounded.
constexpr std::uint64_t AnnouncedPortsLimit = 8ull << 20;

// The ports the listening lines of history announce, in order, each once.
QList<int> portsAnnouncedIn(std::string_view history)
{
    QList<int> ports;
    LineAssembler assembler;
    assembler.push(history, [&ports](std::string_view line) {
        if (!mayBeRecognised(line))
            return;
        const ServerLogLine recognised = recogniseServerLogLine(line);
        if (recognised.kind == ServerLogKind::Listening && !ports.contains(recognised.port))
            ports.append(recognised.port);
    });
    return ports;
}

// Spawns the keeper in a session of its own with the two read ends as its descriptors 3 and 4,
// the server's input (if any, to hold) as 5, and /dev/null on 0, 1 and 2 (it reports
// nothing). Returns its PID; throws SpawnError.
pid_t spawnKeeper(const std::string &keeper, std::vector<std::string> arguments, int output,
                  int error, int input)
{
    SpawnOptions options;
    options.program = keeper;
    options.passedDescriptors = {output, error};
    if (input >= 0) {
        options.passedDescriptors.push_back(input);
        arguments.push_back("--stdin-fd=5");
    }
    options.arguments = std::move(arguments);
    options.newSession = true;
    return spawnProcess(options);
}

// Watches one run's end to remove its server's record, and reaps the keeper when it is this
// process's child.
class KeeperWatch final : public QObject {
public:
    KeeperWatch(QObject *parent, Run &server, std::string recordFolder, pid_t keeperChild)
        : QObject(parent)
        , m_recordFolder(std::move(recordFolder))
        , m_serverPid(server.processIdentifier())
        , m_keeperChild(keeperChild)
    {
        // The run lasts until its end has been delivered, so the watch hears of it.
        connect(&server, &Run::ended, this, &KeeperWatch::serverEnded);
        if (m_keeperChild <= 0)
            return;
        // Our child until reaped, so its PID cannot be reused before the pidfd is open.
        // Above 2: a launcher started with 0, 1 or 2 closed would otherwise get it there.
        UniqueFd pidfd(pidfdOpen(m_keeperChild));
        try {
            // Above 2: a launcher started with 0, 1 or 2 closed would otherwise get it there.
            if (pidfd)
                m_keeperPidfd = aboveStandardDescriptors(std::move(pidfd));
        } catch (const std::system_error &) {
        }
        if (!m_keeperPidfd) {
            // No descriptor to be had (or the system reaped it already): look now and then
            // instead, so the keeper never stays a zombie.
            auto *poll = new QTimer(this);
            connect(poll, &QTimer::timeout, this, [this, poll] {
                if (reapKeeper())
                    poll->stop();
            });
            poll->start(250);
            return;
        }
        auto *notifier = new QSocketNotifier(m_keeperPidfd.get(), QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
            if (reapKeeper())
                notifier->setEnabled(false);
        });
    }
    ~KeeperWatch() override = default;
    Q_DISABLE_COPY_MOVE(KeeperWatch)

private:
    void serverEnded()
    {
        if (!m_recordFolder.empty())
            removeServerRecord(m_recordFolder, m_serverPid);
        m_serverDone = true;
        if (m_keeperChild <= 0)
            deleteLater();
    }

    bool reapKeeper()
    {
        int status = 0;
        const pid_t reaped =
            retryOnInterrupt([&] { return ::waitpid(m_keeperChild, &status, WNOHANG); });
        if (reaped == 0)
            return false; // not ended after all: wait for the next readiness
        m_keeperChild = 0;
        m_keeperPidfd.reset();
        if (m_serverDone)
            deleteLater();
        return true;
    }

    std::string m_recordFolder;
    pid_t m_serverPid;
    pid_t m_keeperChild;
    UniqueFd m_keeperPidfd;
    bool m_serverDone = false;
};

} // namespace

std::string MooController::keeperExecutable() const
{
    return installedKeeperPath();
}

void MooController::startKeeper()
{
    const std::shared_ptr<Task> server = task();
    if (!server || !server->isRunning() || server->isAdopted() || !m_run)
        return;
    const pid_t serverPid = server->processIdentifier();
    const std::string recordFolder = serverRecordFolder();

    ServerRecord record;
    record.serverPid = serverPid;
    record.serverStartTime = processStartTime(serverPid).value_or(0);
    record.executable = processExecutable(serverPid).value_or(std::string());
    record.database = dbPath() ? *dbPath() : std::string();
    record.outputName = newDbPath() ? *newDbPath() : std::string();
    record.logFile = m_run->logFile();
    record.logStart = m_run->logStart();
    record.world = worldGroup().toStdString();
    // With no log file wanted, what the server writes while Paddock is away still goes
    // somewhere the user can read it: a file beside the record, all of it this run's.
    if (record.logFile.empty() && !recordFolder.empty())
        record.logFile = recordFolder + "/output-" + std::to_string(serverPid) + ".log";

    QString problem;
    pid_t keeper = -1;
    // The keeper cannot say why it failed: find its socket's private folder here first.
    const PrivateSocketPath socket = keeperSocketPath(serverPid);
    const std::shared_ptr<Pipe> output = taskStdOut();
    const std::shared_ptr<Pipe> error = taskStdError();
    if (!socket.problem.empty()) {
        problem = QString::fromLocal8Bit(socket.problem);
    } else if (record.logFile.empty()) {
        problem = tr("there is no folder to keep its output in");
    } else if (!output || !error) {
        problem = tr("its output is not on pipes");
    } else {
        record.keeperSocket = socket.path;
        std::vector<std::string> arguments{
            "--launcher=" + std::to_string(::getpid()), "--server=" + std::to_string(serverPid),
            "--log=" + record.logFile, "--socket=" + record.keeperSocket};
        if (const std::string registry = defaultLogFileRegistry(); !registry.empty())
            arguments.push_back("--owned=" + registry);
        try {
            const std::shared_ptr<InputPipe> &input = m_run->emergencyInput();
            keeper = spawnKeeper(keeperExecutable(), std::move(arguments),
                                 output->fileHandleForReading()->fileDescriptor(),
                                 error->fileHandleForReading()->fileDescriptor(),
                                 input ? input->writeDescriptor() : -1);
        } catch (const SpawnError &failure) {
            problem = tr("cannot start %1: %2")
                          .arg(QString::fromLocal8Bit(keeperExecutable()),
                               QString::fromLocal8Bit(errorText(failure.error())));
            record.keeperSocket.clear();
        }
    }
    record.keeperPid = keeper > 0 ? keeper : 0;

    QString notRecorded;
    if (recordFolder.empty())
        notRecorded = tr("neither XDG_STATE_HOME nor HOME is set");
    else if (record.serverStartTime == 0)
        notRecorded = tr("its start time cannot be read");
    else
        notRecorded = QString::fromLocal8Bit(writeServerRecord(recordFolder, record));
    // Owned by the application, not the controller: a keeper outlives the controller that
    // started it, and must still be reaped and its server's record removed.
    new KeeperWatch(QCoreApplication::instance(), *m_run, recordFolder, keeper);
    if (!problem.isEmpty())
        Q_EMIT keeperFailed(problem);
    if (!notRecorded.isEmpty())
        Q_EMIT serverNotRecorded(notRecorded);
}

void MooController::reattach()
{
    const std::string folder = serverRecordFolder();
    if (folder.empty())
        return;
    const ServerRecords found = readServerRecords(folder);
    const std::string world = worldGroup().toStdString();
    for (const ServerRecord &record : found.records) {
        // Each world takes back its own servers; the others' stay for their controllers.
        if (record.world != world)
            continue;
        // One server at a time: the others stay recorded for a later Paddock.
        if (m_task && m_task->isRunning())
            break;
        // Adopted first, so the pipes are taken from the keeper only for a server that is ours.
        const std::shared_ptr<Task> server = Task::adopt(record.serverPid, record.serverStartTime,
                                                         ::getuid(), record.executable, nullptr);
        if (!server || !server->isRunning()) {
            // Gone, or its PID now names another process: nothing is signalled, the record goes.
            removeServerRecord(folder, record.serverPid);
            Q_EMIT recordedServerEnded(int(record.serverPid),
                                       QString::fromLocal8Bit(record.logFile));
            continue;
        }

        KeeperHandBack handBack;
        const int reclaimed = record.keeperSocket.empty()
                                  ? ENOENT
                                  : reclaimPipes(record.keeperSocket, record.keeperPid, 5000, handBack);
        QString problem;
        std::shared_ptr<Pipe> output, error;
        if (reclaimed == 0) {
            output = Pipe::adopt(std::move(handBack.standardOutput));
            error = Pipe::adopt(std::move(handBack.standardError));
            for (const std::shared_ptr<Pipe> &pipe : {output, error})
                if (pipe)
                    ReadEndClaims::claim(pipe->fileHandleForReading(), this);
            if (handBack.bytesLost > 0)
                problem = tr("%1 bytes of its output could not be written to the log file: %2")
                              .arg(handBack.bytesLost)
                              .arg(QString::fromLocal8Bit(errorText(handBack.logError)));
        } else {
            problem = tr("its output cannot be taken back from its keeper: %1")
                          .arg(QString::fromLocal8Bit(errorText(reclaimed)));
        }

        // What the server writes from now on goes on into the log file; its history goes into
        // the log before it.
        setDbPath(makeString(record.database));
        openLogFile();
        std::string history;
        if (!record.logFile.empty()) {
            history = readLogFileTail(record.logFile, std::uint64_t(m_scrollbackBytes));
            if (!history.empty()) {
                const LogTextPtr log = outputString() ? outputString() : LogText::create();
                setOutputString(log->appending(history, LogKeeping{m_scrollbackBytes, nullptr, 0}));
            }
        }
        // Made before the controller subscribes to the end, so the run hears of it first, as
        // after a launch.
        const std::shared_ptr<Run> run =
            Run::create(server, output, error, record.database, record.outputName);
        // A server started in its emergency mode reads the user's commands again, unless its
        // output says it has left the mode.
        if (handBack.standardInput && !emergencyModeLeftIn(history))
            run->setEmergencyInput(InputPipe::adopt(std::move(handBack.standardInput)));
        run->setLogFile(record.logFile, record.logStart);
        if (!record.logFile.empty())
            run->setPortsAnnouncedBefore(portsAnnouncedIn(
                readLogFileHead(record.logFile, AnnouncedPortsLimit, record.logStart)));
        setTaskStdError(error);
        setTaskStdOut(output);
        NotificationCenter::defaultCenter().addObserver(
            this, [this](const Notification &n) { taskEndedNotification(n); },
            TaskDidTerminateNotification, server);
        setNewDbPath(makeString(record.outputName));
        setTask(server);
        std::vector<std::shared_ptr<FileHandle>> readEnds;
        for (const std::shared_ptr<Pipe> &pipe : {error, output}) {
            if (pipe) {
                logWhereRead(pipe->fileHandleForReading());
                readEnds.push_back(pipe->fileHandleForReading());
            }
        }
        // One thread reads both, so the log file and the window see them in one order; with no
        // descriptor left for it, each reads alone, or says why it cannot.
        try {
            FileHandle::readTogether(readEnds);
        } catch (const std::system_error &) {
        }
        for (const std::shared_ptr<FileHandle> &readEnd : readEnds)
            readEnd->readInBackgroundAndNotify();
        setIsMooRunning(true);
        announceRun(run);
        new KeeperWatch(QCoreApplication::instance(), *run, folder, 0);
        Q_EMIT reattached(int(record.serverPid), processStartDateTime(record.serverStartTime),
                          problem);
    }
    // Said after the server taken back, so the window shows both; once, by the first world,
    // since a record that cannot be trusted cannot say whose it is either.
    if (!world.empty())
        return;
    QStringList refused;
    for (const RefusedServerRecord &record : found.refused)
        refused.append(refusedRecordText(record));
    if (!refused.isEmpty())
        Q_EMIT recordsRefused(refused);
}

} // namespace paddock

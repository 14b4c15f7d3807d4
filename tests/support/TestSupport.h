// SPDX-License-Identifier: MIT
#pragma once

#include "FileHandle.h"
#include "LogText.h"
#include "MooController.h"
#include "UniqueFd.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <vector>

namespace paddock::test {

/// Gives the test program its own settings folder and the offscreen platform; must be
/// made before the application object.
class TestEnvironment final {
public:
    TestEnvironment();
    ~TestEnvironment();
    const QString &configHome() const { return m_configHome; }

private:
    QString m_configHome;
};

/// Bytes as a view, and back; the view is valid while bytes is.
inline std::string_view viewOf(const QByteArray &bytes)
{
    return {bytes.constData(), size_t(bytes.size())};
}
inline QByteArray bytesOf(std::string_view view)
{
    return {view.data(), qsizetype(view.size())};
}

/// A path in the operating system's bytes as Qt names it, and back.
QString qtPath(const std::string &path);
std::string osPath(const QString &path);
/// The bytes of the file at path, or "<missing>" when it cannot be read.
QByteArray readFile(const std::string &path);
QByteArray readFile(const QString &path);
/// Writes bytes as the whole file at path, giving it modified as its time when that is valid;
/// returns whether all of it was written.
[[nodiscard]] bool writeFile(const std::string &path, const QByteArray &bytes,
                             const QDateTime &modified = {});
[[nodiscard]] bool writeFile(const QString &path, const QByteArray &bytes,
                             const QDateTime &modified = {});
/// The names in folder, hidden ones too, sorted by their bytes; none when it cannot be read.
std::vector<std::string> fileNamesIn(const std::string &folder);
/// Removes path and all below it, whatever bytes the names hold (QDir cannot when they are
/// not UTF-8).
void removeTree(const std::string &path);

/// The stand-in server's path, as the build put it.
std::string standInServerPath();

/// Writes a database whose contents are script into folder/name; returns its full path.
std::string writeDatabase(const QString &folder, const std::string &name,
                          const std::string &script);

/// What the stand-in reported receiving: its argument count, two arguments and folder.
struct StandInReceived {
    int argc = 0;
    std::string db, out, cwd;
};
/// Finds the stand-in's report of what it received in a log; none if it is not there.
std::optional<StandInReceived> receivedByStandIn(const std::string &log);

/// Whether text holds part.
inline bool contains(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

/// The controller's whole log as bytes.
std::string logOf(const MooController &controller);

/// Reads from a connection to the loopback interface at port until it has want bytes, it
/// ends, or the deadline passes; returns what came. Connects first unless connection is open.
QByteArray readFromLoopback(UniqueFd &connection, int port, qsizetype want, int deadlineMs);

/// The bytes the stand-in's flood writes: 100-byte numbered lines in repeated 64 KiB blocks.
std::string expectedFlood(size_t bytes);

/// Counts the termination notices of one task from its construction on.
class TerminationWatch final {
public:
    explicit TerminationWatch(const std::shared_ptr<Task> &task);
    ~TerminationWatch();
    Q_DISABLE_COPY_MOVE(TerminationWatch)
    int count() const { return m_count; }
    /// Waits up to timeoutMs for a notice unless one came already; true once one has.
    bool wait(int timeoutMs = 10000);

private:
    int m_count = 0;
};

/// Kills each task whose child still runs and waits until it has been reaped.
void reapTasks(const QList<std::shared_ptr<Task>> &tasks);
/// Ends each controller's server and waits (10 s at most) until its output has been read to its
/// end, so that nothing of the run is still reading when the test's Paddock goes. False when
/// one is still open at the deadline.
bool endRuns(const QList<const MooController *> &controllers);

/// Kills and reaps every child of this process, also orphans it adopted as a subreaper, so
/// a test starts with none.
void reapChildren();

/// Sets the disposition of signal for this object's life and puts the earlier one back.
class SignalDisposition final {
public:
    SignalDisposition(int signal, void (*handler)(int));
    ~SignalDisposition();
    Q_DISABLE_COPY_MOVE(SignalDisposition)

private:
    int m_signal;
    struct sigaction m_previous = {};
};

/// Limits the size of the files this process writes for this object's life, SIGXFSZ ignored:
/// a write past bytes fails with EFBIG, as on a disk that has just filled up.
class FileSizeLimit final {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

private:
    SignalDisposition m_ignored;
    struct rlimit m_previous = {};
};

/// Limits this process's address space for this object's life to what it maps now and
/// headroom more: a larger mapping fails, as when memory runs out.
class AddressSpaceLimit final {
public:
    explicit AddressSpaceLimit(rlim_t headroom);
    ~AddressSpaceLimit();
    Q_DISABLE_COPY_MOVE(AddressSpaceLimit)

private:
    struct rlimit m_previous = {};
};

/// The objects among roots, and all their children, that have a timer running (a QTimer
/// child, or a timer of their own), as "Class of ParentClass"; empty when none would wake the
/// loop.
QStringList objectsWithRunningTimers(const QList<QObject *> &roots);

/// Bytes that differ from their neighbours for a long stretch, so a slice out of place shows.
std::string patterned(std::size_t size, std::size_t salt = 0);

/// A log text of bytes, written through a log file in folder as a server's output is: all but
/// the newest few MiB (LogText::FileBackedMemory) are read back from the file. Each text as it
/// grows by a chunk goes to eachChunk, if given.
LogTextPtr loggedThroughFile(const QString &folder, std::string_view bytes,
                             const std::function<void(const LogTextPtr &)> &eachChunk = {});

/// Whether a process exists and has not ended (a zombie has ended).
bool isProcessAlive(int pid);

/// Starts launcher (a program that runs a real controller) on db, with the more arguments
/// after the database, then kills it with SIGKILL; returns the server's PID, which runs on
/// with its keeper as an earlier Paddock left it, or 0. With loggedFirst, the kill waits until
/// the log file beside db holds that text: what a killed launcher had read but not yet written
/// is lost with it, and a test about what comes after must not depend on that moment.
int launchInAnotherProcessAndKillIt(const QString &launcher, const std::string &db,
                                    const QStringList &more = {},
                                    const QByteArray &loggedFirst = {});

/// How a program run by runServing ended (status -1: not by exiting) and what it printed.
struct ProgramAnswer {
    int status = -1;
    QByteArray out, err;
};
/// Runs program with arguments while this thread's event loop keeps running, so that this
/// process can answer it (a Paddock's socket); kills it after 60 s.
ProgramAnswer runServing(const QString &program, const QStringList &arguments);

/// How many descriptors this process has open right now.
int openDescriptorCount();
/// The process ids of this process's children that have not been reaped.
QList<int> childProcesses();

/// A controller with its own settings store, its outlets connected (no windows) and its
/// output reader subscribed; the executable set to the stand-in server.
class ControllerFixture final {
public:
    ControllerFixture();
    ~ControllerFixture();

    MooController &controller() { return *m_controller; }
    UserDefaults &store() { return *m_store; }
    QString folder() const { return m_folder.path(); }
    /// Log text as Latin-1 bytes.
    std::string log() const;
    /// Sets dbPath to a new database with script and newDbPath to outputName, then runMoo.
    void launch(const std::string &script, const std::string &outputName = "out.db",
                const std::string &databaseName = "in.db");
    /// One launch of an idle stand-in and its stop; true if every step went as it should:
    /// running after the launch, not running after the stop, the process cleared by its end.
    bool launchAndStop();
    /// Stops any server still running (SIGKILL) and reaps it, so no test leaves a child.
    void reapAll();
    // Both streams of the last run read to their end, so its reading has let go of them.
    bool outputRead() const;

private:
    QTemporaryDir m_folder;
    std::unique_ptr<UserDefaults> m_store;
    std::unique_ptr<UserDefaultsController> m_prefs;
    std::unique_ptr<MooController> m_controller;
    QList<std::shared_ptr<Task>> m_launched;
};

} // namespace paddock::test

/// A test program's main: its own settings folder, then an Application (QCoreApplication, or
/// QApplication for programs that show widgets), then the tests.
#define PADDOCK_TEST_MAIN_WITH(Application, TestObject)                                            \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        paddock::test::TestEnvironment environment;                                                \
        Application application(argc, argv);                                                       \
        TestObject test;                                                                           \
        const int status = QTest::qExec(&test, argc, argv);                                        \
        /* As Paddock does before it exits: no reading thread runs on into the exit. */            \
        paddock::FileHandle::stopAllReading();                                                     \
        return status;                                                                             \
    }

/// The main of a test program without widgets.
#define PADDOCK_TEST_MAIN(TestObject) PADDOCK_TEST_MAIN_WITH(QCoreApplication, TestObject)

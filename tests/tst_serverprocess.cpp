// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "LaunchError.h"
#include "ProcessInfo.h"
#include "SettingsKeys.h"
#include "UniqueFd.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>

#include <csignal>
#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

namespace {

// Whether the stand-in has got as far as waiting for a stop (it then saves on SIGTERM).
bool waitsForStop(int pid)
{
    QFile wchan(QStringLiteral("/proc/%1/wchan").arg(pid));
    return wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("sigtimedwait");
}

// An idle stand-in started by a task of its own, as an earlier Paddock would have left it.
std::shared_ptr<Task> startIdleServer(const QTemporaryDir &dir)
{
    const std::shared_ptr<Task> task = Task::create();
    const std::shared_ptr<Pipe> output = Pipe::create(); // never read: the output is short
    task->setStandardOutput(output);
    task->setStandardError(output);
    task->setLaunchPath(standInServerPath());
    task->setArguments({writeDatabase(dir.path(), "in.db", ""), "out.db"});
    task->setCurrentDirectoryPath(osPath(dir.path()));
    task->launch();
    return task;
}


// A child of this process given process id pid, blocking every signal it can, so a signal
// sent to it stays pending where /proc shows it; 0 when the id cannot be had (the pid counter
// cannot be set, or another process keeps taking the id first). The caller kills and reaps it.
pid_t childWithPid(pid_t pid)
{
    for (int attempt = 0; attempt < 10; ++attempt) {
        const UniqueFd last(::open("/proc/sys/kernel/ns_last_pid", O_WRONLY | O_CLOEXEC));
        const QByteArray previous = QByteArray::number(pid - 1);
        if (!last || ::write(last.get(), previous.constData(), size_t(previous.size())) < 0)
            return 0;
        const pid_t child = ::fork();
        if (child == 0) {
            sigset_t all;
            ::sigfillset(&all);
            ::sigprocmask(SIG_BLOCK, &all, nullptr);
            for (;;)
                ::pause();
        }
        if (child == pid)
            return child;
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }
    return 0;
}

// The signals waiting for process pid, its own and its group's, as a mask.
quint64 pendingSignals(pid_t pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    quint64 mask = 0;
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("SigPnd:") || line.startsWith("ShdPnd:"))
                mask |= line.mid(7).trimmed().toULongLong(nullptr, 16);
    return mask;
}

} // namespace

class tst_ServerProcess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void launch_passesArgumentsBytewiseInDatabaseFolder_data();
    void launch_passesArgumentsBytewiseInDatabaseFolder();
    void serverExitsAtOnce_isSeenAndGoesIdle();
    void stop_whileIdle_doesNothing();
    void secondLaunch_replacesServerAndReapsTheFirst();
    void launch_failures_data();
    void launch_failures();
    void launchFailure_whileAServerRuns_keepsItRunning();
    void launch_nameWithNulByte_refusedNotCutShort();
    void child_seesOnlyStandardDescriptorsAndCleanSignals();
    void child_launcherStandardDescriptorsOdd_getsNullInputAndThePipes_data();
    void child_launcherStandardDescriptorsOdd_getsNullInputAndThePipes();
    void child_inheritsLauncherEnvironment();
    void end_reapedElsewhere_reportedWithUnknownStatus_data();
    void end_reapedElsewhere_reportedWithUnknownStatus();
    void task_releasedWhileRunning_keepsChildAndReapsIt();
    void task_signalAfterReap_sendsNothing();
    void cycles_leaveNoDescriptorsOrChildren();
    void adopt_recordMismatch_refusedAndNeverSignalled_data();
    void adopt_recordMismatch_refusedAndNeverSignalled();
    void adopt_matchingRecord_stopsThroughPidfdAndReportsUnknownEnd();
};

void tst_ServerProcess::cleanup()
{
    // Whatever a failed test left running, the next one starts without children.
    reapChildren();
}

void tst_ServerProcess::launch_passesArgumentsBytewiseInDatabaseFolder_data()
{
    QTest::addColumn<QString>("subfolder");
    QTest::addColumn<QByteArray>("databaseName");
    QTest::addColumn<QByteArray>("outputName");
    QTest::newRow("plain") << QString() << QByteArray("castle.db") << QByteArray("castle.db.new");
    QTest::newRow("spaces and quotes")
        << QStringLiteral("my worlds") << QByteArray("it's \"here\".db")
        << QByteArray("out put's.db");
    QTest::newRow("shell syntax") << QStringLiteral("$(touch pwned)")
                                  << QByteArray("`id`;$HOME|*.db")
                                  << QByteArray("$(rm -rf x) && echo");
    QTest::newRow("newline") << QString() << QByteArray("two\nlines.db") << QByteArray("a\nb");
    QTest::newRow("not utf-8") << QString() << QByteArray("w\xff\xfe\x80rld.db")
                               << QByteArray("\xc3\x28.new");
    QTest::newRow("output path") << QString() << QByteArray("castle.db") << QByteArray("./x.db");
}

void tst_ServerProcess::launch_passesArgumentsBytewiseInDatabaseFolder()
{
    QFETCH(QString, subfolder);
    QFETCH(QByteArray, databaseName);
    QFETCH(QByteArray, outputName);

    ControllerFixture fixture;
    QString folder = fixture.folder();
    if (!subfolder.isEmpty()) {
        QVERIFY(QDir(folder).mkdir(subfolder));
        folder += u'/' + subfolder;
    }
    const std::string folderBytes = QFile::encodeName(folder).toStdString();
    const std::string db = writeDatabase(folder, databaseName.toStdString(), "stdout hello\n");

    // The launcher's own folder must not matter.
    MooController &controller = fixture.controller();
    controller.setDbPath(makeString(db));
    controller.setNewDbPath(makeString(outputName.toStdString()));
    QSignalSpy running(&controller, &MooController::isMooRunningChanged);
    {
        const QString ownFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QDir::rootPath()));
        const auto backHome = qScopeGuard([&ownFolder] { QDir::setCurrent(ownFolder); });
        controller.runMoo();
    }
    QVERIFY(controller.isMooRunning());
    QCOMPARE(running.count(), 1);

    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "stand-in-server: running"), 10000);
    const auto got = receivedByStandIn(fixture.log());
    QVERIFY2(got, fixture.log().c_str());
    QCOMPARE(got->argc, 3);
    QCOMPARE(got->db, db);
    QCOMPARE(got->out, outputName.toStdString());
    QCOMPARE(got->cwd, folderBytes);

    controller.stopMoo();
    QVERIFY(!controller.isMooRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!controller.task(), 10000);
    // The server saved its database under the output name, beside its input.
    const std::string saved = folderBytes + "/" + outputName.toStdString();
    QVERIFY(::access(saved.c_str(), F_OK) == 0);
    // A shell would have run the substitution in the server's working folder.
    QVERIFY(!QFile::exists(folder + QStringLiteral("/pwned")));
}

void tst_ServerProcess::serverExitsAtOnce_isSeenAndGoesIdle()
{
    ControllerFixture fixture;
    fixture.launch("stderr going away\nexit 3\n");
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.controller().task(), 10000);
    QVERIFY(!fixture.controller().isMooRunning());
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "going away"), 10000);
}

void tst_ServerProcess::stop_whileIdle_doesNothing()
{
    ControllerFixture fixture;
    QSignalSpy running(&fixture.controller(), &MooController::isMooRunningChanged);
    fixture.controller().stopMoo();
    fixture.launch("exit 0\n");
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.controller().task(), 10000);
    fixture.controller().stopMoo(); // after the notice: nothing to stop
    QVERIFY(!fixture.controller().isMooRunning());
    QCOMPARE(running.count(), 2); // the launch and the notice, nothing else
}

void tst_ServerProcess::secondLaunch_replacesServerAndReapsTheFirst()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    fixture.launch("stdout first server\n", "first.out", "first.db");
    const std::shared_ptr<Task> first = controller.task();
    fixture.launch("stdout second server\n", "second.out", "second.db");
    const std::shared_ptr<Task> second = controller.task();
    QVERIFY(first != second);
    QVERIFY(first->isRunning());

    // The replaced server runs on unsupervised; its output still reaches the log.
    QTRY_VERIFY_WITH_TIMEOUT(
        contains(fixture.log(), "first server") && contains(fixture.log(), "second server"), 10000);
    // Its end leaves the state of the current one alone, and it is reaped.
    TerminationWatch ended(first);
    QVERIFY(first->terminate());
    QVERIFY(ended.wait(10000));
    QVERIFY(controller.isMooRunning());
    QCOMPARE(controller.task(), second);
    QVERIFY(!childProcesses().contains(first->processIdentifier()));

    controller.stopMoo();
    QVERIFY(!controller.isMooRunning());
    QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 10000);
}

void tst_ServerProcess::launch_failures_data()
{
    QTest::addColumn<QString>("executable"); // "<stand-in>" for the real one
    QTest::addColumn<bool>("removeFolder");
    QTest::addColumn<int>("expectedError");
    QTest::newRow("missing") << QStringLiteral("/nonexistent/moo") << false << ENOENT;
    QTest::newRow("not executable") << QStringLiteral("<plain file>") << false << EACCES;
    QTest::newRow("a folder") << QStringLiteral("<folder>") << false << EACCES;
    QTest::newRow("unset") << QStringLiteral("<unset>") << false << ENOENT;
    QTest::newRow("empty") << QString() << false << ENOENT;
    QTest::newRow("folder gone") << QStringLiteral("<stand-in>") << true << ENOENT;
    QTest::newRow("missing interpreter") << QStringLiteral("<script>") << false << ENOENT;
}

void tst_ServerProcess::launch_failures()
{
    QFETCH(QString, executable);
    QFETCH(bool, removeFolder);
    QFETCH(int, expectedError);

    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    QTemporaryDir other;
    std::string path = executable.toStdString();
    if (executable == u"<stand-in>") {
        path = standInServerPath();
    } else if (executable == u"<plain file>") {
        path = writeDatabase(other.path(), "moo", "just text\n");
    } else if (executable == u"<folder>") {
        path = QFile::encodeName(other.path()).toStdString();
    } else if (executable == u"<script>") {
        path = writeDatabase(other.path(), "moo.sh", "#!/nonexistent/interpreter\n");
        ::chmod(path.c_str(), 0755);
    }
    // A fresh store for the unset case: the fixture sets the stand-in.
    UserDefaults empty(osPath(other.filePath(QStringLiteral("empty.conf"))));
    UserDefaultsController emptyPrefs(empty);
    if (executable == u"<unset>")
        controller.connectOutlets(&emptyPrefs, nullptr, nullptr);
    else
        fixture.store().setString(MOOExecutableURL, path);

    QDir sub(fixture.folder() + QStringLiteral("/world"));
    QVERIFY(sub.mkpath(QStringLiteral(".")));
    controller.setDbPath(makeString(writeDatabase(sub.path(), "castle.db", "")));
    controller.setNewDbPath(makeString("castle.db.new"));
    if (removeFolder)
        QVERIFY(sub.removeRecursively());

    QCoreApplication::processEvents();
    const int descriptors = openDescriptorCount();
    QSignalSpy running(&controller, &MooController::isMooRunningChanged);
    try {
        controller.runMoo();
        QFAIL("the launch should have failed");
    } catch (const LaunchError &error) {
        QCOMPARE(error.error(), expectedError);
        QVERIFY(!error.reason().empty());
        QVERIFY2(std::string(error.what()).find(error.reason()) != std::string::npos, error.what());
    }
    QCOMPARE(running.count(), 0);
    QVERIFY(!controller.isMooRunning());
    QVERIFY(controller.task() && !controller.task()->isLaunched());

    // Stop in this state returns at once and changes nothing.
    controller.stopMoo();
    QVERIFY(controller.task());
    QCOMPARE(running.count(), 0);

    // The held pipes' read ends see their end and close: no descriptor is left behind.
    QTRY_VERIFY_WITH_TIMEOUT(openDescriptorCount() <= descriptors, 5000);
    QVERIFY(childProcesses().isEmpty());
}

void tst_ServerProcess::launchFailure_whileAServerRuns_keepsItRunning()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    fixture.launch("");
    const std::shared_ptr<Task> first = controller.task();
    const std::shared_ptr<Pipe> firstOutput = controller.taskStdOut();
    fixture.store().setString(MOOExecutableURL, "/nonexistent/moo");
    QVERIFY_THROWS_EXCEPTION(LaunchError, fixture.launch(""));
    QVERIFY(controller.isMooRunning()); // the earlier server still runs
    QCOMPARE(controller.task(), first);
    QCOMPARE(controller.taskStdOut(), firstOutput);

    // Stop still reaches it and leads to Idle.
    controller.stopMoo();
    QVERIFY(!first->isRunning());
    QVERIFY(!controller.isMooRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!controller.task(), 10000);
}

void tst_ServerProcess::launch_nameWithNulByte_refusedNotCutShort()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    controller.setDbPath(makeString(writeDatabase(fixture.folder(), "castle.db", "")));
    controller.setNewDbPath(makeString(std::string("castle\0.db", 10)));
    try {
        controller.runMoo();
        QFAIL("a name with a NUL byte would reach the server as \"castle\"");
    } catch (const LaunchError &error) {
        QCOMPARE(error.error(), EINVAL);
    }
    QVERIFY(!controller.isMooRunning());
    QVERIFY(childProcesses().isEmpty());
}

void tst_ServerProcess::child_seesOnlyStandardDescriptorsAndCleanSignals()
{
    // A hostile launcher: a descriptor without close-on-exec, SIGTERM blocked and SIGINT
    // ignored on the GUI thread, and SIGPIPE left at its default; all put back afterwards.
    ControllerFixture fixture;
    {
        const UniqueFd leaked(::open("/dev/null", O_RDONLY));
        QVERIFY(leaked.get() > 2);
        sigset_t block, previousMask;
        sigemptyset(&block);
        sigaddset(&block, SIGTERM);
        sigaddset(&block, SIGUSR1);
        QCOMPARE(::pthread_sigmask(SIG_BLOCK, &block, &previousMask), 0);
        const auto unblock = qScopeGuard(
            [&previousMask] { ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr); });
        const SignalDisposition intIgnored(SIGINT, SIG_IGN), pipeDefault(SIGPIPE, SIG_DFL);

        fixture.launch("report\n");
        struct sigaction pipeAfter = {};
        ::sigaction(SIGPIPE, nullptr, &pipeAfter);
        QVERIFY(pipeAfter.sa_handler == SIG_DFL); // the launcher's own disposition is back
    }

    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "fds="), 10000);
    static const std::regex report(
        "fds=(\\S+) blocked=(\\S+) ignored=(\\S+) pid=(\\d+) pgid=(\\d+)");
    const std::string log = fixture.log();
    std::smatch match;
    QVERIFY2(std::regex_search(log, match, report), log.c_str());
    QCOMPARE(match[1].str(), std::string("0,1,2"));
    QCOMPARE(match[2].str(), std::string("0000000000000000"));
    QCOMPARE(match[3].str(), std::string("0000000000001000")); // SIGPIPE alone
    QCOMPARE(match[4].str(), match[5].str());                  // a process group of its own
    QVERIFY(::getpgrp() != std::stoi(match[5].str()));
}

void tst_ServerProcess::child_launcherStandardDescriptorsOdd_getsNullInputAndThePipes_data()
{
    // Which of the launcher's descriptors 0, 1, 2 are closed; "pipe" makes 0 a pipe instead.
    QTest::addColumn<QString>("change");
    QTest::newRow("input a pipe") << QStringLiteral("pipe");
    QTest::newRow("input closed") << QStringLiteral("0");
    QTest::newRow("output closed") << QStringLiteral("1");
    QTest::newRow("output and error closed") << QStringLiteral("12");
}

void tst_ServerProcess::child_launcherStandardDescriptorsOdd_getsNullInputAndThePipes()
{
    QFETCH(QString, change);
    ControllerFixture fixture;
    int saved[3];
    for (int fd = 0; fd < 3; ++fd)
        QVERIFY((saved[fd] = ::fcntl(fd, F_DUPFD_CLOEXEC, 10)) >= 0);
    int input[2];
    QCOMPARE(::pipe2(input, O_CLOEXEC), 0);
    const UniqueFd inputRead(input[0]), inputWrite(input[1]);

    // Nothing may print until the descriptors are back.
    if (change == u"pipe")
        ::dup2(inputRead.get(), STDIN_FILENO);
    for (int fd = 0; fd < 3; ++fd)
        if (change.contains(QString::number(fd)))
            ::close(fd);
    std::string failure;
    try {
        fixture.launch("report\n");
    } catch (const LaunchError &error) {
        failure = error.what();
    }
    for (int fd = 0; fd < 3; ++fd) {
        ::dup2(saved[fd], fd);
        ::close(saved[fd]);
    }

    QVERIFY2(failure.empty(), failure.c_str());
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), " stdin="), 10000);
    QVERIFY2(contains(fixture.log(), "fds=0,1,2 "), fixture.log().c_str());
    QVERIFY2(contains(fixture.log(), " stdin=/dev/null\n"), fixture.log().c_str());
}

void tst_ServerProcess::child_inheritsLauncherEnvironment()
{
    ::setenv("PADDOCK_INHERITED", "from the launcher", 1);
    const auto unset = qScopeGuard([] { ::unsetenv("PADDOCK_INHERITED"); });
    ControllerFixture fixture;
    fixture.launch("env PADDOCK_INHERITED\n");
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "env PADDOCK_INHERITED"), 10000);
    QVERIFY2(contains(fixture.log(), "env PADDOCK_INHERITED=from the launcher\n"),
             fixture.log().c_str());
}

void tst_ServerProcess::end_reapedElsewhere_reportedWithUnknownStatus_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QString>("executable"); // empty for the stand-in
    QTest::newRow("exits by itself") << QByteArray("exit 3\n") << false << QString();
    QTest::newRow("stopped") << QByteArray("") << true << QString();
    // Possibly gone before the launcher can watch it.
    QTest::newRow("exits at once")
        << QByteArray("") << false << QStandardPaths::findExecutable(QStringLiteral("true"));
}

void tst_ServerProcess::end_reapedElsewhere_reportedWithUnknownStatus()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, stop);
    QFETCH(QString, executable);
    // With SIGCHLD ignored the kernel reaps the children itself.
    const SignalDisposition ignored(SIGCHLD, SIG_IGN);
    ControllerFixture fixture;
    if (!executable.isEmpty())
        fixture.store().setString(MOOExecutableURL, executable.toStdString());
    MooController &controller = fixture.controller();
    fixture.launch(script.toStdString());
    const std::shared_ptr<Task> server = controller.task();
    TerminationWatch ended(server);
    if (stop) {
        QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "running"), 10000);
        controller.stopMoo();
    }
    QVERIFY(ended.wait(10000));
    QCOMPARE(ended.count(), 1);
    QCOMPARE(server->terminationReason(), Task::TerminationReason::Unknown);
    QVERIFY(!server->terminate()); // nothing left to signal
    QTRY_VERIFY_WITH_TIMEOUT(!controller.task(), 10000);
    QVERIFY(!controller.isMooRunning());
}

void tst_ServerProcess::task_releasedWhileRunning_keepsChildAndReapsIt()
{
    QTemporaryDir dir;
    int pid = 0;
    std::shared_ptr<QObject> endedSender;
    const std::shared_ptr<Pipe> output = Pipe::create(); // never read: the output is short
    NotificationCenter::defaultCenter().addObserver(
        this, [&endedSender](const Notification &n) { endedSender = n.sender; },
        TaskDidTerminateNotification);
    const auto unsubscribe =
        qScopeGuard([this] { NotificationCenter::defaultCenter().removeObserver(this); });
    {
        auto task = Task::create();
        task->setStandardOutput(output);
        task->setStandardError(output);
        task->setLaunchPath(standInServerPath());
        task->setArguments({writeDatabase(dir.path(), "in.db", ""), "out.db"});
        task->setCurrentDirectoryPath(QFile::encodeName(dir.path()).toStdString());
        task->launch();
        pid = task->processIdentifier();
    }
    const auto killOnFailure = qScopeGuard([pid] { ::kill(pid, SIGKILL); });
    // Nobody holds the task now; the child runs on and gets as far as waiting for a stop.
    QVERIFY(childProcesses().contains(pid));
    QTRY_VERIFY_WITH_TIMEOUT(waitsForStop(pid), 10000);
    QCOMPARE(::kill(pid, 0), 0);
    QCOMPARE(::kill(pid, SIGTERM), 0);
    QTRY_VERIFY_WITH_TIMEOUT(endedSender != nullptr, 10000);
    QVERIFY(!childProcesses().contains(pid)); // reaped: no zombie
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out.db"))));
}

void tst_ServerProcess::task_signalAfterReap_sendsNothing()
{
    QTemporaryDir dir;
    const std::shared_ptr<Task> task = Task::create();
    const std::shared_ptr<Pipe> output = Pipe::create(); // never read: the output is short
    task->setStandardOutput(output);
    task->setStandardError(output);
    task->setLaunchPath(standInServerPath());
    task->setArguments({writeDatabase(dir.path(), "in.db", "exit 0\n"), "out.db"});
    TerminationWatch ended(task);
    task->launch();
    QVERIFY(ended.wait(10000));
    QCOMPARE(task->terminationReason(), Task::TerminationReason::Exit);

    // Reaped: its process id is free, and another process gets it.
    const pid_t reused = childWithPid(task->processIdentifier());
    if (!reused)
        QSKIP("the process id of the ended server could not be given to another process");
    const auto reap = qScopeGuard([reused] {
        ::kill(reused, SIGKILL);
        ::waitpid(reused, nullptr, 0);
    });
    QVERIFY(!task->terminate());
    QVERIFY(!task->sendSignal(SIGUSR1));
    QVERIFY(!task->kill());
    QVERIFY(isProcessAlive(reused));
    QCOMPARE(pendingSignals(reused), quint64(0));
}

void tst_ServerProcess::cycles_leaveNoDescriptorsOrChildren()
{
    ControllerFixture fixture;
    QVERIFY(fixture.launchAndStop()); // lazily made objects are counted in from here
    // The log file opens with the first output read: have some read before counting.
    fixture.launch("stdout warming up\nexit 0\n");
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "warming up"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(
        !fixture.controller().task() &&
            fixture.controller().taskStdOut()->fileHandleForReading()->isAtEnd() &&
            fixture.controller().taskStdError()->fileHandleForReading()->isAtEnd(),
        10000);
    fixture.reapAll();
    QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 10000); // its keeper too
    const int descriptors = openDescriptorCount();
    const std::size_t observers = NotificationCenter::defaultCenter().observerCount();
    for (int cycle = 0; cycle < 200; ++cycle)
        QVERIFY2(fixture.launchAndStop(), qPrintable(QString::number(cycle)));
    // Each keeper ends, and is reaped, moments after its server's output has ended.
    QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(openDescriptorCount(), descriptors, 10000);
    QCOMPARE(NotificationCenter::defaultCenter().observerCount(), observers);
}

void tst_ServerProcess::adopt_recordMismatch_refusedAndNeverSignalled_data()
{
    QTest::addColumn<int>("startTimeOffset");
    QTest::addColumn<int>("uidOffset");
    QTest::addColumn<bool>("otherExecutable");
    QTest::addColumn<bool>("endedFirst");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("PID reused: started at another time")
        << 1 << 0 << false << false << QByteArray("started at another time");
    QTest::newRow("another user") << 0 << 1 << false << false << QByteArray("another user");
    QTest::newRow("another executable")
        << 0 << 0 << true << false << QByteArray("another executable");
    QTest::newRow("server ended") << 0 << 0 << false << true << QByteArray("has ended");
}

void tst_ServerProcess::adopt_recordMismatch_refusedAndNeverSignalled()
{
    QFETCH(int, startTimeOffset);
    QFETCH(int, uidOffset);
    QFETCH(bool, otherExecutable);
    QFETCH(bool, endedFirst);
    QFETCH(QByteArray, reason);
    QTemporaryDir dir;
    const std::shared_ptr<Task> server = startIdleServer(dir);
    const auto reap = qScopeGuard([&server] { reapTasks({server}); });
    const int pid = server->processIdentifier();
    QTRY_VERIFY_WITH_TIMEOUT(waitsForStop(pid), 10000);
    const std::optional<std::uint64_t> startTime = processStartTime(pid);
    const std::optional<std::string> executable = processExecutable(pid);
    QVERIFY(startTime && executable);
    if (endedFirst) {
        QVERIFY(server->terminate());
        QVERIFY(server->waitUntilExit());
    }

    std::string why;
    const std::shared_ptr<Task> adopted = Task::adopt(
        pid, *startTime + std::uint64_t(startTimeOffset), ::geteuid() + uid_t(uidOffset),
        otherExecutable ? std::string("/bin/sh") : *executable, &why);
    QVERIFY(!adopted);
    QVERIFY2(contains(why, reason.toStdString()), why.c_str());
    // The process that was not the recorded one runs on untouched, still waiting for a stop.
    QCOMPARE(server->isRunning(), !endedFirst);
    QVERIFY(endedFirst || waitsForStop(pid));
}

void tst_ServerProcess::adopt_matchingRecord_stopsThroughPidfdAndReportsUnknownEnd()
{
    QTemporaryDir dir;
    const std::shared_ptr<Task> server = startIdleServer(dir);
    const auto reap = qScopeGuard([&server] { reapTasks({server}); });
    const int pid = server->processIdentifier();
    QTRY_VERIFY_WITH_TIMEOUT(waitsForStop(pid), 10000);

    std::string why;
    const std::shared_ptr<Task> adopted = Task::adopt(pid, processStartTime(pid).value_or(0),
                                                      ::geteuid(), *processExecutable(pid), &why);
    QVERIFY2(adopted, why.c_str());
    QVERIFY(adopted->isAdopted() && adopted->isRunning());
    QCOMPARE(adopted->processIdentifier(), pid);
    QVERIFY(adopted->terminate());
    QVERIFY(adopted->waitUntilExit());
    QCOMPARE(adopted->terminationReason(), Task::TerminationReason::Unknown);
    QVERIFY(!adopted->kill());
    // The real parent still reaps it and learns how it ended: it saved on the stop.
    QTRY_VERIFY_WITH_TIMEOUT(!server->isRunning(), 10000);
    QCOMPARE(server->terminationReason(), Task::TerminationReason::Exit);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("out.db"))));
}

PADDOCK_TEST_MAIN(tst_ServerProcess)
#include "tst_serverprocess.moc"

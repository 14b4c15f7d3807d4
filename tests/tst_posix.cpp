// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "DescriptorIo.h"
#include "ProcessSpawn.h"
#include "RenameNoReplace.h"
#include "UniqueFd.h"

#include <QTemporaryDir>

#include <cerrno>
#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

Q_DECLARE_METATYPE(paddock::SpawnError::Step)

class tst_Posix final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void spawn_failure_reportsStepAndLeavesNothing_data();
    void spawn_failure_reportsStepAndLeavesNothing();
    void spawn_child_getsExactlyWhatIsAsked_data();
    void spawn_child_getsExactlyWhatIsAsked();
    void renameNoReplace_neverReplaces_data();
    void renameNoReplace_neverReplaces();
};

// A descriptor number no test process has open.
constexpr int NotOpen = 999;

void tst_Posix::spawn_failure_reportsStepAndLeavesNothing_data()
{
    QTest::addColumn<QByteArray>("program");
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<int>("output");
    QTest::addColumn<int>("passed");
    QTest::addColumn<SpawnError::Step>("step");
    QTest::addColumn<int>("error");

    using S = SpawnError::Step;
    const QByteArray server = QByteArray::fromStdString(standInServerPath());
    QTest::newRow("missing program")
        << QByteArray("/nonexistent/server") << QByteArray() << -1 << -1 << S::Start << ENOENT;
    QTest::newRow("program not executable")
        << QByteArray("/dev/null") << QByteArray() << -1 << -1 << S::Start << EACCES;
    QTest::newRow("folder gone") << server << QByteArray("/nonexistent/world") << -1 << -1
                                 << S::WorkingFolder << ENOENT;
    QTest::newRow("folder is a file")
        << server << server << -1 << -1 << S::WorkingFolder << ENOTDIR;
    QTest::newRow("output not open")
        << server << QByteArray() << NotOpen << -1 << S::Prepare << EBADF;
    QTest::newRow("passed not open")
        << server << QByteArray() << -1 << NotOpen << S::Prepare << EBADF;
}

void tst_Posix::spawn_failure_reportsStepAndLeavesNothing()
{
    QFETCH(QByteArray, program);
    QFETCH(QByteArray, folder);
    QFETCH(int, output);
    QFETCH(int, passed);
    QFETCH(SpawnError::Step, step);
    QFETCH(int, error);

    SpawnOptions options;
    options.program = program.toStdString();
    options.workingFolder = folder.toStdString();
    if (output >= 0)
        options.standardOutput = ChildStream::from(output);
    if (passed >= 0)
        options.passedDescriptors = {STDIN_FILENO, passed};
    options.sigpipeIgnored = true;
    const int descriptors = openDescriptorCount();
    try {
        const pid_t pid = spawnProcess(options);
        reapChildren();
        QFAIL(qPrintable(QStringLiteral("started as process %1").arg(pid)));
    } catch (const SpawnError &e) {
        QCOMPARE(e.step(), step);
        QVERIFY2(e.error() == error, e.what());
    }
    QCOMPARE(childProcesses(), QList<int>());
    QCOMPARE(openDescriptorCount(), descriptors);
}

void tst_Posix::spawn_child_getsExactlyWhatIsAsked_data()
{
    QTest::addColumn<bool>("passTwo");
    QTest::addColumn<bool>("newSession");
    QTest::addColumn<bool>("sigpipeIgnored");
    QTest::addColumn<QByteArray>("descriptors");
    QTest::addColumn<QByteArray>("ignored");

    // This process ignores SIGINT; the child never inherits that.
    QTest::newRow("server") << false << false << true << QByteArray("0,1,2")
                            << QByteArray("0000000000001000");
    QTest::newRow("keeper") << true << true << false << QByteArray("0,1,2,3,4")
                            << QByteArray("0000000000000000");
}

void tst_Posix::spawn_child_getsExactlyWhatIsAsked()
{
    QFETCH(bool, passTwo);
    QFETCH(bool, newSession);
    QFETCH(bool, sigpipeIgnored);
    QFETCH(QByteArray, descriptors);
    QFETCH(QByteArray, ignored);

    const SignalDisposition intIgnored(SIGINT, SIG_IGN);
    QTemporaryDir dir;
    int ends[2];
    QVERIFY(::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0);
    const UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    SpawnOptions options;
    options.program = standInServerPath();
    options.arguments = {writeDatabase(dir.path(), "world.db", "report\nexit 0\n"), "out.db"};
    options.workingFolder = osPath(dir.path());
    options.standardOutput = ChildStream::from(writeEnd.get());
    if (passTwo)
        options.passedDescriptors = {writeEnd.get(), readEnd.get()};
    options.newSession = newSession;
    options.sigpipeIgnored = sigpipeIgnored;
    const pid_t pid = spawnProcess(options);
    writeEnd.reset();
    std::string report;
    QTRY_VERIFY_WITH_TIMEOUT(readAll(readEnd.get(), report) == 0, 10000);
    QCOMPARE(::waitpid(pid, nullptr, 0), pid);

    static const std::regex fields(
        "fds=(\\S+) blocked=(\\S+) ignored=(\\S+) pid=(\\d+) pgid=(\\d+)");
    std::smatch match;
    QVERIFY2(std::regex_search(report, match, fields), report.c_str());
    QCOMPARE(QByteArray::fromStdString(match[1].str()), descriptors);
    QCOMPARE(match[2].str(), std::string("0000000000000000"));
    QCOMPARE(QByteArray::fromStdString(match[3].str()), ignored);
    QCOMPARE(match[4].str(), match[5].str()); // a process group of its own
}

void tst_Posix::renameNoReplace_neverReplaces_data()
{
    QTest::addColumn<bool>("sourceThere");
    QTest::addColumn<QByteArray>("inTheWay"); // "file", "link" (dangling), "folder" or empty
    QTest::addColumn<bool>("otherFolder");
    QTest::addColumn<int>("error");

    QTest::newRow("free name") << true << QByteArray() << false << 0;
    QTest::newRow("free name in another folder") << true << QByteArray() << true << 0;
    QTest::newRow("file in the way") << true << QByteArray("file") << false << EEXIST;
    QTest::newRow("file in the way in another folder")
        << true << QByteArray("file") << true << EEXIST;
    QTest::newRow("dangling link in the way") << true << QByteArray("link") << false << EEXIST;
    QTest::newRow("empty folder in the way") << true << QByteArray("folder") << false << EEXIST;
    QTest::newRow("no source") << false << QByteArray() << false << ENOENT;
}

void tst_Posix::renameNoReplace_neverReplaces()
{
    QFETCH(bool, sourceThere);
    QFETCH(QByteArray, inTheWay);
    QFETCH(bool, otherFolder);
    QFETCH(int, error);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string from = osPath(dir.path()) + "/from";
    const std::string toFolder = osPath(dir.path()) + (otherFolder ? "/other" : "");
    const std::string to = toFolder + "/to";
    if (otherFolder)
        QVERIFY(::mkdir(toFolder.c_str(), 0700) == 0);
    if (sourceThere)
        QVERIFY(writeFile(from, "moved"));
    if (inTheWay == "file")
        QVERIFY(writeFile(to, "kept"));
    else if (inTheWay == "link")
        QVERIFY(::symlink("nowhere", to.c_str()) == 0);
    else if (inTheWay == "folder")
        QVERIFY(::mkdir(to.c_str(), 0700) == 0);

    const UniqueFd fromFd(::open(osPath(dir.path()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const UniqueFd toFd(::open(toFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QCOMPARE(renameNoReplace(fromFd.get(), "from", toFd.get(), "to"), error);

    struct stat target = {};
    QVERIFY(::lstat(to.c_str(), &target) == 0 || !sourceThere);
    if (error == 0) {
        QCOMPARE(readFile(to), QByteArray("moved"));
        QVERIFY(::access(from.c_str(), F_OK) != 0);
    } else if (sourceThere) {
        QCOMPARE(readFile(from), QByteArray("moved"));
        if (inTheWay == "file")
            QCOMPARE(readFile(to), QByteArray("kept"));
        if (inTheWay == "link")
            QVERIFY(S_ISLNK(target.st_mode));
        if (inTheWay == "folder")
            QVERIFY(S_ISDIR(target.st_mode));
    }
}

PADDOCK_TEST_MAIN(tst_Posix)
#include "tst_posix.moc"

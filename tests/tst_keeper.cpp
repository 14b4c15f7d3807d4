// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "DescriptorPassing.h"
#include "KeeperClient.h"
#include "ProcessInfo.h"
#include "ServerRecord.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

namespace {

// Erases the first line starting with prefix, wherever a reader's chunks put it.
void eraseLine(std::string &text, const std::string &prefix)
{
    const size_t start = text.find(prefix);
    if (start != std::string::npos)
        text.erase(start, text.find('\n', start) + 1 - start);
}

// Whether process pid holds SIGTERM blocked or waits for it: the stand-in blocks it before
// anything else, so a stop sent then cannot end it before it has written its output.
bool blocksTerm(int pid)
{
    QFile wchan(QStringLiteral("/proc/%1/wchan").arg(pid));
    if (wchan.open(QIODevice::ReadOnly) && wchan.readAll().contains("sigtimedwait"))
        return true;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigBlk:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ull << (SIGTERM - 1));
    return false;
}

// Whether the process behind pidfd has ended; reaps it if it came to us as a subreaper
// (QProcess's own reaping may take it first, so the pidfd says when it ended).
bool ended(int pid, const UniqueFd &pidfd)
{
    pollfd watched{pidfd.get(), POLLIN, 0};
    if (::poll(&watched, 1, 0) != 1)
        return false;
    ::waitpid(pid, nullptr, WNOHANG);
    return true;
}

// Reads what is there on fd within the deadline, or all of it to its end if untilEnd.
bool readFor(int fd, std::string &into, int timeoutMs, bool untilEnd)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pollfd watched{fd, POLLIN, 0};
        if (::poll(&watched, 1, int(deadline.remainingTime())) <= 0)
            return !untilEnd;
        char buffer[65536];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return got == 0;
        into.append(buffer, size_t(got));
        if (!untilEnd)
            return true;
    }
}

// A server run the way Paddock runs one: the launcher, the server and the keeper.
struct Launched {
    QTemporaryDir folder;
    std::string log, socket;
    int server = 0, keeper = 0;
    UniqueFd serverPidfd, keeperPidfd;
    QProcess launcher;

    bool start(const std::string &script, long long readFirst)
    {
        const std::string run = osPath(folder.path()) + "/run";
        log = osPath(folder.path()) + "/server.log";
        socket = run + "/keeper.socket";
        if (::mkdir(run.c_str(), 0700) != 0)
            return false;
        const std::string database = writeDatabase(folder.path(), "in.db", script);
        launcher.start(QStringLiteral(KEEPER_LAUNCHER_PATH),
                       {QStringLiteral(KEEPER_PATH), qtPath(standInServerPath()), qtPath(database),
                        qtPath(log), qtPath(socket), QString::number(readFirst)});
        if (!launcher.waitForReadyRead(30000))
            return false;
        const QList<QByteArray> pids = launcher.readLine().trimmed().split(' ');
        server = pids.value(0).toInt();
        keeper = pids.value(1).toInt();
        serverPidfd.reset(pidfdOpen(server));
        keeperPidfd.reset(pidfdOpen(keeper));
        return serverPidfd && keeperPidfd;
    }
    // Kills the launcher as SIGKILL would kill Paddock.
    void killLauncher()
    {
        launcher.kill();
        launcher.waitForFinished();
    }
    ~Launched()
    {
        killLauncher();
        for (const UniqueFd *pidfd : {&serverPidfd, &keeperPidfd})
            if (*pidfd)
                pidfdSendSignal(pidfd->get(), SIGKILL);
        if (!QTest::qWaitFor(
                [this] { return ended(server, serverPidfd) && ended(keeper, keeperPidfd); }, 10000))
            qWarning("the server or the keeper did not end on SIGKILL");
    }
};

} // namespace

class tst_Keeper : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void drain_launcherKilledMidFlood_everyByteInLogInOrder_data();
    void drain_launcherKilledMidFlood_everyByteInLogInOrder();
    void drain_logFileIsALink_nothingWrittenThroughIt();
    void handBack_laterLauncher_getsTheRestAndKeeperWaitsAgain();
    void handBack_peerOfAnotherUser_getsNothing();
    void reclaim_noUsableKeeper_failsPromptly_data();
    void reclaim_noUsableKeeper_failsPromptly();
    void record_awkwardBytes_roundTrip_data();
    void record_awkwardBytes_roundTrip();
    void record_logStart_readOrRefused_data();
    void record_logStart_readOrRefused();
    void record_othersCanChange_refused_data();
    void record_othersCanChange_refused();
};

void tst_Keeper::initTestCase()
{
    // The server and the keeper outlive their launcher: they come to us to be reaped.
    QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);
}

void tst_Keeper::drain_launcherKilledMidFlood_everyByteInLogInOrder_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<qint64>("readFirst");
    QTest::newRow("64 MiB stdout, launcher read 1 MiB first")
        << qint64(64) * 1024 * 1024 << QByteArray("") << qint64(1024 * 1024);
    QTest::newRow("1 MiB stderr, launcher read nothing")
        << qint64(1024 * 1024) << QByteArray("stderr") << qint64(0);
    QTest::newRow("no flood") << qint64(0) << QByteArray("") << qint64(0);
}

void tst_Keeper::drain_launcherKilledMidFlood_everyByteInLogInOrder()
{
    QFETCH(qint64, bytes);
    QFETCH(QByteArray, stream);
    QFETCH(qint64, readFirst);
    Launched run;
    QVERIFY(
        run.start("flood " + std::to_string(bytes) + " " + stream.toStdString() + "\n", readFirst));
    run.killLauncher();
    // The stand-in takes a stop only once its flood is written, all of it through the keeper.
    // A wait on the clock, not on counted turns: a signal that cuts the test's sleeps short
    // (its children end around it) must not shorten the deadline.
    QVERIFY(QTest::qWaitFor([&run] { return blocksTerm(run.server); }, 10000));
    QVERIFY(::kill(run.server, SIGTERM) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(ended(run.server, run.serverPidfd), 60000);
    QTRY_VERIFY_WITH_TIMEOUT(ended(run.keeper, run.keeperPidfd), 60000);
    QVERIFY2(::access(run.socket.c_str(), F_OK) != 0, "the keeper left its socket behind");

    std::string log = test::readFile(run.log).toStdString();
    for (const char *line :
         {"stand-in-server: database ", "stand-in-server: argc=", "stand-in-server: running",
          "stand-in-server: shut down", "DUMPING on ", "DUMPING on "}) {
        QVERIFY2(contains(log, line), line);
        eraseLine(log, line);
    }
    QCOMPARE(log.size(), size_t(bytes));
    QVERIFY2(log == expectedFlood(size_t(bytes)), "the flood arrived changed or out of order");
}

void tst_Keeper::drain_logFileIsALink_nothingWrittenThroughIt()
{
    Launched run;
    const std::string folder = osPath(run.folder.path());
    QVERIFY(test::writeFile(folder + "/elsewhere", "not a log\n"));
    QVERIFY(::symlink((folder + "/elsewhere").c_str(), (folder + "/server.log").c_str()) == 0);
    QVERIFY(run.start("", 0));
    run.killLauncher();
    // The server's last lines, after the stop, reach the keeper alone.
    // A wait on the clock, not on counted turns: a signal that cuts the test's sleeps short
    // (its children end around it) must not shorten the deadline.
    QVERIFY(QTest::qWaitFor([&run] { return blocksTerm(run.server); }, 10000));
    QVERIFY(::kill(run.server, SIGTERM) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(ended(run.server, run.serverPidfd), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(ended(run.keeper, run.keeperPidfd), 10000);
    QCOMPARE(test::readFile(folder + "/elsewhere"), QByteArray("not a log\n"));
    QVERIFY(QFileInfo(test::qtPath(run.log)).isSymLink());
}

void tst_Keeper::handBack_laterLauncher_getsTheRestAndKeeperWaitsAgain()
{
    Launched run;
    QVERIFY(run.start("tick-ms 2\n", 0));
    run.killLauncher();
    QTRY_VERIFY_WITH_TIMEOUT(contains(test::readFile(run.log).toStdString(), "tick 5\n"), 10000);

    KeeperHandBack handBack;
    QCOMPARE(reclaimPipes(run.socket, 0, 5000, handBack), 0);
    QCOMPARE(handBack.bytesLost, 0u);
    std::string received;
    while (!contains(received, "tick") || std::count(received.begin(), received.end(), '\n') < 5)
        QVERIFY(readFor(handBack.standardOutput.get(), received, 10000, false));
    QVERIFY(isProcessAlive(run.keeper));

    // The log file and what came back join without a gap: the keeper stopped reading.
    std::string whole = test::readFile(run.log).toStdString() + received;
    eraseLine(whole, "stand-in-server: database ");
    eraseLine(whole, "stand-in-server: argc=");
    eraseLine(whole, "stand-in-server: running");
    std::string expected;
    for (int tick = 0; expected.size() < whole.size(); ++tick)
        expected += "stand-in-server: tick " + std::to_string(tick) + "\n";
    QCOMPARE(whole, expected.substr(0, whole.size()));

    // The server ends while we hold the pipes: once we have read them out, the keeper goes.
    QVERIFY(::kill(run.server, SIGTERM) == 0);
    QVERIFY(readFor(handBack.standardOutput.get(), received, 10000, true));
    QVERIFY(readFor(handBack.standardError.get(), received, 10000, true));
    QVERIFY(contains(received, "stand-in-server: shut down"));
    QTRY_VERIFY_WITH_TIMEOUT(ended(run.keeper, run.keeperPidfd), 10000);
    QVERIFY2(::access(run.socket.c_str(), F_OK) != 0, "the keeper left its socket behind");
    QVERIFY(test::readFile(run.log).toStdString().size() + received.size() > whole.size());
}

void tst_Keeper::handBack_peerOfAnotherUser_getsNothing()
{
    Launched run;
    QVERIFY(run.start("", 0));
    QTRY_VERIFY_WITH_TIMEOUT(::access(run.socket.c_str(), F_OK) == 0, 10000);
    // Open the way to the socket, so that only the keeper's own check stands between another
    // user and the server's output.
    QVERIFY(::chmod(osPath(run.folder.path()).c_str(), 0711) == 0);
    QVERIFY(::chmod((osPath(run.folder.path()) + "/run").c_str(), 0711) == 0);
    QVERIFY(::chmod(run.socket.c_str(), 0666) == 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, run.socket.c_str(), run.socket.size() + 1);

    // Only async-signal-safe calls in the child of this threaded process; it reports through a
    // pipe, since QProcess's reaping may take its exit status first.
    int report[2];
    QVERIFY(::pipe2(report, O_CLOEXEC) == 0);
    const UniqueFd reportRead(report[0]);
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(10);
        char outcome = 'u'; // could not become another user
        if (::syscall(SYS_setgid, 65534) == 0 && ::syscall(SYS_setuid, 65534) == 0) {
            const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
            char byte;
            outcome = ::connect(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
                          ? 'c'
                      : ::recv(socket, &byte, 1, 0) == 0 ? 'n' // closed without a word
                                                         : 'g';
        }
        if (::write(report[1], &outcome, 1) != 1)
            ::_exit(1);
        ::_exit(0);
    }
    ::close(report[1]);
    QVERIFY(child > 0);
    std::string outcome;
    QVERIFY(readFor(reportRead.get(), outcome, 20000, true));
    ::waitpid(child, nullptr, WNOHANG);
    if (outcome == "u")
        QSKIP("cannot become another user here");
    QCOMPARE(outcome, std::string("n"));
    QVERIFY(isProcessAlive(run.keeper));
}

void tst_Keeper::reclaim_noUsableKeeper_failsPromptly_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("error");
    QTest::newRow("no socket") << QStringLiteral("missing") << ENOENT;
    QTest::newRow("a regular file") << QStringLiteral("file") << ECONNREFUSED;
    QTest::newRow("path too long") << QStringLiteral("long") << ENAMETOOLONG;
    QTest::newRow("listener that never answers") << QStringLiteral("stuck") << ETIMEDOUT;
    QTest::newRow("answer without descriptors") << QStringLiteral("wrong") << EPROTO;
}

void tst_Keeper::reclaim_noUsableKeeper_failsPromptly()
{
    QFETCH(QString, what);
    QFETCH(int, error);
    QTemporaryDir folder;
    std::string path = osPath(folder.path()) + "/keeper.socket";
    UniqueFd listener;
    std::thread answer;
    int listenError = 0;
    if (what == QLatin1String("file"))
        QVERIFY(UniqueFd(::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)).isValid());
    if (what == QLatin1String("long"))
        path = osPath(folder.path()) + "/" + std::string(200, 'k');
    if (what == QLatin1String("stuck") || what == QLatin1String("wrong"))
        QVERIFY(listener = listenUnixSocket(path, listenError));
    if (what == QLatin1String("wrong"))
        answer = std::thread([&listener] {
            pollfd watched{listener.get(), POLLIN, 0};
            ::poll(&watched, 1, 10000);
            const UniqueFd connection(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            sendDescriptors(connection.get(), std::string(KeeperGreeting) + "\nlost=0\nerror=0\n",
                            {});
        });

    QElapsedTimer timer;
    timer.start();
    KeeperHandBack handBack;
    QCOMPARE(reclaimPipes(path, 0, 300, handBack), error);
    QVERIFY2(timer.elapsed() < 5000, "a keeper that does not answer held the caller");
    QVERIFY(!handBack.standardOutput && !handBack.standardError);
    if (answer.joinable())
        answer.join();
}

void tst_Keeper::record_awkwardBytes_roundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << QByteArray("/home/wiz/moo/LambdaCore.db");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("newline, equals, backslash") << QByteArray("a\nb=c\\n\\x41\\\\", 13);
    QTest::newRow("control bytes and NUL") << QByteArray("\x00\x01\r\t\x7f", 5);
    QTest::newRow("not UTF-8") << QByteArray("caf\xe9 \xff\xfe");
    QTest::newRow("spaces at the ends") << QByteArray("  padded  ");
}

void tst_Keeper::record_awkwardBytes_roundTrip()
{
    QFETCH(QByteArray, bytes);
    const std::string value = bytes.toStdString();
    QTemporaryDir base;
    const std::string folder = osPath(base.path()) + "/state/paddock";
    // Where the run began in its log file, every part of it at its widest.
    const LogFilePosition logStart{{dev_t(~0ull), ino_t(~0ull), -1, 999999999}, ~0ull};
    ServerRecord record{4242,  123456789012ull, 4243,           value + ".socket", value,
                        value, "out" + value,   value + ".log", logStart};
    QCOMPARE(writeServerRecord(folder, record), std::string());
    ServerRecord back;
    QCOMPARE(readServerRecord(folder, 4242, back), std::string());
    QVERIFY(back == record);
    struct stat status;
    QVERIFY(::stat(folder.c_str(), &status) == 0 && (status.st_mode & 0777) == 0700);
    const ServerRecords all = readServerRecords(folder);
    QCOMPARE(all.records.size(), size_t(1));
    QVERIFY(all.refused.empty());
    QCOMPARE(removeServerRecord(folder, 4242), std::string());
    QVERIFY(readServerRecords(folder).records.empty());
}

void tst_Keeper::record_logStart_readOrRefused_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("read");
    QTest::newRow("five numbers") << QByteArray("1 2 3 4 5") << true;
    QTest::newRow("cut short") << QByteArray("1 2 3") << false;
    QTest::newRow("one too many") << QByteArray("1 2 3 4 5 6") << false;
    QTest::newRow("not numbers") << QByteArray("1 2 x 4 5") << false;
    QTest::newRow("a space too many") << QByteArray("1 2 3 4  5") << false;
    QTest::newRow("nanoseconds past a second") << QByteArray("1 2 3 1000000000 5") << false;
}

void tst_Keeper::record_logStart_readOrRefused()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, read);
    const ServerRecord written{77, 1, 78, "s", "e", "d", "o", "l", std::nullopt};
    ServerRecord back;
    const std::string problem = parseServerRecord(
        formatServerRecord(written) + "log-start=" + value.toStdString() + "\n", back);
    QCOMPARE(problem.empty(), read);
    if (read)
        QCOMPARE(back.logStart->offset, 5u);
}

void tst_Keeper::record_othersCanChange_refused_data()
{
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("file writable by all") << 0666 << 0700 << QByteArray("changed by other users");
    QTest::newRow("file writable by group") << 0620 << 0700 << QByteArray("changed by other");
    QTest::newRow("folder writable by all") << 0600 << 0777 << QByteArray("changed by other");
    QTest::newRow("folder is a file") << -1 << 0700 << QByteArray("is not a folder");
}

void tst_Keeper::record_othersCanChange_refused()
{
    QFETCH(int, fileMode);
    QFETCH(int, folderMode);
    QFETCH(QByteArray, reason);
    QTemporaryDir base;
    const std::string folder = osPath(base.path()) + "/paddock";
    const ServerRecord record{77, 1, 78, "s", "e", "d", "o", "l", std::nullopt};
    if (fileMode < 0) {
        // A regular file where the folder belongs: neither writing nor reading may go on.
        QVERIFY(UniqueFd(::open(folder.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)).isValid());
        QVERIFY(contains(writeServerRecord(folder, record), reason.toStdString()));
    } else {
        QCOMPARE(writeServerRecord(folder, record), std::string());
        QVERIFY(::chmod((folder + "/server-77").c_str(), mode_t(fileMode)) == 0);
        QVERIFY(::chmod(folder.c_str(), mode_t(folderMode)) == 0);
    }
    ServerRecord back;
    const std::string problem = readServerRecord(folder, 77, back);
    QVERIFY2(contains(problem, reason.toStdString()), problem.c_str());
    QVERIFY(back == ServerRecord());
    const ServerRecords all = readServerRecords(folder);
    QVERIFY(all.records.empty());
}

PADDOCK_TEST_MAIN(tst_Keeper)
#include "tst_keeper.moc"

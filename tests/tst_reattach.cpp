// SPDX-License-Identifier: MIT
#include "PrivateFolder.h"
#include "ProcessInfo.h"
#include "ResponsivenessWatch.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "ServerRecord.h"
#include "ServerStatus.h"
#include "TestSupport.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

class tst_Reattach final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void reattach_afterLauncherKilled_readsOnAndStopYieldsDatabase();
    void reattach_serverEndedWhileClosed_saidOnceAndRecordGone();
    void reattach_playersRebuiltFromTheRunsOwnPartOfTheLog();
    void reattach_portsRebuiltFromTheRunsOwnPartOfTheLog();
    void reattach_recordedPidNowUnrelated_neverSignalled_data();
    void reattach_recordedPidNowUnrelated_neverSignalled();
    void reattach_recordNotTrusted_saidAndStartOnItsDatabaseRefused_data();
    void reattach_recordNotTrusted_saidAndStartOnItsDatabaseRefused();
};

namespace {

// Starts a real Paddock controller in another process on db, then kills that process with
// SIGKILL; returns the server's PID, which runs on with its keeper.
int launchInAnotherProcessAndKillIt(const std::string &db, const QByteArray &loggedFirst = {})
{
    return test::launchInAnotherProcessAndKillIt(QStringLiteral(STRESS_LAUNCHER_PATH), db, {},
                                                 loggedFirst);
}

} // namespace

void tst_Reattach::reattach_afterLauncherKilled_readsOnAndStopYieldsDatabase()
{
    QTemporaryDir dir;
    const std::string db = writeDatabase(dir.path(), "castle.db", "tick-ms 20\n");
    const int server = launchInAnotherProcessAndKillIt(db);
    QVERIFY(server > 0);
    const auto killServer = qScopeGuard([server] { ::kill(server, SIGKILL); });
    // The keeper writes what the server says while no Paddock runs.
    const std::string logFile = osPath(dir.filePath(QStringLiteral("server.log")));
    QTRY_VERIFY_WITH_TIMEOUT(QFile(qtPath(logFile)).size() > 0, 10000);

    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    QSignalSpy reattached(&controller, &MooController::reattached);
    ServerLife life(controller);
    ServerStatus status(controller, life);
    controller.reattach();
    QVERIFY2(status.text().startsWith(QStringLiteral("Running, PID %1, since ").arg(server)) &&
                 status.text().endsWith(QStringLiteral("; reattached")),
             qPrintable(status.text()));
    QCOMPARE(reattached.count(), 1);
    QCOMPARE(reattached.at(0).at(0).toInt(), server);
    QVERIFY2(reattached.at(0).at(2).toString().isEmpty(),
             qPrintable(reattached.at(0).at(2).toString()));
    QVERIFY(controller.isMooRunning());
    QVERIFY(controller.task() && controller.task()->isAdopted());
    QCOMPARE(controller.task()->processIdentifier(), server);
    QVERIFY(controller.taskStdOut() && controller.taskStdError());
    QCOMPARE(*controller.dbPath(), db);
    QCOMPARE(*controller.newDbPath(), std::string("castle.db.new"));
    // The history from the log file first, then what the server writes from now on.
    QVERIFY2(contains(fixture.log(), "stand-in-server"), fixture.log().c_str());
    const std::size_t historyLength = fixture.log().size();
    QTRY_VERIFY_WITH_TIMEOUT(fixture.log().size() > historyLength + 200, 10000);

    TerminationWatch ended(controller.task());
    controller.stopMoo();
    QVERIFY(ended.wait());
    QVERIFY(!controller.isMooRunning());
    QCOMPARE(status.text(), ServerStatus::adoptedEndedText());
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("castle.db.new"))));
    QVERIFY(readServerRecords(serverRecordFolder()).records.empty());
}

void tst_Reattach::reattach_serverEndedWhileClosed_saidOnceAndRecordGone()
{
    QTemporaryDir dir;
    const std::string db = writeDatabase(dir.path(), "castle.db", "");
    const int server = launchInAnotherProcessAndKillIt(db, "stand-in-server: running");
    QVERIFY(server > 0);
    const QString logFile = dir.filePath(QStringLiteral("server.log"));
    const auto logText = [&logFile] {
        QFile file(logFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    };
    // Stopped only once it is ready to save: a SIGTERM before that would end it unsaved.
    QTRY_VERIFY_WITH_TIMEOUT(contains(logText(), "stand-in-server: running"), 10000);
    ::kill(server, SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(!isProcessAlive(server), 10000);
    // The keeper drains the rest to the log file, then ends.
    QTRY_VERIFY_WITH_TIMEOUT(contains(logText(), "wrote"), 10000);

    ControllerFixture fixture;
    QSignalSpy ended(&fixture.controller(), &MooController::recordedServerEnded);
    fixture.controller().reattach();
    fixture.controller().reattach();
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.at(0).at(0).toInt(), server);
    QCOMPARE(ended.at(0).at(1).toString(), logFile);
    QVERIFY(!fixture.controller().isMooRunning());
}

void tst_Reattach::reattach_playersRebuiltFromTheRunsOwnPartOfTheLog()
{
    QTemporaryDir dir;
    // An earlier run's login without a logout (that run crashed): not on the new server.
    const QString logPath = dir.filePath(QStringLiteral("server.log"));
    QVERIFY(writeFile(logPath, "CONNECTED: Ghost (#9) on port 7777 from old, port 1\n"));
    const std::string db = writeDatabase(
        dir.path(), "castle.db", "login Wizard 2\nlogin Ann 5\nlogout Ann 5\nlogin Bob 6\n");
    const int server = launchInAnotherProcessAndKillIt(db, "Bob (#6)");
    QVERIFY(server > 0);
    const auto killServer = qScopeGuard([server] { ::kill(server, SIGKILL); });
    QTRY_VERIFY_WITH_TIMEOUT(readFile(logPath).contains("stand-in-server: running") &&
                                 readFile(logPath).contains("Bob (#6)"),
                             10000);

    ControllerFixture fixture;
    RunPlayers on(fixture.controller());
    fixture.controller().reattach();
    QVERIFY(on.following());
    QStringList names;
    for (const OnlinePlayer &player : on.roster().players())
        names << player.name;
    QCOMPARE(names, (QStringList{QStringLiteral("Wizard"), QStringLiteral("Bob")}));

    TerminationWatch ended(fixture.controller().task());
    fixture.controller().stopMoo();
    QVERIFY(ended.wait());
    QCOMPARE(on.count(), 0);
}

void tst_Reattach::reattach_portsRebuiltFromTheRunsOwnPartOfTheLog()
{
    QTemporaryDir dir;
    // An earlier run's port: not the new server's.
    const QString logPath = dir.filePath(QStringLiteral("server.log"));
    QVERIFY(writeFile(logPath, "LISTEN: #0 now listening on port 1\n"));
    const std::string db = writeDatabase(dir.path(), "castle.db", "listen 0\n");
    const int server = launchInAnotherProcessAndKillIt(db, "stand-in-server: running");
    QVERIFY(server > 0);
    const auto killServer = qScopeGuard([server] { ::kill(server, SIGKILL); });
    QTRY_VERIFY_WITH_TIMEOUT(readFile(logPath).contains("stand-in-server: running"), 10000);
    const QByteArray announced = "now listening on port ";
    const QByteArray log = readFile(logPath);
    const qsizetype at = log.lastIndexOf(announced) + announced.size();
    const int port = log.mid(at, log.indexOf('\n', at) - at).toInt();
    QVERIFY(port > 1);

    // The clash check between worlds and the status read the life's ports; the watch checks
    // the first, and judges only a server it knows to listen.
    ControllerFixture fixture;
    ServerLife life(fixture.controller());
    ResponsivenessWatch watch(fixture.controller());
    fixture.controller().reattach();
    QVERIFY(fixture.controller().isMooRunning());
    QCOMPARE(life.ports(), QList<int>{port});
    QCOMPARE(watch.checkedPort(), port);
    watch.sampler().sampleNow();
    QCOMPARE(watch.state(), Responsiveness::Responding);

    TerminationWatch ended(fixture.controller().task());
    fixture.controller().stopMoo();
    QVERIFY(ended.wait());
}

void tst_Reattach::reattach_recordedPidNowUnrelated_neverSignalled_data()
{
    QTest::addColumn<bool>("otherStartTime");
    QTest::newRow("started at another time") << true;
    QTest::newRow("another executable") << false;
}

void tst_Reattach::reattach_recordedPidNowUnrelated_neverSignalled()
{
    QFETCH(bool, otherStartTime);
    QTemporaryDir dir;
    // The unrelated process: a stand-in of no Paddock's, waiting quietly.
    QProcess unrelated;
    unrelated.start(
        QString::fromStdString(standInServerPath()),
        {QString::fromStdString(writeDatabase(dir.path(), "x.db", "")), QStringLiteral("x.out")});
    QVERIFY(unrelated.waitForStarted());
    const int pid = int(unrelated.processId());
    QTRY_VERIFY_WITH_TIMEOUT(processExecutable(pid) == standInServerPath(), 10000);

    ServerRecord record;
    record.serverPid = pid;
    record.serverStartTime = processStartTime(pid).value_or(0) + (otherStartTime ? 1 : 0);
    record.executable = otherStartTime ? standInServerPath() : std::string("/usr/bin/moo");
    record.database = "x.db";
    record.outputName = "x.out";
    QCOMPARE(writeServerRecord(serverRecordFolder(), record), std::string());

    ControllerFixture fixture;
    QSignalSpy ended(&fixture.controller(), &MooController::recordedServerEnded);
    fixture.controller().reattach();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!fixture.controller().task());
    fixture.controller().stopMoo();
    // A SIGTERM would have made it write its output database and end.
    QVERIFY(isProcessAlive(pid));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.out"))));
    QVERIFY(readServerRecords(serverRecordFolder()).records.empty());
    unrelated.kill();
    unrelated.waitForFinished();
}

void tst_Reattach::reattach_recordNotTrusted_saidAndStartOnItsDatabaseRefused_data()
{
    QTest::addColumn<int>("fileMode");
    QTest::addColumn<int>("folderMode");
    QTest::addColumn<bool>("serverRuns"); // the recorded server is the process still running
    QTest::addColumn<QString>("why");
    QTest::newRow("record writable by its group")
        << 0620 << 0700 << true << QStringLiteral("can be changed by other users");
    QTest::newRow("records' folder writable by its group")
        << 0600 << 0770 << true << QStringLiteral("can be changed by other users");
    QTest::newRow("recorded server gone, its PID another process's")
        << 0620 << 0700 << false << QStringLiteral("no longer running");
}

void tst_Reattach::reattach_recordNotTrusted_saidAndStartOnItsDatabaseRefused()
{
    QFETCH(int, fileMode);
    QFETCH(int, folderMode);
    QFETCH(bool, serverRuns);
    QFETCH(QString, why);
    QTemporaryDir dir;
    // The first server, still running after a crash of its Paddock.
    const std::string db = writeDatabase(dir.path(), "castle.db", "");
    QProcess first;
    first.start(qtPath(standInServerPath()), {qtPath(db), QStringLiteral("castle.db.new")});
    QVERIFY(first.waitForStarted());
    const int pid = int(first.processId());
    QTRY_VERIFY_WITH_TIMEOUT(processExecutable(pid) == standInServerPath(), 10000);
    ServerRecord record{pid,
                        processStartTime(pid).value_or(0) + (serverRuns ? 0 : 1),
                        0,
                        "",
                        standInServerPath(),
                        db,
                        "castle.db.new",
                        "",
                        std::nullopt};
    const std::string folder = serverRecordFolder();
    QCOMPARE(writeServerRecord(folder, record), std::string());
    const auto restore = qScopeGuard([&] {
        ::chmod(folder.c_str(), 0700);
        removeServerRecord(folder, pid);
        first.kill();
        first.waitForFinished();
    });
    QVERIFY(::chmod((folder + "/server-" + std::to_string(pid)).c_str(), mode_t(fileMode)) == 0);
    QVERIFY(::chmod(folder.c_str(), mode_t(folderMode)) == 0);

    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    ServerLife life(controller);
    ServerStatus status(controller, life);
    QSignalSpy refused(&controller, &MooController::recordsRefused);
    controller.reattach();
    QCOMPARE(refused.count(), 1);
    const QString sentence = refused.at(0).at(0).toStringList().value(0);
    QVERIFY2(sentence.contains(why) && sentence.contains(QString::number(pid)) &&
                 sentence.contains(QStringLiteral("remove"), Qt::CaseInsensitive),
             qPrintable(sentence));
    QVERIFY2(status.text().contains(why), qPrintable(status.text()));
    QVERIFY(!controller.task());

    // A Start on its database: refused while that server may run, with the same sentence.
    QSignalSpy failed(&controller, &MooController::launchFailed);
    QCOMPARE(controller.startFromDatabase(db), !serverRuns);
    QCOMPARE(failed.count(), serverRuns ? 1 : 0);
    if (serverRuns)
        QCOMPARE(failed.at(0).at(0).toString(), sentence);
    else
        reapTasks({controller.task()});
    // The record was never acted on: its server was not signalled, and it is still there.
    QVERIFY(isProcessAlive(pid));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("castle.db.new"))));
    QVERIFY(::access((folder + "/server-" + std::to_string(pid)).c_str(), F_OK) == 0);
}

PADDOCK_TEST_MAIN(tst_Reattach)
#include "tst_reattach.moc"

// SPDX-License-Identifier: MIT
#include "DatabaseGenerations.h"
#include "LaunchError.h"
#include "PrivateFolder.h"
#include "ResponsivenessWatch.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "ServerRecord.h"
#include "ServerStatus.h"
#include "SettingsKeys.h"
#include "Snapshots.h"
#include "StatusReport.h"
#include "TestSupport.h"
#include "WorldServers.h"
#include "Worlds.h"
#include "WorldsTestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <map>

using namespace paddock;
using namespace paddock::test;

class tst_Worlds final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void worlds_firstAsTodayFurtherInTheirOwnGroups();
    void names_refusedWhenEmptyOrTaken_data();
    void names_refusedWhenEmptyOrTaken();
    void twoWorlds_oneStoppedTheOtherRunsAndLogsAlone();
    void start_clashWithAnotherWorld_refusedNamingIt_data();
    void start_clashWithAnotherWorld_refusedNamingIt();
    void reattach_eachServerTakenBackIntoItsWorld();
    void restart_clashSinceTheCrash_refusedWithItsSentence_data();
    void restart_clashSinceTheCrash_refusedWithItsSentence();
    void idle_noWorldRunsATimer_data();
    void idle_noWorldRunsATimer();
};

void tst_Worlds::worlds_firstAsTodayFurtherInTheirOwnGroups()
{
    QTemporaryDir folder;
    const std::string file = osPath(folder.filePath(QStringLiteral("paddock.conf")));
    UserDefaults store(file);
    store.setString(MOOExecutableURL, "/srv/moo");
    MooController::writeFormatDefaults(store);
    const QByteArray oneWorld = readFile(file);
    Worlds worlds(store);
    {
        WorldServers servers(worlds);
        QCOMPARE(worlds.ids(), QStringList{Worlds::firstWorld()});
    }
    QCOMPARE(readFile(file), oneWorld);

    // Further worlds go into groups of their own; the first world's keys stay as they were.
    QCOMPARE(worlds.add(QStringLiteral("Test copy")), std::optional<QString>(Second));
    QCOMPARE(worlds.duplicate(Worlds::firstWorld(), QStringLiteral("Old")),
             std::optional<QString>(QStringLiteral("World3")));
    QCOMPARE(worlds.settings(Second)->stringForKey(MOOExecutableURL), std::nullopt);
    QCOMPARE(worlds.settings(Second)->stringForKey(MOONewDBNameFormat), std::string("%@.new"));
    QCOMPARE(worlds.settings(QStringLiteral("World3"))->stringForKey(MOOExecutableURL),
             std::string("/srv/moo"));
    QVERIFY(
        readFile(file).startsWith(QByteArray(oneWorld + "MOOWorlds=World2 World3\n\n[World2]\n")));
    QVERIFY(worlds.rename(Second, QStringLiteral("Live")));
    QVERIFY(worlds.rename(Second, QStringLiteral("LIVE"))); // its own name is no clash
    QVERIFY(!worlds.rename(QStringLiteral("World3"), QStringLiteral("live")));
    QCOMPARE(worlds.name(Second), QStringLiteral("LIVE"));

    // Removed: off the list, its settings kept, its group never handed to a new world.
    QVERIFY(!worlds.remove(Worlds::firstWorld()));
    QVERIFY(worlds.remove(Second));
    QCOMPARE(worlds.ids(), (QStringList{Worlds::firstWorld(), QStringLiteral("World3")}));
    QCOMPARE(worlds.settings(Second)->stringForKey(QStringLiteral("MOOWorldName")),
             std::string("LIVE"));
    QCOMPARE(worlds.add(QStringLiteral("Live")), std::optional<QString>(QStringLiteral("World4")));

    // A list edited by hand makes no world of another group.
    store.setString(QStringLiteral("MOOWorlds"), "World4 General ../x World4");
    QCOMPARE(worlds.ids(), (QStringList{Worlds::firstWorld(), QStringLiteral("World4")}));
}

void tst_Worlds::names_refusedWhenEmptyOrTaken_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("refused");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("blanks") << QStringLiteral("  ") << true;
    QTest::newRow("the first world's, in other case") << QStringLiteral("first WORLD") << true;
    QTest::newRow("another world's, with blanks") << QStringLiteral(" test copy ") << true;
    QTest::newRow("new") << QStringLiteral("Test copy 2") << false;
}

void tst_Worlds::names_refusedWhenEmptyOrTaken()
{
    QFETCH(QString, name);
    QFETCH(bool, refused);
    TwoWorlds two;
    const QByteArray before = readFile(two.store.filePath());
    QCOMPARE(two.worlds.nameProblem(name).isEmpty(), !refused);
    QCOMPARE(bool(two.worlds.duplicate(Second, name)), !refused);
    if (refused)
        QCOMPARE(readFile(two.store.filePath()), before); // nothing stored
}

void tst_Worlds::twoWorlds_oneStoppedTheOtherRunsAndLogsAlone()
{
    TwoWorlds two;
    WorldServers servers(two.worlds);
    QVERIFY(start(servers, Worlds::firstWorld(), two.folder.path(),
                  "stdout first world\ntick-ms 20\n"));
    QVERIFY(start(servers, Second, two.folder.path(),
                  "usr2-handler\nstdout second world\ntick-ms 20\n"));
    MooController &first = controllerOf(servers, Worlds::firstWorld());
    MooController &second = controllerOf(servers, Second);
    QTRY_VERIFY_WITH_TIMEOUT(
        contains(logOf(first), "first world") && contains(logOf(second), "second world"), 10000);
    // Each server recorded for its own world.
    std::map<int, std::string> worldOf;
    for (const ServerRecord &record : readServerRecords(serverRecordFolder()).records)
        worldOf[record.serverPid] = record.world;
    QCOMPARE(worldOf[first.task()->processIdentifier()], std::string());
    QCOMPARE(worldOf[second.task()->processIdentifier()], std::string("World2"));

    // Checkpoint Now reaches its own world's server alone.
    ServerLife &secondLife = servers.server(Second)->life();
    QCOMPARE(secondLife.checkpointNow(), ServerLife::CheckpointRequest::Sent);
    QTRY_COMPARE_WITH_TIMEOUT(secondLife.checkpointVerdict(),
                              ServerLife::CheckpointVerdict::Finished, 10000);
    QCOMPARE(servers.server(Worlds::firstWorld())->life().checkpointVerdict(),
             ServerLife::CheckpointVerdict::None);

    TerminationWatch ended(first.task());
    servers.server(Worlds::firstWorld())->life().stop();
    QVERIFY(ended.wait());
    QVERIFY(!first.isMooRunning());
    QVERIFY(second.isMooRunning());
    const std::size_t logged = logOf(second).size();
    QTRY_VERIFY_WITH_TIMEOUT(logOf(second).size() > logged + 100, 10000);
    // Each log, and each log file, holds its own world's output alone.
    QVERIFY(!contains(logOf(first), "second world") && !contains(logOf(first), "CHECKPOINTING"));
    QVERIFY(!contains(logOf(second), "first world"));
    QVERIFY(!readFile(two.folder.filePath(QStringLiteral("World2/server.log"))).contains("first"));
    QCOMPARE(servers.server(Second)->life().state(), ServerLife::State::Running);
}

void tst_Worlds::start_clashWithAnotherWorld_refusedNamingIt_data()
{
    QTest::addColumn<bool>("sameFolder");
    QTest::addColumn<bool>("firstStopped");
    QTest::addColumn<QString>("before"); // the second world's arguments; PORT is the first's
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("refusal"); // empty: the second world starts
    const QString folder = QStringLiteral("The world “First world” has its databases in");
    const QString port = QStringLiteral("The world “First world” uses port PORT");
    QTest::newRow("same folder") << true << false << QString() << QString() << folder;
    QTest::newRow("same folder, the other stopped")
        << true << true << QString() << QString() << folder;
    QTest::newRow("port last") << false << false << QString() << QStringLiteral("PORT") << port;
    QTest::newRow("-p port") << false << false << QStringLiteral("-p PORT") << QString() << port;
    QTest::newRow("--port=port") << false << false << QStringLiteral("--port=PORT") << QString()
                                 << port;
    QTest::newRow("another folder and port")
        << false << false << QString() << QString() << QString();
}

void tst_Worlds::start_clashWithAnotherWorld_refusedNamingIt()
{
    QFETCH(bool, sameFolder);
    QFETCH(bool, firstStopped);
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QString, refusal);
    TwoWorlds two;
    WorldServers servers(two.worlds);
    QVERIFY(start(servers, Worlds::firstWorld(), two.folder.path(), "listen 0\n"));
    const ServerLife &firstLife = servers.server(Worlds::firstWorld())->life();
    QTRY_VERIFY_WITH_TIMEOUT(!firstLife.ports().isEmpty(), 10000);
    const QString port = QString::number(firstLife.ports().constFirst());
    if (firstStopped) {
        TerminationWatch ended(controllerOf(servers, Worlds::firstWorld()).task());
        servers.server(Worlds::firstWorld())->life().stop();
        QVERIFY(ended.wait());
    }
    const std::unique_ptr<UserDefaults> settings = two.worlds.settings(Second);
    settings->setString(MOOArgumentsBefore,
                        QString(before).replace(QStringLiteral("PORT"), port).toStdString());
    settings->setString(MOOArgumentsAfter,
                        QString(after).replace(QStringLiteral("PORT"), port).toStdString());

    MooController &second = controllerOf(servers, Second);
    QSignalSpy failed(&second, &MooController::launchFailed);
    const std::string db =
        sameFolder ? writeDatabase(two.folder.filePath(QStringLiteral("first")), "copy.db", "")
                   : writeDatabase(two.folder.path(), "copy.db", "");
    QCOMPARE(second.startFromDatabase(db), refusal.isEmpty());
    QCOMPARE(second.isMooRunning(), refusal.isEmpty());
    if (!refusal.isEmpty()) {
        QCOMPARE(failed.count(), 1);
        const QString sentence = failed.at(0).at(0).toString();
        QVERIFY2(sentence.startsWith(QString(refusal).replace(QStringLiteral("PORT"), port)),
                 qPrintable(sentence));
    }
}

void tst_Worlds::reattach_eachServerTakenBackIntoItsWorld()
{
    TwoWorlds two;
    int pids[2] = {};
    {
        WorldServers servers(two.worlds);
        QVERIFY(start(servers, Worlds::firstWorld(), two.folder.path(), "tick-ms 20\n"));
        QVERIFY(start(servers, Second, two.folder.path(), "tick-ms 20\n"));
        pids[0] = controllerOf(servers, Worlds::firstWorld()).task()->processIdentifier();
        pids[1] = controllerOf(servers, Second).task()->processIdentifier();
    } // the controllers go as when Paddock is killed; the servers and their keepers run on

    WorldServers servers(two.worlds);
    servers.reattachAll();
    const QStringList ids{Worlds::firstWorld(), Second};
    for (int i = 0; i < 2; ++i) {
        MooController &controller = controllerOf(servers, ids[i]);
        QVERIFY(controller.isMooRunning());
        QCOMPARE(controller.task()->processIdentifier(), pids[i]);
        QVERIFY(contains(*controller.dbPath(), (i == 0 ? "/first/" : "/World2/")));
        const std::size_t logged = logOf(controller).size();
        QTRY_VERIFY_WITH_TIMEOUT(logOf(controller).size() > logged + 100, 10000);
    }
    for (const QString &id : ids) {
        TerminationWatch ended(controllerOf(servers, id).task());
        servers.server(id)->life().stop();
        QVERIFY(ended.wait());
    }
    QTRY_VERIFY_WITH_TIMEOUT(readServerRecords(serverRecordFolder()).records.empty(), 10000);
    QVERIFY(!isProcessAlive(pids[0]) && !isProcessAlive(pids[1]));
}

void tst_Worlds::restart_clashSinceTheCrash_refusedWithItsSentence_data()
{
    QTest::addColumn<bool>("automatic"); // the restart after a crash, else the user's Start Again
    QTest::newRow("restart after a crash") << true;
    QTest::newRow("Start Again") << false;
}

void tst_Worlds::restart_clashSinceTheCrash_refusedWithItsSentence()
{
    QFETCH(bool, automatic);
    TwoWorlds two;
    two.worlds.settings(Second)->setString(MOORestartAfterCrash, automatic ? "1" : "0");
    WorldServers servers(two.worlds);
    ServerLife &life = servers.server(Second)->life();
    life.setRestartPolicy({std::chrono::milliseconds(1)});
    // While the crashed world waits, the first world takes a database in its folder.
    connect(&life, &ServerLife::notice, &life, [&](ServerLife::Notice kind) {
        if (kind == ServerLife::Notice::Crashed)
            controllerOf(servers, Worlds::firstWorld())
                .setDbPath(
                    makeString(osPath(two.folder.filePath(QStringLiteral("World2/old.db")))));
    });
    QSignalSpy notices(&life, &ServerLife::notice);
    ServerStatus status(controllerOf(servers, Second), life);
    QVERIFY(start(servers, Second, two.folder.path(), "crash KILL\n"));
    const QString clash = QStringLiteral("The world “First world” has its databases in");
    QString told;
    if (automatic) {
        QTRY_VERIFY_WITH_TIMEOUT(!notices.isEmpty() &&
                                     notices.constLast().at(0).value<ServerLife::Notice>() ==
                                         ServerLife::Notice::RestartGivenUp,
                                 10000);
        told = notices.constLast().at(1).toString();
        // No launch was tried: the crash stays the state, restarting is given up, and the
        // status says why.
        QCOMPARE(life.state(), ServerLife::State::Ended);
        QCOMPARE(life.end(), ServerEnd::Crashed);
        QVERIFY(life.restartGivenUp());
        QVERIFY2(status.text().contains(u". It was not started again: " + clash),
                 qPrintable(status.text()));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(life.state(), ServerLife::State::Ended, 10000);
        try {
            life.startAgain();
        } catch (const LaunchError &error) {
            told = QString::fromLocal8Bit(error.what());
        }
    }
    QVERIFY2(told.contains(clash), qPrintable(told));
    QVERIFY(!servers.server(Second)->isRunning());
    // Scripts asking the status can tell a crash left for someone from one to be restarted.
    WorldServer &server = *servers.server(Second);
    const QJsonObject report =
        statusReport(server.controller(), life, server.players(), server.watch().state());
    QCOMPARE(report.value(QStringLiteral("state")).toString(), QStringLiteral("crashed"));
    QCOMPARE(report.value(QStringLiteral("restartGivenUp")).toBool(), automatic);
}

void tst_Worlds::idle_noWorldRunsATimer_data()
{
    QTest::addColumn<QByteArray>("script"); // what each world's server did; empty: none ran
    QTest::addColumn<bool>("stopped");      // ended by the user's Stop
    QTest::newRow("never started") << QByteArray() << false;
    QTest::newRow("stopped after listening, answers checked")
        << QByteArray("listen 0\nlogin Ann 5\n") << true;
    QTest::newRow("shut down from inside") << QByteArray("exit 0\n") << false;
    QTest::newRow("crashed, no restart wanted") << QByteArray("crash SEGV\n") << false;
}

void tst_Worlds::idle_noWorldRunsATimer()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, stopped);
    TwoWorlds worlds;
    worlds.addWorld(QStringLiteral("Old"));
    worlds.addWorld(QStringLiteral("Older"));
    WorldServers servers(worlds.worlds);
    QList<QObject *> parts{&servers, QCoreApplication::instance()};
    for (const QString &id : worlds.worlds.ids()) {
        WorldServer &world = *servers.server(id);
        worlds.worlds.settings(id)->setString(MOOCheckAnswers, "1");
        parts << &world.controller() << &world.life() << &world.generations() << &world.players()
              << &world.watch() << &world.snapshots();
        if (script.isEmpty())
            continue;
        QVERIFY(start(servers, id, worlds.folder.path(), script.toStdString()));
        if (stopped) {
            QTRY_VERIFY_WITH_TIMEOUT(world.players().count() == 1, 10000);
            world.life().stop();
        }
    }
    for (const QString &id : worlds.worlds.ids()) {
        const ServerLife &life = servers.server(id)->life();
        QTRY_VERIFY_WITH_TIMEOUT(!servers.server(id)->isRunning() && life.runOutputEnded(), 10000);
    }
    // Nothing wakes Paddock once every world is idle (a stop's short wait for the last lines
    // may still end first).
    QTRY_VERIFY2_WITH_TIMEOUT(objectsWithRunningTimers(parts).isEmpty(),
                              qPrintable(objectsWithRunningTimers(parts).join(u", ")), 10000);
}

PADDOCK_TEST_MAIN(tst_Worlds)
#include "tst_worlds.moc"

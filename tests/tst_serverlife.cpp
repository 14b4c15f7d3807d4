// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "OutputDatabase.h"
#include "ServerLife.h"
#include "SettingsKeys.h"

#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>

using namespace paddock;
using namespace paddock::test;
using namespace std::chrono_literals;

Q_DECLARE_METATYPE(paddock::ServerEnd)

namespace {

// A clock the test moves by hand, so "later" needs no waiting.
struct FakeClock {
    SteadyClock::time_point now = SteadyClock::time_point() + 1h;
    ServerLife::Now function()
    {
        return [this] { return now; };
    }
};

} // namespace

class tst_ServerLife final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void end_recordedSituations_stateAndRestartDecision_data();
    void end_recordedSituations_stateAndRestartDecision();
    void planner_crashSequence_delaysAndGivingUp_data();
    void planner_crashSequence_delaysAndGivingUp();
    void checkpointNow_handlerOrNot_sendsOnlyWhenCaught_data();
    void checkpointNow_handlerOrNot_sendsOnlyWhenCaught();
    void startOn_outputOverInput_restartRefusesAndPanicStartAsks_data();
    void startOn_outputOverInput_restartRefusesAndPanicStartAsks();
    void restart_crashesThrice_restartsFromNewestDatabaseThenGivesUp();
};

void tst_ServerLife::end_recordedSituations_stateAndRestartDecision_data()
{
    QTest::addColumn<QByteArray>("script"); // "ready" then "wait-usr1" lets the test act first
    QTest::addColumn<bool>("later");        // the end comes after the first seconds
    QTest::addColumn<bool>("userStop");
    QTest::addColumn<bool>("panicDump");
    QTest::addColumn<ServerEnd>("end");
    QTest::addColumn<ServerLife::State>("state");
    QTest::addColumn<QByteArray>("restartFrom"); // the file name; empty: no restart

    using S = ServerLife::State;
    const QByteArray waitThen = "stdout ready\nwait-usr1\n";
    QTest::newRow("signal") << QByteArray("crash ABRT") << false << false << false
                            << ServerEnd::Crashed << S::WaitingToRestart << QByteArray("in.db");
    QTest::newRow("signal after a checkpoint")
        << QByteArray("checkpoint\ncrash SEGV") << false << false << false << ServerEnd::Crashed
        << S::WaitingToRestart << QByteArray("out.db");
    QTest::newRow("early exit") << QByteArray("stderr *** Port 7777 in use\nexit 1") << false
                                << false << false << ServerEnd::FailedToStart << S::Ended
                                << QByteArray();
    QTest::newRow("late exit") << waitThen + "exit 1" << true << false << false
                               << ServerEnd::Crashed << S::WaitingToRestart << QByteArray("in.db");
    QTest::newRow("exit 0: shut down inside")
        << QByteArray("exit 0") << true << false << false << ServerEnd::ShutDownFromInside
        << S::Ended << QByteArray();
    QTest::newRow("our stop") << QByteArray() << true << true << false << ServerEnd::Stopped
                              << S::Ended << QByteArray();
    QTest::newRow("panic dump left")
        << waitThen + "crash ABRT" << true << false << true << ServerEnd::Crashed
        << S::WaitingToRestart << QByteArray("in.db");
}

void tst_ServerLife::end_recordedSituations_stateAndRestartDecision()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, later);
    QFETCH(bool, userStop);
    QFETCH(bool, panicDump);
    QFETCH(ServerEnd, end);
    QFETCH(ServerLife::State, state);
    QFETCH(QByteArray, restartFrom);

    ControllerFixture fixture;
    fixture.store().setString(MOORestartAfterCrash, "1");
    FakeClock clock;
    ServerLife life(fixture.controller());
    life.setClock(clock.function());
    RestartPolicy policy;
    policy.firstDelay = 1h; // the restart is only decided, never carried out here
    life.setRestartPolicy(policy);

    fixture.launch(script.toStdString());
    const std::shared_ptr<Task> server = fixture.controller().task();
    if (later)
        clock.now += 30s;
    if (script.contains("wait-usr1")) {
        QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "ready"), 10000);
        if (panicDump) {
            QFile dump(fixture.folder() + QStringLiteral("/out.db.PANIC"));
            QVERIFY(dump.open(QIODevice::WriteOnly));
        }
        QVERIFY(server->sendSignal(SIGUSR1));
    }
    if (userStop) {
        QTRY_COMPARE_WITH_TIMEOUT(life.state(), ServerLife::State::Running, 10000);
        life.stop();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!server->isRunning(), 10000);
    QCOMPARE(life.end(), end);
    QCOMPARE(life.state(), state);
    QCOMPARE(!life.panicFile().empty(), panicDump);
    if (end == ServerEnd::FailedToStart)
        QTRY_VERIFY_WITH_TIMEOUT(life.lastErrorLine().contains(QStringLiteral("in use")), 10000);
    if (!restartFrom.isEmpty()) {
        // The checkpoint's lines may be read just after the end is seen.
        const std::string expected =
            resolvedOutputPath(*fixture.controller().dbPath(), restartFrom.toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(life.plannedRestartDatabase(), expected, 10000);
        QVERIFY(life.restartAt().has_value());
    }
}

void tst_ServerLife::planner_crashSequence_delaysAndGivingUp_data()
{
    QTest::addColumn<QList<int>>("crashMinutes"); // when each crash came
    QTest::addColumn<QList<int>>("runMinutes");   // how long each crashed run had lasted
    QTest::addColumn<QList<int>>("delaySeconds"); // -1: given up
    QTest::newRow("three within ten minutes")
        << QList<int>{0, 1, 2} << QList<int>{0, 0, 0} << QList<int>{5, 10, -1};
    QTest::newRow("doubling up to five minutes")
        << QList<int>{0, 6, 12, 18, 24, 30, 36} << QList<int>{0, 5, 5, 5, 5, 5, 5}
        << QList<int>{5, 10, 20, 40, 80, 160, 300};
    QTest::newRow("a long run begins anew")
        << QList<int>{0, 6, 20} << QList<int>{0, 5, 13} << QList<int>{5, 10, 5};
    QTest::newRow("third just outside the window")
        << QList<int>{0, 5, 10} << QList<int>{0, 4, 4} << QList<int>{5, 10, 20};
}

void tst_ServerLife::planner_crashSequence_delaysAndGivingUp()
{
    QFETCH(QList<int>, crashMinutes);
    QFETCH(QList<int>, runMinutes);
    QFETCH(QList<int>, delaySeconds);
    RestartPlanner planner;
    const SteadyClock::time_point start;
    for (qsizetype i = 0; i < crashMinutes.size(); ++i) {
        const auto delay = planner.crashed(start + std::chrono::minutes(crashMinutes[i]),
                                           std::chrono::minutes(runMinutes[i]));
        QCOMPARE(delay ? int(delay->count() / 1000) : -1, delaySeconds[i]);
    }
}

void tst_ServerLife::checkpointNow_handlerOrNot_sendsOnlyWhenCaught_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("outputName");
    QTest::addColumn<ServerLife::CheckpointRequest>("request");
    QTest::addColumn<ServerLife::CheckpointVerdict>("verdict");
    using R = ServerLife::CheckpointRequest;
    using V = ServerLife::CheckpointVerdict;
    QTest::newRow("no handler: refused")
        << QByteArray("stdout ready") << QByteArray("out.db") << R::NotCaught << V::None;
    QTest::newRow("handler: finished") << QByteArray("usr2-handler\nstdout ready")
                                       << QByteArray("out.db") << R::Sent << V::Finished;
    // A regular file where the output's folder should be: the server abandons the checkpoint.
    QTest::newRow("handler: abandoned") << QByteArray("usr2-handler\nstdout ready")
                                        << QByteArray("blocker/out.db") << R::Sent << V::Failed;
}

void tst_ServerLife::checkpointNow_handlerOrNot_sendsOnlyWhenCaught()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, outputName);
    QFETCH(ServerLife::CheckpointRequest, request);
    QFETCH(ServerLife::CheckpointVerdict, verdict);
    ControllerFixture fixture;
    writeDatabase(fixture.folder(), "blocker", "");
    ServerLife life(fixture.controller());
    QSignalSpy notices(&life, &ServerLife::notice);
    fixture.launch(script.toStdString(), outputName.toStdString());
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "ready"), 10000);
    QCOMPARE(life.checkpointNow(), request);
    QTRY_COMPARE_WITH_TIMEOUT(life.checkpointVerdict(), verdict, 10000);
    QCOMPARE(life.lastCheckpoint().has_value(), verdict == ServerLife::CheckpointVerdict::Finished);
    QCOMPARE(!life.checkpointWarning().isEmpty(), verdict == ServerLife::CheckpointVerdict::Failed);
    QCOMPARE(notices.size(), verdict == ServerLife::CheckpointVerdict::Failed ? 1 : 0);
    if (request == ServerLife::CheckpointRequest::NotCaught)
        QVERIFY(!contains(fixture.log(), "CHECKPOINTING"));
    QVERIFY(fixture.controller().task()->isRunning());
}

void tst_ServerLife::startOn_outputOverInput_restartRefusesAndPanicStartAsks_data()
{
    QTest::addColumn<bool>("restart"); // a restart after the crash, else the user's panic start
    QTest::addColumn<bool>("yes");     // what the user would answer
    QTest::newRow("restart: nobody is asked, refused") << true << true;
    QTest::newRow("from the panic dump, cancelled") << false << false;
    QTest::newRow("from the panic dump, accepted") << false << true;
}

void tst_ServerLife::startOn_outputOverInput_restartRefusesAndPanicStartAsks()
{
    QFETCH(bool, restart);
    QFETCH(bool, yes);
    ControllerFixture fixture;
    fixture.store().setString(MOORestartAfterCrash, restart ? "1" : "0");
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    standard.setString(MOONewDBNameFormat, "%@");
    const auto restore = qScopeGuard(
        [&standard] { standard.setString(MOONewDBNameFormat, DefaultNewDBNameFormat); });
    int asked = 0;
    fixture.controller().setConfirmRisk(
        [&](const QString &, const QString &) { return ++asked, yes; });
    ServerLife life(fixture.controller());
    life.setRestartPolicy({1ms});
    fixture.launch("stdout ready\nwait-usr1\ncrash ABRT\n");
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "ready"), 10000);
    QVERIFY(QFile(fixture.folder() + QStringLiteral("/out.db.PANIC")).open(QIODevice::WriteOnly));
    QVERIFY(fixture.controller().task()->sendSignal(SIGUSR1));

    if (restart) {
        // At 3 a.m. nobody answers: a restart never writes over its input on its own, and
        // restarting stops there, after the crash, with no launch tried.
        QTRY_VERIFY_WITH_TIMEOUT(life.restartGivenUp(), 10000);
        QCOMPARE(life.state(), ServerLife::State::Ended);
        QVERIFY2(life.restartRefusal().contains(u"overwrite"), qPrintable(life.restartRefusal()));
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!life.panicFile().empty(), 10000);
        life.startFromPanicFile();
    }
    QCOMPARE(asked, int(!restart));
    QCOMPARE(fixture.controller().isMooRunning(), !restart && yes);
    QCOMPARE(*fixture.controller().newDbPath(),
             std::string(restart || !yes ? "out.db" : "out.db.PANIC"));
}

void tst_ServerLife::restart_crashesThrice_restartsFromNewestDatabaseThenGivesUp()
{
    ControllerFixture fixture;
    fixture.store().setString(MOORestartAfterCrash, "1");
    FakeClock clock;
    ServerLife life(fixture.controller());
    life.setClock(clock.function());
    RestartPolicy policy;
    policy.firstDelay = 20ms;
    life.setRestartPolicy(policy);
    QSignalSpy notices(&life, &ServerLife::notice);
    // Each run checkpoints its output and crashes. The output is the input and a line, so it
    // holds the same script (whose last line ends, so the added line stays apart).
    fixture.launch("checkpoint\ncrash ABRT\n", "in.db.new");

    // Each start in order: the database it ran on, and where its output went.
    QStringList started, outputs;
    const auto record = [&] {
        const std::string db = *fixture.controller().dbPath();
        started << QString::fromStdString(db);
        outputs << QString::fromStdString(
            resolvedOutputPath(db, *fixture.controller().newDbPath()));
    };
    record();
    connect(&fixture.controller(), &MooController::newDbPathChanged, this, record);
    QTRY_VERIFY_WITH_TIMEOUT(life.restartGivenUp(), 10000);
    // Two restarts, each from the output the crashed run had checkpointed; the third gave up.
    QCOMPARE(started.size(), 3);
    QCOMPARE(started[1], outputs[0]);
    QCOMPARE(started[2], outputs[1]);
    QTRY_COMPARE_WITH_TIMEOUT(life.state(), ServerLife::State::Ended, 10000);
    QCOMPARE(life.end(), ServerEnd::Crashed);
    QCOMPARE(notices.last().at(0).value<ServerLife::Notice>(), ServerLife::Notice::RestartGivenUp);

    // A restart that cannot start the server is said as loudly as giving up. The wait before
    // it lasts milliseconds, so every state is recorded as it is entered, never polled.
    life.setRestartPolicy(policy);
    QList<ServerLife::State> states;
    connect(&life, &ServerLife::changed, this, [&] {
        if (states.isEmpty() || states.last() != life.state())
            states << life.state();
    });
    fixture.launch("wait-usr1\ncrash ABRT\n", "in.db.new");
    fixture.store().setString(MOOExecutableURL, "/nonexistent/moo");
    QVERIFY(fixture.controller().task()->sendSignal(SIGUSR1));
    QTRY_COMPARE_WITH_TIMEOUT(life.state(), ServerLife::State::LaunchFailed, 10000);
    using S = ServerLife::State;
    QCOMPARE(states, (QList<S>{S::Running, S::WaitingToRestart, S::LaunchFailed}));
    QVERIFY(life.restartGivenUp());
    QCOMPARE(notices.last().at(0).value<ServerLife::Notice>(), ServerLife::Notice::RestartGivenUp);
    QVERIFY2(notices.last().at(1).toString().contains(QStringLiteral("could not be started")),
             qPrintable(notices.last().at(1).toString()));
}

PADDOCK_TEST_MAIN(tst_ServerLife)
#include "tst_serverlife.moc"

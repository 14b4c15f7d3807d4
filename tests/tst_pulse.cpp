// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include <algorithm>

#include <QProcess>
#include <QScopeGuard>

#include "LogLineCategory.h"
#include "PlayerRoster.h"
#include "ResponsivenessJudge.h"
#include "RunPlayers.h"
#include "ServerLogLines.h"

#include <QSignalSpy>

using namespace paddock;
using namespace paddock::test;

Q_DECLARE_METATYPE(paddock::ServerLogKind)
Q_DECLARE_METATYPE(paddock::LogLineCategory)

class tst_Pulse final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void recognise_connectionLines_data();
    void recognise_connectionLines();
    void categorise_lines_data();
    void categorise_lines();
    void roster_lines_giveWhoIsOn_data();
    void roster_lines_giveWhoIsOn();
    void judge_situations_giveVerdict_data();
    void judge_situations_giveVerdict();
    void standIn_connectionsAndLogins_data();
    void standIn_connectionsAndLogins();
    void runPlayers_standInLogsInAndOut_rosterFollowsTheRun_data();
    void runPlayers_standInLogsInAndOut_rosterFollowsTheRun();
};

void tst_Pulse::recognise_connectionLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<ServerLogKind>("kind");
    QTest::addColumn<QByteArray>("player");
    QTest::addColumn<qlonglong>("object");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("remotePort");

    using K = ServerLogKind;
    const QByteArray none;
    QTest::newRow("lambda login")
        << QByteArray(
               "Dec  9 06:49:32: CONNECTED: Wizard (#2) on port 7777 from localhost, port 40312")
        << K::Connected << QByteArray("Wizard") << 2LL << QByteArray("localhost") << 7777 << 40312;
    QTest::newRow("lambda new player, a name with spaces")
        << QByteArray(
               "Dec  9 06:49:32: CREATED: New Guy (#105) on port 7777 from 10.0.0.5, port 5000")
        << K::Created << QByteArray("New Guy") << 105LL << QByteArray("10.0.0.5") << 7777 << 5000;
    QTest::newRow("toast notice, address in brackets")
        << QByteArray("Dec  9 06:49:32: !!! CONNECTED: Wizard (#2) on port 7777 from localhost "
                      "[127.0.0.1], port 40312")
        << K::Connected << QByteArray("Wizard") << 2LL << QByteArray("localhost [127.0.0.1]")
        << 7777 << 40312;
    QTest::newRow("toast in colour")
        << QByteArray("Dec  9 06:49:32: \x1b[1;32mCONNECTED: Wizard (#2) on port 7777 from "
                      "localhost, port 1\x1b[0m")
        << K::Connected << QByteArray("Wizard") << 2LL << QByteArray("localhost") << 7777 << 1;
    QTest::newRow("colour over the whole line")
        << QByteArray("\x1b[33mDec  9 06:49:32: > DISCONNECTED: Wizard (#2) on port 7777 from "
                      "h, port 2\x1b[m")
        << K::Disconnected << QByteArray("Wizard") << 2LL << QByteArray("h") << 7777 << 2;
    QTest::newRow("redirect: the new connection")
        << QByteArray("REDIRECTED: Wizard (#2), was port 7777 from a.net, port 1, now port 7777 "
                      "from b.net, port 2")
        << K::Redirected << QByteArray("Wizard") << 2LL << QByteArray("b.net") << 7777 << 2;
    QTest::newRow("client closed before logging in")
        << QByteArray("### CLIENT DISCONNECTED: #-4 on port 7777 from localhost, port 40313")
        << K::ClientDisconnected << none << -4LL << QByteArray("localhost") << 7777 << 40313;
    QTest::newRow("accepted")
        << QByteArray("Dec  9 06:49:32: > ACCEPT: #-4 on port 8888 from localhost [::1], port 9")
        << K::Accepted << none << -4LL << QByteArray("localhost [::1]") << 8888 << 9;
    QTest::newRow("a name holding a number")
        << QByteArray("CONNECTED: Odd (#1) Name (#7) on port 7777 from h, port 2") << K::Connected
        << QByteArray("Odd (#1) Name") << 7LL << QByteArray("h") << 7777 << 2;
    QTest::newRow("a connection of another shape")
        << QByteArray("DISCONNECTED: Wizard (#2) on a pipe") << K::Disconnected
        << QByteArray("Wizard") << 2LL << QByteArray("a pipe") << 0 << 0;
    QTest::newRow("loading") << QByteArray("Dec  9 06:49:32: LOADING: castle.db") << K::Loading
                             << none << 0LL << none << 0 << 0;
    QTest::newRow("failed listen")
        << QByteArray("Dec  9 06:49:32: *** Binding listening socket: Address already in use")
        << K::ListenFailed << none << 0LL << none << 0 << 0;
    // Look-alikes that log no one in or out.
    const auto lookAlike = [](const char *name, const char *line) {
        QTest::newRow(name) << QByteArray(line) << K::Other << QByteArray() << 0LL << QByteArray()
                            << 0 << 0;
    };
    lookAlike("no object", "CONNECTED: Wizard on port 7777 from h, port 2");
    lookAlike("a login without a player", "CONNECTED: #-3 on port 7777 from h, port 2");
    lookAlike("accepted with a name", "ACCEPT: Wizard (#2) on port 7777 from h, port 2");
    lookAlike("not a number", "CONNECTED: Wizard (#2x) on port 7777");
    lookAlike("quoted by someone", "> Wizard says, \"CONNECTED: Bob (#3) on port 7777\"");
    lookAlike("another word", "CONNECTEDNESS: Bob (#3) on port 7777");
    lookAlike("the greeting", "*** Connected ***");
    lookAlike("lower case", "connected: bob (#3) on port 7777 from h, port 2");
}

void tst_Pulse::recognise_connectionLines()
{
    QFETCH(QByteArray, line);
    std::string scratch;
    const ServerLogLine got = recogniseServerLogLine(withoutColours(viewOf(line), scratch));
    QTEST(got.kind, "kind");
    QTEST(bytesOf(got.player), "player");
    QTEST(qlonglong(got.object), "object");
    QTEST(bytesOf(got.host), "host");
    QTEST(got.port, "port");
    QTEST(got.remotePort, "remotePort");
    // The run recognises lines for the roster through a cheap test first: it never turns a
    // connection line away, and finds the same.
    std::string runScratch;
    const std::optional<RecognisedLine> run = recogniseNoteworthyLine(viewOf(line), runScratch);
    QCOMPARE(run ? run->line.kind : ServerLogKind::Other, got.kind);
    if (run)
        QCOMPARE(bytesOf(run->line.player), bytesOf(got.player));
}

void tst_Pulse::categorise_lines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<LogLineCategory>("category");
    using C = LogLineCategory;
    const QByteArray stamp("Dec  9 06:49:32: ");
    QTest::newRow("marked error") << stamp + "*** Trying to dump database: No space" << C::Error;
    QTest::newRow("panic unmarked") << stamp + "PANIC: Caught signal 11" << C::Error;
    QTest::newRow("failed listen") << stamp + "!!! Failed to bind to port 7777" << C::Error;
    QTest::newRow("abandoned checkpoint") << stamp + "Abandoning checkpoint attempt..." << C::Error;
    QTest::newRow("retried dump") << stamp + "Waiting 60 seconds and retrying dump..." << C::Error;
    QTest::newRow("error in colour") << QByteArray("\x1b[31m*** PANIC\x1b[0m") << C::Error;
    QTest::newRow("warning") << stamp + "### Could not resolve host" << C::Warning;
    QTest::newRow("notice") << stamp + "!!! Database is old" << C::Warning;
    QTest::newRow("a warning about a login") << stamp + "### CONNECTED: W (#2) on x" << C::Warning;
    QTest::newRow("login") << stamp + "> CONNECTED: W (#2) on port 1 from h, port 2"
                           << C::Connection;
    QTest::newRow("accepted") << QByteArray("ACCEPT: #-1 on port 1 from h, port 2")
                              << C::Connection;
    QTest::newRow("checkpoint") << stamp + "CHECKPOINTING on a.db.#1# finished" << C::Checkpoint;
    QTest::newRow("dump") << stamp + "DUMPING on a.db.#2# ..." << C::Checkpoint;
    QTest::newRow("listening") << stamp + "LISTEN: #0 now listening on port 7777" << C::None;
    QTest::newRow("a quoted mark") << stamp + "Wizard says, \"*** oops\"" << C::None;
    QTest::newRow("the word error") << stamp + "compile error in #5:foo" << C::None;
    QTest::newRow("empty") << QByteArray() << C::None;
    QTest::newRow("login in colour")
        << stamp + "\x1b[32mCREATED: W (#2) on port 1" << C::Connection;
    QTest::newRow("colour inside the stamp")
        << QByteArray("Dec \x1b[0m 9 06:49:32: DUMPING on a ...") << C::Checkpoint;
    QTest::newRow("redirected, unmarked")
        << stamp + "REDIRECTED: W (#2), was port 1 from h, port 2, now port 1 from i, port 3"
        << C::Connection;
}

void tst_Pulse::categorise_lines()
{
    QFETCH(QByteArray, line);
    QFETCH(LogLineCategory, category);
    QCOMPARE(categoryOfLogLine(viewOf(line)), category);
    // The glance a filter takes before the parser never leaves a line's category out.
    QVERIFY(possibleCategories(viewOf(line)) & categoryBit(category));
}

void tst_Pulse::roster_lines_giveWhoIsOn_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArrayList>("players"); // name #object from:port since, longest on first

    const QByteArray bob = "Dec 31 23:50:00: CONNECTED: Bob (#3) on port 7777 from b.net, port 5";
    QTest::newRow("in and out")
        << QByteArrayList{"Dec 31 23:40:00: CONNECTED: Wizard (#2) on port 7777 from a.net, port 4",
                          bob,
                          "Dec 31 23:55:00: DISCONNECTED: Wizard (#2) on port 7777 from a.net, "
                          "port 4"}
        << QByteArrayList{"Bob #3 b.net:7777 2026-12-31 23:50:00"};
    QTest::newRow("both formats, without a stamp")
        << QByteArrayList{"!!! CREATED: Ann (#9) on port 8888 from h [10.0.0.1], port 1", bob}
        << QByteArrayList{"Ann #9 h [10.0.0.1]:8888 2027-01-01 00:10:00",
                          "Bob #3 b.net:7777 2026-12-31 23:50:00"};
    QTest::newRow("a redirect moves, counts no one")
        << QByteArrayList{bob, "Jan  1 00:05:00: REDIRECTED: Bob (#3), was port 7777 from b.net, "
                               "port 5, now port 7777 from c.net, port 6"}
        << QByteArrayList{"Bob #3 c.net:7777 2026-12-31 23:50:00"};
    QTest::newRow("a redirect of someone not listed")
        << QByteArrayList{"REDIRECTED: Bob (#3), was port 1 from b.net, port 5, now port 1 from "
                          "c.net, port 6"}
        << QByteArrayList{"Bob #3 c.net:1 2027-01-01 00:10:00"};
    QTest::newRow("out without in")
        << QByteArrayList{"DISCONNECTED: Ghost (#9) on port 1 from h, port 2", bob}
        << QByteArrayList{"Bob #3 b.net:7777 2026-12-31 23:50:00"};
    QTest::newRow("connections not logged in")
        << QByteArrayList{"ACCEPT: #-3 on port 7777 from h, port 2", bob,
                          "CLIENT DISCONNECTED: #-3 on port 7777 from h, port 2"}
        << QByteArrayList{"Bob #3 b.net:7777 2026-12-31 23:50:00"};
    QTest::newRow("the client closes")
        << QByteArrayList{bob, "CLIENT DISCONNECTED: Bob (#3) on port 7777 from b.net, port 5"}
        << QByteArrayList{};
    QTest::newRow("a second login without a logout")
        << QByteArrayList{bob, "CONNECTED: Ann (#9) on port 1 from h, port 1",
                          "Jan  1 00:01:00: CONNECTED: Bob (#3) on port 7777 from d.net, port 7"}
        << QByteArrayList{"Ann #9 h:1 2027-01-01 00:10:00",
                          "Bob #3 d.net:7777 2027-01-01 00:01:00"};
    // Wizard code writes "> " lines through server_log: they can say anything.
    QTest::newRow("the database's own words")
        << QByteArrayList{bob,
                          "Jan  1 00:02:00: > CONNECTED: Mallory (#6) on port 7777 from m, "
                          "port 1",
                          "> DISCONNECTED: Bob (#3) on port 7777 from b.net, port 5"}
        << QByteArrayList{"Bob #3 b.net:7777 2026-12-31 23:50:00"};
}

void tst_Pulse::roster_lines_giveWhoIsOn()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArrayList, players);
    // Read just after midnight: a stamp of the 31st is of the year before.
    const QDateTime readAt(QDate(2027, 1, 1), QTime(0, 10));
    PlayerRoster roster;
    const auto feed = [&] {
        for (const QByteArray &line : lines)
            roster.take(recogniseServerLogLine(viewOf(line)), readAt);
    };
    const auto listed = [&] {
        QByteArrayList got;
        for (const OnlinePlayer &player : roster.players())
            got << QStringLiteral("%1 #%2 %3:%4 %5")
                       .arg(player.name)
                       .arg(player.object)
                       .arg(player.from)
                       .arg(player.port)
                       .arg(player.since.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                       .toUtf8();
        return got;
    };
    feed();
    QCOMPARE(listed(), players);
    QCOMPARE(qsizetype(roster.count()), players.size());
    // Rebuilt from the same lines of the log, as for a server Paddock finds running.
    roster.clear();
    feed();
    QCOMPARE(listed(), players);
}

void tst_Pulse::judge_situations_giveVerdict_data()
{
    // Steps at seconds on the clock: "S log LINE", "S proc STATE CPU-SECONDS [checkpointer]",
    // "S probe yes|no"; the verdict is taken at the last step's time. Threshold: 5 minutes.
    QTest::addColumn<QByteArrayList>("steps");
    QTest::addColumn<QByteArray>("verdict");

    const QByteArray listen("0 log LISTEN: #0 now listening on port 7777");
    // The process busy at full speed from second from to second to, sampled every 10 s.
    const auto busy = [](int from, int to) {
        QByteArrayList steps;
        for (int at = from; at <= to; at += 10)
            steps << QByteArray::number(at) + " proc R " + QByteArray::number(at);
        return steps;
    };
    QTest::newRow("loading: busy and quiet for long")
        << (QByteArrayList{"0 log LOADING: big.db"} + busy(0, 900)) << QByteArray("unknown");
    QTest::newRow("listening while still loading")
        << (QByteArrayList{listen, "5 log LOADING: big.db"} + busy(10, 900))
        << QByteArray("responding");
    QTest::newRow("quiet, idle and answering")
        << QByteArrayList{listen, "10 proc S 0", "70 probe yes", "600 proc S 0", "900 probe yes"}
        << QByteArray("responding");
    QTest::newRow("quiet, idle, not answering")
        << QByteArrayList{listen, "10 proc S 0", "100 probe no", "160 probe no", "400 proc S 0"}
        << QByteArray("not responding since 100");
    QTest::newRow("not answering, just under the threshold")
        << QByteArrayList{listen, "100 probe no", "399 proc S 0"} << QByteArray("responding");
    QTest::newRow("busy without a word")
        << (QByteArrayList{listen} + busy(10, 320)) << QByteArray("not responding since 10");
    QTest::newRow("busy, but logging")
        << (QByteArrayList{listen} + busy(10, 200) + QByteArrayList{"205 log ACCEPT: #-1 on x"} +
            busy(210, 490))
        << QByteArray("responding");
    QTest::newRow("busy, but answering") << (QByteArrayList{listen} + busy(10, 200) +
                                             QByteArrayList{"200 probe yes"} + busy(210, 490))
                                         << QByteArray("responding");
    QTest::newRow("half busy") << QByteArrayList{listen, "10 proc R 0", "100 proc R 45",
                                                 "400 proc R 195"}
                               << QByteArray("responding");
    QTest::newRow("stopped process")
        << QByteArrayList{listen, "5 proc S 0", "10 proc T 0", "200 proc T 0", "310 proc T 0"}
        << QByteArray("not responding since 10");
    QTest::newRow("stuck on a device")
        << QByteArrayList{listen, "10 proc D 0", "200 proc D 0", "320 proc D 0"}
        << QByteArray("not responding since 10");
    QTest::newRow("stopped, then continued")
        << QByteArrayList{listen, "10 proc T 0", "200 proc T 0", "210 proc S 0", "600 proc S 0"}
        << QByteArray("responding");
    QTest::newRow("checkpoint child: not answering meanwhile")
        << QByteArrayList{listen, "10 proc S 0 checkpointer", "100 probe no", "400 probe no",
                          "700 proc S 0 checkpointer"}
        << QByteArray("responding");
    QTest::newRow("not answering after the checkpoint child: counted from its end")
        << QByteArrayList{listen, "10 proc S 0 checkpointer", "100 probe no", "700 proc S 0",
                          "1000 probe no"}
        << QByteArray("not responding since 700");
    QTest::newRow("checkpoint in the process")
        << (QByteArrayList{listen, "10 log CHECKPOINTING on a.db.#1# ..."} + busy(10, 800))
        << QByteArray("responding");
    QTest::newRow("busy on after the checkpoint")
        << (QByteArrayList{listen, "10 log CHECKPOINTING on a.db.#1# ..."} + busy(10, 600) +
            QByteArrayList{"600 log CHECKPOINTING on a.db.#1# finished"} + busy(610, 900))
        << QByteArray("not responding since 600");
    QTest::newRow("retried dump")
        << QByteArrayList{listen,
                          "10 log DUMPING on a.db.#2# ...",
                          "20 log *** Trying to dump database: No space left on device",
                          "21 log *** Waiting 60 seconds and retrying dump...",
                          "30 proc D 1",
                          "200 probe no",
                          "900 proc D 2"}
        << QByteArray("responding");
    QTest::newRow("stopped after a retried dump finished")
        << QByteArrayList{listen, "10 log *** Waiting 60 seconds and retrying dump...",
                          "70 log DUMPING on a.db.#3# finished", "80 proc T 1", "380 proc T 1"}
        << QByteArray("not responding since 80");
    QTest::newRow("ended") << QByteArrayList{listen, "10 proc T 0", "600 proc Z 0"}
                           << QByteArray("unknown");
}

void tst_Pulse::judge_situations_giveVerdict()
{
    QFETCH(QByteArrayList, steps);
    using namespace std::chrono;
    const steady_clock::time_point start{hours(1)};
    steady_clock::time_point clock = start;
    ResponsivenessJudge judge(minutes(5), [&clock] { return clock; });
    for (const QByteArray &step : steps) {
        const QByteArrayList words = step.split(' ');
        clock = start + seconds(words.at(0).toInt());
        if (words.at(1) == "log") {
            const QByteArray line = step.mid(words.at(0).size() + 5);
            judge.takeLine(recogniseServerLogLine(viewOf(line)).kind);
        } else if (words.at(1) == "proc") {
            judge.takeSample({words.at(2).at(0), seconds(words.at(3).toInt()), words.size() > 4});
        } else {
            judge.takeProbe(words.at(2) == "yes");
        }
    }
    const ResponsivenessVerdict verdict = judge.verdict();
    QByteArray got = verdict.state == Responsiveness::Unknown      ? "unknown"
                     : verdict.state == Responsiveness::Responding ? "responding"
                                                                   : "not responding";
    if (verdict.since)
        got += " since " + QByteArray::number(
                               qlonglong(duration_cast<seconds>(*verdict.since - start).count()));
    QTEST(got, "verdict");
}

void tst_Pulse::standIn_connectionsAndLogins_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("answer"); // what a connection reads before the server ends
    QTest::addColumn<QByteArrayList>("players");
    QTest::newRow("answers, players in and out")
        << QByteArray("listen 0\nlogin Wizard 2\nlogin Bob 3\nlogout Wizard 2\n")
        << QByteArray("*** Connected ***\r\n") << QByteArrayList{"Bob"};
    QTest::newRow("frozen: connected by the kernel, never answered")
        << QByteArray("listen 0 0\n") << QByteArray() << QByteArrayList{};
}

void tst_Pulse::standIn_connectionsAndLogins()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, answer);
    QTemporaryDir folder;
    QProcess server;
    server.setWorkingDirectory(folder.path());
    server.start(test::qtPath(test::standInServerPath()),
                 {test::qtPath(test::writeDatabase(folder.path(), "in.db", script.toStdString())),
                  QStringLiteral("out.db")});
    const auto reap = qScopeGuard([&server] {
        server.kill();
        server.waitForFinished();
    });
    QByteArray log;
    const auto listeningPort = [&log] {
        for (const QByteArray &line : log.split('\n'))
            if (const ServerLogLine got = recogniseServerLogLine(viewOf(line));
                got.kind == ServerLogKind::Listening)
                return got.port;
        return 0;
    };
    QTRY_VERIFY_WITH_TIMEOUT((log += server.readAllStandardError(), listeningPort() > 0), 10000);
    const int port = listeningPort();
    UniqueFd connection;
    QByteArray got = test::readFromLoopback(connection, port, answer.size(), 10000);
    server.terminate();
    QVERIFY(server.waitForFinished(10000));
    got += test::readFromLoopback(connection, port, 1, 0);
    QCOMPARE(got, answer);

    PlayerRoster roster;
    log += server.readAllStandardError();
    for (const QByteArray &line : log.split('\n'))
        roster.take(recogniseServerLogLine(viewOf(line)), QDateTime::currentDateTime());
    QByteArrayList names;
    for (const OnlinePlayer &player : roster.players())
        names << player.name.toUtf8();
    QTEST(names, "players");
}

void tst_Pulse::runPlayers_standInLogsInAndOut_rosterFollowsTheRun_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArrayList>("players"); // on once the script has run
    QTest::newRow("in and out") << QByteArray(
                                       "login Wizard 2\nlogin Ann 5\nlogout Ann 5\nlogin Bob 6\n")
                                << QByteArrayList{"Wizard", "Bob"};
    QTest::newRow("stamped, marked, coloured, and the database's own")
        << QByteArray(
               "stderr Dec  9 06:49:32: !!! CONNECTED: Ann (#5) on port 7777 from h, port 1\n"
               "stdout \x1b[1;32mCREATED: Bob (#6) on port 7777 from h, port 2\x1b[0m\n"
               "stderr > CONNECTED: Mallory (#7) on port 7777 from m, port 3\n")
        << QByteArrayList{"Ann", "Bob"};
}

void tst_Pulse::runPlayers_standInLogsInAndOut_rosterFollowsTheRun()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArrayList, players);
    test::ControllerFixture fixture;
    RunPlayers on(fixture.controller());
    const auto names = [&on] {
        QByteArrayList got;
        for (const OnlinePlayer &player : on.roster().players())
            got << player.name.toUtf8();
        return got;
    };
    // Each stream keeps its order: once both last lines are in, every login line is.
    fixture.launch(script.toStdString() + "stderr all said\n");
    QVERIFY(on.following());
    QTRY_VERIFY_WITH_TIMEOUT(test::contains(fixture.log(), "stand-in-server: running") &&
                                 test::contains(fixture.log(), "all said"),
                             10000);
    // The streams are read apart, so lines on different ones may come in either order.
    QByteArrayList gotNames = names();
    std::sort(gotNames.begin(), gotNames.end());
    std::sort(players.begin(), players.end());
    QCOMPARE(gotNames, players);

    // The end of the run empties the roster: no one is on a server that is gone.
    QSignalSpy changed(&on, &RunPlayers::changed);
    test::TerminationWatch ended(fixture.controller().task());
    fixture.controller().stopMoo();
    QVERIFY(ended.wait());
    QTRY_VERIFY_WITH_TIMEOUT(!on.following(), 10000);
    QCOMPARE(on.count(), 0);
    QVERIFY(changed.count() > 0);
}

PADDOCK_TEST_MAIN(tst_Pulse)
#include "tst_pulse.moc"

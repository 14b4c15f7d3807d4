// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "ProbeConnections.h"
#include "ProcessInfo.h"
#include "ResponsivenessLines.h"
#include "ResponsivenessWatch.h"
#include "Run.h"
#include "SettingsKeys.h"

#include <QSignalSpy>

using namespace paddock;
using namespace paddock::test;
using namespace std::chrono_literals;

namespace {

QByteArray nameOf(Responsiveness state)
{
    switch (state) {
    case Responsiveness::Unknown:
        return "unknown";
    case Responsiveness::Responding:
        return "responding";
    case Responsiveness::NotResponding:
        return "not responding";
    }
    return {};
}

} // namespace

class tst_Responding final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void lines_prefilter_agreesWithParser_data();
    void lines_prefilter_agreesWithParser();
    void probeLines_lookAlikes_onlyProbesMatch_data();
    void probeLines_lookAlikes_onlyProbesMatch();
    void watch_standIn_verdictsOverTheRun_data();
    void watch_standIn_verdictsOverTheRun();
};

void tst_Responding::lines_prefilter_agreesWithParser_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("judged"); // the parser's kind is one that excuses or ends a silence
    const QByteArray stamp("Dec  9 06:49:32: ");
    QTest::newRow("loading") << stamp + "LOADING: castle.db" << true;
    QTest::newRow("listening, marked") << stamp + "> LISTEN: #0 now listening on port 7777" << true;
    QTest::newRow("retried dump, error mark")
        << stamp + "*** Waiting 60 seconds and retrying dump..." << true;
    QTest::newRow("checkpoint in colour")
        << stamp + "\x1b[1;32mCHECKPOINTING on a.db.#3# finished\x1b[0m" << true;
    QTest::newRow("colour over the whole line")
        << QByteArray("\x1b[31m*** PANIC: Caught signal 11\x1b[0m") << true;
    QTest::newRow("abandoned, no stamp") << QByteArray("Abandoning checkpoint attempt...") << true;
    QTest::newRow("dump without its name") << stamp + "DUMPING" << false;
    QTest::newRow("failed listen") << stamp + "LISTEN: cannot bind" << false;
    QTest::newRow("a login") << stamp + "CONNECTED: Wizard (#2) on port 7777" << false;
    QTest::newRow("waiting for something else") << stamp + "Waiting for input" << false;
    QTest::newRow("quoted") << stamp + "Bob says, \"LOADING: x\"" << false;
}

void tst_Responding::lines_prefilter_agreesWithParser()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, judged);
    std::string scratch, scratch2;
    const ServerLogLine full = recogniseServerLogLine(withoutColours(viewOf(line), scratch2));
    // As the watch gets them: recognised by the run, then the kinds it is told of.
    const std::optional<RecognisedLine> got = recogniseNoteworthyLine(viewOf(line), scratch);
    const bool told = got && tellsResponsiveness(got->line.kind);
    QCOMPARE(told, judged);
    if (told)
        QCOMPARE(got->line.port, full.port);
}

void tst_Responding::probeLines_lookAlikes_onlyProbesMatch_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("probe");
    // The probe connected from port 40000 to 7777 at 06:49:30.
    QTest::newRow("accepted") << QByteArray(
                                     "Dec  9 06:49:32: ACCEPT: #-4 on port 7777 from 127.0.0.1, "
                                     "port 40000")
                              << true;
    QTest::newRow("closed, named host, no stamp")
        << QByteArray("CLIENT DISCONNECTED: #-4 on port 7777 from localhost [127.0.0.1], port "
                      "40000")
        << true;
    QTest::newRow("another client port")
        << QByteArray("ACCEPT: #-5 on port 7777 from 127.0.0.1, port 40001") << false;
    QTest::newRow("another server port")
        << QByteArray("ACCEPT: #-5 on port 8888 from 127.0.0.1, port 40000") << false;
    QTest::newRow("from elsewhere")
        << QByteArray("ACCEPT: #-5 on port 7777 from 10.0.0.2, port 40000") << false;
    QTest::newRow("a player logging in")
        << QByteArray("CONNECTED: Wizard (#2) on port 7777 from 127.0.0.1, port 40000") << false;
    QTest::newRow("coloured, with the address in brackets")
        << QByteArray("\x1b[36mDec  9 06:49:31: \x1b[0mACCEPT: #-4 on port 7777 from "
                      "localhost [127.0.0.1], port 40000")
        << true;
    QTest::newRow("the database's own words")
        << QByteArray("> ACCEPT: #-4 on port 7777 from 127.0.0.1, port 40000") << false;
    QTest::newRow("a name that holds the address")
        << QByteArray("ACCEPT: #-5 on port 7777 from 127.0.0.1.example.net, port 40000") << false;
    QTest::newRow("a name that begins like localhost")
        << QByteArray("ACCEPT: #-5 on port 7777 from localhostel.example.net, port 40000") << false;
    QTest::newRow("named localhost, from elsewhere")
        << QByteArray("ACCEPT: #-5 on port 7777 from localhost [10.0.0.2], port 40000") << false;
    QTest::newRow("the same port hours later")
        << QByteArray("Dec  9 09:12:00: ACCEPT: #-9 on port 7777 from 127.0.0.1, port 40000")
        << false;
}

void tst_Responding::probeLines_lookAlikes_onlyProbesMatch()
{
    QFETCH(QByteArray, line);
    ProbeConnections probes;
    QVERIFY(!probes.isProbeLine(viewOf(line))); // none made yet
    probes.add(7777, 40000, QDateTime(QDate(2026, 12, 9), QTime(6, 49, 30)));
    QTEST(probes.isProbeLine(viewOf(line)), "probe");
}

void tst_Responding::watch_standIn_verdictsOverTheRun_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("check");            // the check that the world answers is on
    QTest::addColumn<bool>("stop");             // the server is stopped (SIGSTOP) after it listens
    QTest::addColumn<bool>("turnOff");          // the check is turned off after two minutes
    QTest::addColumn<QByteArrayList>("states"); // the verdicts in turn, up to its end

    const QByteArrayList answering{"responding", "unknown"};
    const QByteArrayList hung{"responding", "not responding", "unknown"};
    const QByteArrayList recovered{"responding", "not responding", "responding", "unknown"};
    QTest::newRow("answers") << QByteArray("listen 0") << true << false << false << answering;
    QTest::newRow("frozen, checked") << QByteArray("listen 0 0") << true << false << false << hung;
    QTest::newRow("frozen, not checked: nothing tells")
        << QByteArray("listen 0 0") << false << false << false << answering;
    QTest::newRow("frozen while a checkpoint child writes")
        << QByteArray("listen 0 0\ncheckpointer") << true << false << false << answering;
    QTest::newRow("stopped, then continued")
        << QByteArray("listen 0") << false << true << false << recovered;
    QTest::newRow("frozen, then the check turned off")
        << QByteArray("listen 0 0") << true << false << true << recovered;
}

void tst_Responding::watch_standIn_verdictsOverTheRun()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, check);
    QFETCH(bool, stop);
    QFETCH(bool, turnOff);
    ControllerFixture fixture;
    fixture.store().setString(MOOCheckAnswers, check ? "1" : "0");
    fixture.store().setString(MOONotRespondingMinutes, "1");
    fixture.store().setString(MOOCheckAnswersMinutes, "1");
    ResponsivenessWatch watch(fixture.controller());
    auto clock = std::chrono::steady_clock::time_point(1h);
    watch.setClock([&clock] { return clock; });
    watch.sampler().setInterval(24h); // sampled by the test, on its clock
    watch.probe().setTimeout(1s);
    QSignalSpy changes(&watch, &ResponsivenessWatch::stateChanged);
    QSignalSpy probed(&watch.probe(), &ConnectionProbe::finished);
    QVERIFY(!watch.sampler().isSampling());

    fixture.launch(script.toStdString());
    QVERIFY(watch.sampler().isSampling());
    QTRY_VERIFY_WITH_TIMEOUT(watch.checkedPort() > 0, 10000);
    const int pid = fixture.controller().run()->processIdentifier();
    const auto inState = [pid](char state) {
        const std::optional<ProcessStat> stat = processStat(pid);
        return stat && stat->state == state;
    };
    if (script.contains("checkpointer")) {
        QTRY_VERIFY_WITH_TIMEOUT(
            [pid] {
                for (const pid_t child : childProcesses(pid))
                    if (commandLineStartsWith(child, "(MOO checkpointer)"))
                        return true;
                return false;
            }(),
            10000);
    }
    if (stop) {
        ::kill(pid, SIGSTOP);
        QTRY_VERIFY_WITH_TIMEOUT(inState('T'), 10000);
    }
    // Two quiet minutes, sampled and checked after each.
    for (int minute = 0; minute < 2; ++minute) {
        clock += 61s;
        const qsizetype probes = probed.size();
        watch.sampler().sampleNow();
        if (check)
            QVERIFY(probed.size() > probes || probed.wait(10000));
    }
    if (stop) {
        ::kill(pid, SIGCONT);
        QTRY_VERIFY_WITH_TIMEOUT(!inState('T'), 10000);
    }
    if (turnOff)
        fixture.store().setString(MOOCheckAnswers, "0");
    clock += 5s;
    watch.sampler().sampleNow();
    if (check && script == "listen 0") {
        // Its connections show in the log, and are known as the check's.
        QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "CLIENT DISCONNECTED"), 10000);
        const QByteArrayList lines = QByteArray::fromStdString(fixture.log()).split('\n');
        for (const QByteArray &line : lines)
            QCOMPARE(watch.isProbeLine(viewOf(line)),
                     line.startsWith("ACCEPT") || line.startsWith("CLIENT DISCONNECTED"));
    }
    if (watch.state() == Responsiveness::NotResponding)
        QVERIFY(watch.notRespondingSince().isValid());

    fixture.controller().stopMoo();
    QTRY_VERIFY_WITH_TIMEOUT(!watch.sampler().isSampling(), 10000);
    QByteArrayList states;
    for (const QList<QVariant> &change : changes)
        states << nameOf(change.at(0).value<Responsiveness>());
    QTEST(states, "states");
}

PADDOCK_TEST_MAIN(tst_Responding)
#include "tst_responding.moc"

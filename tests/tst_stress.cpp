// SPDX-License-Identifier: MIT
// Faults, load and bad input against the controller and the real stand-in server.
#include "TestSupport.h"

#include "LaunchError.h"
#include "SettingsKeys.h"

#include <QDir>

#include <algorithm>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

namespace {

long statusField(const char *path, const char *field)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(strlen(field))).trimmed().split(' ').first().toLong();
    return -1;
}

long residentKiB()
{
    return statusField("/proc/self/status", "VmRSS:");
}

// How many write calls a process has made, failed ones included.
long writeCalls(int pid)
{
    return statusField(QStringLiteral("/proc/%1/io").arg(pid).toLatin1().constData(), "syscw:");
}

} // namespace

class tst_Stress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cycles_thousandLaunchStops_leaveNothingBehind();
    void faults_serverEndings_data();
    void faults_serverEndings();
    void faults_termIgnored_stopStaysResponsiveAndForceStopEnds();
    void faults_outputClosedEarly_serverRunsOnAndStops();
    void faults_helperKeepsPipes_exitReportedAtOnce();
    void faults_executableChangedBeforeLaunch_data();
    void faults_executableChangedBeforeLaunch();
    void badInput_fuzzCorpusTemplates_reachServerExactly();
    void badInput_pathWithEveryByte_arrivesExactly();
    void badInput_longestNameInLongPath_runs();
    void launcherKilled_serverSurvivesItsWritesAndSettingsIntact();
    void hostile_descriptorLimitNearlyExhausted_failsCleanly();
    void hostile_hundredFailedLaunches_leaveNothingBehind();
    void output_interleavedRandomWrites_everyByteAccounted();
    void output_megabyteThenExit_everyByteShown();
};

void tst_Stress::initTestCase()
{
    // Orphans of our children (a server's helper, a killed launcher's server) become ours,
    // so cleanup can reap everything a test caused.
    QCOMPARE(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
}

void tst_Stress::init()
{
    // Tests that name an output database expect the default formats, whatever ran before.
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    standard.setString(MOONewDBNameFormat, DefaultNewDBNameFormat);
    standard.setString(MOODateFormat, DefaultDateFormat);
}

void tst_Stress::cleanup()
{
    reapChildren();
}

void tst_Stress::cycles_thousandLaunchStops_leaveNothingBehind()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    QVERIFY(fixture.launchAndStop()); // lazily made objects are counted in from here
    // The log's storage comes in large blocks: have its first one in use before measuring.
    fixture.launch("stdout warming up\n");
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "warming up"), 10000);
    controller.stopMoo();
    QTRY_VERIFY_WITH_TIMEOUT(controller.taskStdOut()->fileHandleForReading()->isAtEnd() &&
                                 controller.taskStdError()->fileHandleForReading()->isAtEnd(),
                             10000);
    QTRY_VERIFY_WITH_TIMEOUT(!controller.task(), 10000);
    fixture.reapAll();
    QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 10000); // its keeper too
    const int descriptors = openDescriptorCount();
    QSignalSpy running(&controller, &MooController::isMooRunningChanged);

    long residentAfterWarmUp = 0;
    qsizetype logAfterWarmUp = 0;
    for (int cycle = 0; cycle < 1000; ++cycle) {
        QVERIFY2(fixture.launchAndStop(), qPrintable(QString::number(cycle)));
        if (cycle == 99) {
            residentAfterWarmUp = residentKiB();
            logAfterWarmUp = controller.outputString()->length();
        }
    }
    QCOMPARE(running.count(), 2000); // exactly one rise and one fall a cycle
    QTRY_COMPARE_WITH_TIMEOUT(openDescriptorCount(), descriptors, 10000);
    // Each keeper ends moments after its server's output has.
    QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 10000);
    const long growthKiB = residentKiB() - residentAfterWarmUp;
    const long logGrowthKiB = long(controller.outputString()->length() - logAfterWarmUp) / 1024;
    qInfo("resident growth over 900 cycles: %ld KiB (log grew %ld KiB)", growthKiB, logGrowthKiB);
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer keeps what each finished reading thread used (one a run) for its own checks;
    // the plain build measures Paddock's own growth.
    const long allowanceKiB = 64 * 1024;
#else
    const long allowanceKiB = 2048;
#endif
    QVERIFY2(growthKiB <= logGrowthKiB + allowanceKiB, qPrintable(QString::number(growthKiB)));
}

void tst_Stress::faults_serverEndings_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("killFromOutside");
    QTest::addColumn<int>("reason");
    QTest::addColumn<int>("status");
    QTest::newRow("SIGKILL from outside")
        << QByteArray("") << true << int(Task::TerminationReason::UncaughtSignal) << SIGKILL;
    QTest::newRow("SIGSEGV") << QByteArray("crash SEGV\n") << false
                             << int(Task::TerminationReason::UncaughtSignal) << SIGSEGV;
    QTest::newRow("exit 1") << QByteArray("exit 1\n") << false << int(Task::TerminationReason::Exit)
                            << 1;
}

void tst_Stress::faults_serverEndings()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, killFromOutside);
    QFETCH(int, reason);
    QFETCH(int, status);
    ControllerFixture fixture;
    fixture.launch(script.toStdString());
    const std::shared_ptr<Task> server = fixture.controller().task();
    if (killFromOutside) {
        QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "running"), 10000);
        QCOMPARE(::kill(server->processIdentifier(), SIGKILL), 0);
    }
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.controller().task(), 10000);
    QVERIFY(!fixture.controller().isMooRunning());
    QCOMPARE(int(server->terminationReason()), reason);
    QCOMPARE(server->terminationStatus(), status);
    fixture.controller().stopMoo(); // nothing left to stop
    QVERIFY(!fixture.controller().isMooRunning());
}

void tst_Stress::faults_termIgnored_stopStaysResponsiveAndForceStopEnds()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    fixture.launch("ignore-term\n");
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "running"), 10000);
    const std::shared_ptr<Task> server = controller.task();

    // While the stop waits, the event loop keeps turning; after a while the user forces it.
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++turns == 20)
            server->kill();
    });
    ticker.start(10);
    controller.stopMoo();
    ticker.stop();
    QVERIFY(turns >= 20);
    QVERIFY(!controller.isMooRunning());
    QCOMPARE(server->terminationStatus(), SIGKILL);
    QTRY_VERIFY_WITH_TIMEOUT(!controller.task(), 10000);
}

void tst_Stress::faults_outputClosedEarly_serverRunsOnAndStops()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    fixture.launch("stdout bye\nclose-output\n");
    const std::shared_ptr<Pipe> out = controller.taskStdOut();
    const std::shared_ptr<Pipe> err = controller.taskStdError();
    QTRY_VERIFY_WITH_TIMEOUT(
        out->fileHandleForReading()->isAtEnd() && err->fileHandleForReading()->isAtEnd(), 10000);
    QVERIFY(controller.isMooRunning());
    QVERIFY(controller.task()->isRunning());
    controller.stopMoo();
    QVERIFY(!controller.isMooRunning());
    QVERIFY(contains(fixture.log(), "bye"));
}

void tst_Stress::faults_helperKeepsPipes_exitReportedAtOnce()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    QElapsedTimer clock;
    clock.start();
    fixture.launch("fork-helper 30\nexit 0\n");
    const std::shared_ptr<Pipe> out = controller.taskStdOut();
    QTRY_VERIFY_WITH_TIMEOUT(!controller.task(), 10000);
    QVERIFY(!controller.isMooRunning());
    QVERIFY2(clock.elapsed() < 5000, "the exit must not wait for the helper");
    QVERIFY(!out->fileHandleForReading()->isAtEnd()); // the helper still holds the pipe
    reapChildren();
    QTRY_VERIFY_WITH_TIMEOUT(out->fileHandleForReading()->isAtEnd(), 10000);
}

void tst_Stress::faults_executableChangedBeforeLaunch_data()
{
    QTest::addColumn<QString>("change");
    QTest::newRow("deleted") << QStringLiteral("delete");
    QTest::newRow("not executable") << QStringLiteral("chmod");
    QTest::newRow("database folder removed") << QStringLiteral("rmdir");
    QTest::newRow("executable is a folder") << QStringLiteral("folder");
}

void tst_Stress::faults_executableChangedBeforeLaunch()
{
    QFETCH(QString, change);
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    const QString copy = fixture.folder() + QStringLiteral("/moo-server");
    QVERIFY(QFile::copy(QString::fromStdString(standInServerPath()), copy));
    QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner));
    fixture.store().setString(MOOExecutableURL, QFile::encodeName(copy).toStdString());
    QDir world(fixture.folder() + QStringLiteral("/world"));
    QVERIFY(world.mkpath(QStringLiteral(".")));
    const std::string db = writeDatabase(world.path(), "castle.db", "");

    // What the database chooser's OK does, with the world changed underneath it first.
    if (change == u"delete")
        QVERIFY(QFile::remove(copy));
    else if (change == u"chmod")
        QVERIFY(::chmod(QFile::encodeName(copy).constData(), 0644) == 0);
    else if (change == u"rmdir")
        QVERIFY(world.removeRecursively());
    else
        fixture.store().setString(MOOExecutableURL,
                                  QFile::encodeName(fixture.folder()).toStdString());

    const int descriptors = openDescriptorCount();
    controller.setDbPath(makeString(db));
    controller.determineNewDbName();
    QVERIFY_THROWS_EXCEPTION(LaunchError, controller.runMoo());
    QVERIFY(!controller.isMooRunning());
    // The name was recorded before the launch, so the next chooser still suggests it.
    QCOMPARE(fixture.store().stringForKey(MOOLastDBName).value_or(""), "castle.db.new");
    QTRY_VERIFY_WITH_TIMEOUT(openDescriptorCount() <= descriptors, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 10000);
}

void tst_Stress::badInput_fuzzCorpusTemplates_reachServerExactly()
{
    // Each seed holds a template, a date format and more, one a line.
    const QDir corpus(QStringLiteral(FUZZ_CORPUS_DIR));
    const QStringList seeds = corpus.entryList(QDir::Files);
    QVERIFY(!seeds.isEmpty());
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    for (const QString &seed : seeds) {
        QFile file(corpus.filePath(seed));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        standard.setString(MOONewDBNameFormat, lines.value(0).toStdString());
        standard.setString(MOODateFormat, lines.value(1).toStdString());

        ControllerFixture fixture;
        MooController &controller = fixture.controller();
        controller.setDbPath(makeString(writeDatabase(fixture.folder(), "castle.db", "")));
        controller.determineNewDbName();
        const std::string name = *controller.newDbPath();
        if (name.find('\0') != std::string::npos) {
            // It could only reach the server cut short: refused instead.
            QVERIFY_THROWS_EXCEPTION(LaunchError, controller.runMoo());
            continue;
        }
        controller.runMoo();
        QTRY_VERIFY2_WITH_TIMEOUT(contains(fixture.log(), "running"), qPrintable(seed), 10000);
        const std::string hex =
            name.empty() ? "-" : QByteArray::fromStdString(name).toHex().toStdString();
        QVERIFY2(contains(fixture.log(), " out=" + hex + " "), qPrintable(seed));
        controller.stopMoo();
        QVERIFY(!controller.isMooRunning());
    }
}

void tst_Stress::badInput_pathWithEveryByte_arrivesExactly()
{
    ControllerFixture fixture;
    std::string name;
    for (int byte = 1; byte < 256; ++byte)
        if (byte != '/')
            name += char(byte);
    fixture.launch("", "out.db", name);
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "running"), 10000);
    const std::string expected = QFile::encodeName(fixture.folder()).toStdString() + "/" + name;
    std::string hex;
    for (const unsigned char c : expected)
        hex += QByteArray(1, char(c)).toHex().toStdString();
    QVERIFY(contains(fixture.log(), "db=" + hex + " "));
    fixture.controller().stopMoo();
    QVERIFY(!fixture.controller().isMooRunning());
}

void tst_Stress::badInput_longestNameInLongPath_runs()
{
    ControllerFixture fixture;
    QString folder = fixture.folder();
    while (QFile::encodeName(folder).size() < 4000 - 256 - 101)
        folder += QStringLiteral("/") + QString(100, u'd');
    QVERIFY(QDir().mkpath(folder));
    const std::string name(255, 'n');
    const std::string db = writeDatabase(folder, name, "");
    QVERIFY(db.size() >= 3700 && db.size() < 4096);
    fixture.controller().setDbPath(makeString(db));
    fixture.controller().setNewDbPath(makeString("out.db"));
    fixture.controller().runMoo();
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "running"), 10000);
    fixture.controller().stopMoo();
    QVERIFY(QFile::exists(folder + QStringLiteral("/out.db")));
}

void tst_Stress::launcherKilled_serverSurvivesItsWritesAndSettingsIntact()
{
    QTemporaryDir dir;
    const std::string db = writeDatabase(dir.path(), "castle.db", "tick-ms 20\n");
    QProcess launcher;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    launcher.setProcessEnvironment(environment);
    launcher.start(QStringLiteral(STRESS_LAUNCHER_PATH),
                   {QString::fromStdString(standInServerPath()), QString::fromStdString(db)});
    QVERIFY(launcher.waitForReadyRead(10000));
    const int server = launcher.readLine().trimmed().toInt();
    QVERIFY(server > 0);
    const auto killServer = qScopeGuard([server] { ::kill(server, SIGKILL); });

    launcher.kill(); // SIGKILL: no chance to clean up
    QVERIFY(launcher.waitForFinished(10000));

    // The server writes on into a pipe nobody reads: it gets EPIPE, not a fatal SIGPIPE.
    const long before = writeCalls(server);
    QTRY_VERIFY_WITH_TIMEOUT(writeCalls(server) >= before + 5, 10000);
    QVERIFY(isProcessAlive(server));

    QSettings settings(dir.filePath(QStringLiteral("paddock/paddock.conf")), QSettings::IniFormat);
    QCOMPARE(settings.status(), QSettings::NoError);
    QCOMPARE(settings.value(MOOExecutableURL).toString().toStdString(), standInServerPath());
    QCOMPARE(settings.value(MOOLastDBName).toString(), QStringLiteral("castle.db.new"));
    QCOMPARE(settings.value(MOONewDBNameFormat).toString(), QStringLiteral("%@.new"));
}

void tst_Stress::hostile_descriptorLimitNearlyExhausted_failsCleanly()
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer checks an object's type by probing its memory through a pipe of its own,
    // which the exhausted limit refuses too, so every such check here reports a wrong type.
    // The plain build runs it; the refused launches of the test below run under the sanitizers.
    QSKIP("the sanitizer's type checks need a descriptor the exhausted limit refuses");
#endif
    ControllerFixture fixture;
    // An earlier test's keeper may still be draining its server's last output: only
    // children this test makes count.
    const QList<int> earlierChildren = childProcesses();
    rlimit previous = {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &previous), 0);
    const int descriptors = openDescriptorCount();
    // Room for one more descriptor: the first pipe cannot even be made.
    rlimit tight = previous;
    tight.rlim_cur = rlim_t(descriptors + 4);
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const auto restore = qScopeGuard([&previous] { ::setrlimit(RLIMIT_NOFILE, &previous); });

    bool failed = false;
    try {
        fixture.launch("");
    } catch (const LaunchError &error) {
        failed = true;
        QCOMPARE(error.error(), EMFILE);
    }
    QVERIFY(failed);
    QVERIFY(!fixture.controller().isMooRunning());
    ::setrlimit(RLIMIT_NOFILE, &previous);
    QTRY_VERIFY_WITH_TIMEOUT(openDescriptorCount() <= descriptors, 10000);
    const auto noNewChildren = [&earlierChildren] {
        const QList<int> now = childProcesses();
        return std::all_of(now.begin(), now.end(),
                           [&](int pid) { return earlierChildren.contains(pid); });
    };
    QTRY_VERIFY_WITH_TIMEOUT(noNewChildren(), 10000);
}

void tst_Stress::hostile_hundredFailedLaunches_leaveNothingBehind()
{
    ControllerFixture fixture;
    fixture.store().setString(MOOExecutableURL, "/nonexistent/moo");
    QVERIFY_THROWS_EXCEPTION(LaunchError, fixture.launch(""));
    // Counted once the first refused run's reading has let go of both streams.
    QTRY_VERIFY_WITH_TIMEOUT(fixture.outputRead(), 10000);
    const int descriptors = openDescriptorCount();
    for (int attempt = 0; attempt < 100; ++attempt)
        QVERIFY_THROWS_EXCEPTION(LaunchError, fixture.launch(""));
    QTRY_COMPARE_WITH_TIMEOUT(openDescriptorCount(), descriptors, 10000);
    QVERIFY(childProcesses().isEmpty());
    QVERIFY(!fixture.controller().isMooRunning());
}

void tst_Stress::output_interleavedRandomWrites_everyByteAccounted()
{
    ControllerFixture fixture;
    const int bytes = 4 << 20;
    fixture.launch("interleave " + std::to_string(bytes) + " 7\nexit 0\n");
    const std::shared_ptr<Pipe> out = fixture.controller().taskStdOut();
    const std::shared_ptr<Pipe> err = fixture.controller().taskStdError();
    QTRY_VERIFY_WITH_TIMEOUT(
        out->fileHandleForReading()->isAtEnd() && err->fileHandleForReading()->isAtEnd(), 60000);
    const std::string log = fixture.log();
    QCOMPARE(long(std::count(log.begin(), log.end(), '\x11')), long(bytes));
    QCOMPARE(long(std::count(log.begin(), log.end(), '\x12')), long(bytes));
}

void tst_Stress::output_megabyteThenExit_everyByteShown()
{
    ControllerFixture fixture;
    fixture.launch("flood 1048576\nexit 0\n");
    const std::shared_ptr<Pipe> out = fixture.controller().taskStdOut();
    QTRY_VERIFY_WITH_TIMEOUT(out->fileHandleForReading()->isAtEnd(), 30000);
    // Standard error's one line may land anywhere between chunks; without it, standard
    // output's bytes must be there whole and in order.
    std::string log = fixture.log();
    const auto errorLine = log.find("stand-in-server: argc=");
    QVERIFY(errorLine != std::string::npos);
    log.erase(errorLine, log.find('\n', errorLine) + 1 - errorLine);
    const auto start = log.find("flood 00000000");
    QVERIFY(start != std::string::npos);
    QCOMPARE(log.size() - start, size_t(1048576));
    QVERIFY(log.compare(start, std::string::npos, expectedFlood(1048576)) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.controller().task(), 10000);
}

PADDOCK_TEST_MAIN(tst_Stress)
#include "tst_stress.moc"

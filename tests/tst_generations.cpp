// SPDX-License-Identifier: MIT
#include "ArchiveFiles.h"
#include "ArchiveRetention.h"
#include "DatabaseGenerations.h"
#include "DatabaseRotation.h"
#include "DiskSpace.h"
#include "MooController.h"
#include "ServerLife.h"
#include "SettingsKeys.h"
#include "TestSupport.h"
#include "WorldFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sys/statvfs.h>
#include <unistd.h>

Q_DECLARE_METATYPE(paddock::RotationStep)

using namespace paddock;
using test::osPath;
using test::qtPath;
using test::readFile;
using test::writeFile;

namespace {

struct Crash {};

// Whether some file in folder or its archive holds bytes, plainly or compressed.
bool heldSomewhere(const QString &folder, const QByteArray &bytes)
{
    const QString reference = folder + QStringLiteral("/../reference");
    if (!writeFile(reference, bytes))
        return false;
    for (const QString &dir : {folder, QString(folder + QStringLiteral("/archive"))}) {
        for (const QFileInfo &info : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden)) {
            const std::string path = QFile::encodeName(info.filePath()).toStdString();
            if (info.fileName().endsWith(QStringLiteral(".zst"))
                    ? decompressesTo(path, QFile::encodeName(reference).toStdString())
                    : readFile(info.filePath()) == bytes)
                return true;
        }
    }
    return false;
}

// A database with enough text that compression has work to do.
QByteArray database(int generation)
{
    // The stand-in server takes the first line as a command: it says when it is ready for SIGTERM.
    QByteArray bytes = "stdout ready\n** LambdaMOO Database, Format Version 4 **\n" +
                       QByteArray::number(generation);
    for (int i = 0; i < 20000; ++i)
        bytes += "#" + QByteArray::number(i * generation) + "\nobject\n";
    return bytes;
}

// Runs the stand-in server on input until Stop (SIGTERM), as a world's run ends, so it writes
// output; returns whether it ended cleanly.
bool runWorld(const QString &input, const QString &output)
{
    QProcess server;
    server.setWorkingDirectory(QFileInfo(input).absolutePath());
    server.start(QString::fromStdString(test::standInServerPath()), {input, output});
    QDeadlineTimer deadline(20000);
    while (!server.readAllStandardOutput().contains("ready") && !deadline.hasExpired())
        server.waitForReadyRead(int(deadline.remainingTime()));
    server.terminate();
    return server.waitForFinished(20000) && server.exitStatus() == QProcess::NormalExit &&
           server.exitCode() == 0;
}

const QDateTime FirstRun(QDate(2026, 12, 8), QTime(16, 12, 17));

// Holds the archiving worker at one step, the first time it comes there, until the test lets
// it go on or fail there; a deadline keeps a fault from hanging the test. The worker shares
// the gate's state, so a test that ends early leaves it nothing dangling.
class StepGate final {
public:
    explicit StepGate(RotationStep at)
        : m_state(std::make_shared<State>())
    {
        m_state->at = at;
    }
    ~StepGate() { release(); }
    Q_DISABLE_COPY_MOVE(StepGate)
    DatabaseRotation::StepHook hook() const
    {
        return [state = m_state](RotationStep step) {
            if (step != state->at || state->passed.exchange(true))
                return;
            state->reached.release();
            if (!state->go.tryAcquire(1, 20000) || state->fail)
                throw RotationError("the test failed the step");
        };
    }
    bool reached() const { return m_state->reached.available() > 0; }
    void release(bool fail = false)
    {
        m_state->fail = fail;
        m_state->go.release();
    }

private:
    struct State {
        RotationStep at{};
        std::atomic<bool> passed{false};
        std::atomic<bool> fail{false};
        QSemaphore reached, go;
    };
    std::shared_ptr<State> m_state;
};

// A world in the fixture's folder, run on name (castle.db) with name.new as its output, rotated
// after each clean stop; its generations hold the worker at gate's step.
struct RotatedWorld {
    explicit RotatedWorld(StepGate &gate, std::string name = "castle.db")
        : name(std::move(name))
        , life(fixture.controller())
        , generations(fixture.controller(), life)
    {
        fixture.store().setString(MOORotateDatabases, "1");
        fixture.store().setString(MOONewDBNameFormat, "%@.new");
        generations.setHistory(
            RunHistory(test::osPath(fixture.folder() + QStringLiteral("/runs"))));
        generations.setStepHook(gate.hook());
    }
    QString world() const { return fixture.folder() + QStringLiteral("/castle.db"); }
    // Runs script on the world until ready, then stops it: its rotation begins.
    bool runAndStop(const std::string &script)
    {
        fixture.launch(script + "\nstdout ready\n", name + ".new", name);
        if (!QTest::qWaitFor([this] { return test::contains(fixture.log(), "ready"); }, 10000))
            return false;
        life.stop();
        return !fixture.controller().isMooRunning();
    }

    const std::string name;
    test::ControllerFixture fixture;
    ServerLife life;
    DatabaseGenerations generations;
};

// Everything below root as it is, links not followed: each name with its bytes, "folder", or
// the link's target.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        tree[QDir(root).relativeFilePath(info.filePath())] =
            info.isSymLink() ? "link to " + info.symLinkTarget().toUtf8()
            : info.isDir()   ? QByteArray("folder")
                             : readFile(info.filePath());
    }
    return tree;
}

} // namespace

class tst_Generations final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rotation_severalRuns_worldKeepsOneNameAndEachRunIsArchived();
    void rotation_refusal_isLookedUpWhereTheCatalogueFilesIt_data();
    void rotation_refusal_isLookedUpWhereTheCatalogueFilesIt();
    void stop_rotationWanted_rotatesOnlyAfterACleanFinalDump_data();
    void stop_rotationWanted_rotatesOnlyAfterACleanFinalDump();
    void start_unfinishedRotation_renamesFirstThenStarts_data();
    void start_unfinishedRotation_renamesFirstThenStarts();
    void rotate_renamesOnAWorker_startHeldUntilInPlace();
    void compression_newRunMeanwhile_neverLocksTheWorld_data();
    void compression_newRunMeanwhile_neverLocksTheWorld();
    void rotation_crashAtStep_everyDatabaseSurvivesAndRecoverFinishes_data();
    void rotation_crashAtStep_everyDatabaseSurvivesAndRecoverFinishes();
    void recover_databasesMoved_namesNewest();
    void recover_journalNamingElsewhereOrLinks_refusedAndNothingChanges_data();
    void recover_journalNamingElsewhereOrLinks_refusedAndNothingChanges();
    void compress_diskFull_keepsArchiveAndWaitsForSpaceOrRetry();
    void verify_compressedAgainstOriginal_data();
    void verify_compressedAgainstOriginal();
    void retention_data();
    void retention();
    void diskSpace_measuredBesideTheDatabase_data();
    void diskSpace_measuredBesideTheDatabase();
    void nameBytes_rotateRecoverAndListTheWorldsOwnFiles_data();
    void nameBytes_rotateRecoverAndListTheWorldsOwnFiles();
};

void tst_Generations::rotation_severalRuns_worldKeepsOneNameAndEachRunIsArchived()
{
    QTemporaryDir dir;
    const QString world = dir.filePath(QStringLiteral("castle.db"));
    const QString output = world + QStringLiteral(".new");
    QVERIFY(writeFile(world, database(0)));
    QList<QByteArray> generations{database(0)};
    for (int run = 0; run < 3; ++run) {
        QVERIFY(runWorld(world, output));
        generations.append(readFile(output));
        QVERIFY(generations.last().startsWith(generations.at(run)));
        const QDateTime started = FirstRun.addSecs(run * 3600);
        DatabaseRotation rotation(osPath(world), osPath(output), started);
        QCOMPARE(qtPath(rotation.archivePath()),
                 dir.filePath(QStringLiteral("archive/castle.db.") +
                              started.toString(QStringLiteral("yyyy-MM-dd'T'HHmmss"))));
        if (run == 2) {
            // The last run in two parts, as Paddock runs it: the renames, then the rest as
            // recovery finishes it.
            rotation.run({}, DatabaseRotation::Until::InPlace);
            QVERIFY(DatabaseRotation::unfinishedIn(osPath(dir.path())));
            QCOMPARE(DatabaseRotation::recover(osPath(dir.path())), QString());
        } else {
            rotation.run();
        }
        QCOMPARE(readFile(world), generations.at(run + 1));
        QVERIFY(!QFile::exists(output));
        QVERIFY(!QFile::exists(qtPath(rotation.archivePath())));
        const std::string zst = rotation.archivePath() + ".zst";
        QVERIFY(writeFile(dir.filePath(QStringLiteral("expected")), generations.at(run)));
        QVERIFY(decompressesTo(
            zst, QFile::encodeName(dir.filePath(QStringLiteral("expected"))).toStdString()));
    }
    QCOMPARE(QDir(dir.filePath(QStringLiteral("archive"))).entryList(QDir::Files),
             (QStringList{QStringLiteral("castle.db.2026-12-08T161217.zst"),
                          QStringLiteral("castle.db.2026-12-08T171217.zst"),
                          QStringLiteral("castle.db.2026-12-08T181217.zst")}));
    QVERIFY(!QFile::exists(qtPath(DatabaseRotation::journalPath(osPath(dir.path())))));
    QVERIFY(DatabaseRotation::recover(osPath(dir.path())).isEmpty());

    // An unfinished rotation's journal is never overwritten by the next one.
    QVERIFY(writeFile(output, database(9)));
    QVERIFY(writeFile(DatabaseRotation::journalPath(osPath(dir.path())), "{}"));
    QVERIFY_THROWS_EXCEPTION(
        RotationError, DatabaseRotation(osPath(world), osPath(output), FirstRun.addDays(1)).run());
    QCOMPARE(readFile(world), generations.at(3));
    QCOMPARE(readFile(output), database(9));

    // A file where archive/ belongs refuses the rotation before anything moves.
    QTemporaryDir blocked;
    QVERIFY(writeFile(blocked.filePath(QStringLiteral("archive")), "not a folder"));
    QVERIFY(writeFile(blocked.filePath(QStringLiteral("a.db")), "a"));
    QVERIFY(writeFile(blocked.filePath(QStringLiteral("a.db.new")), "b"));
    QVERIFY_THROWS_EXCEPTION(RotationError,
                             DatabaseRotation(osPath(blocked.filePath(QStringLiteral("a.db"))),
                                              osPath(blocked.filePath(QStringLiteral("a.db.new"))),
                                              FirstRun)
                                 .run());
    QVERIFY(!QFile::exists(qtPath(DatabaseRotation::journalPath(osPath(blocked.path())))));
    QCOMPARE(readFile(blocked.filePath(QStringLiteral("a.db"))), QByteArray("a"));

    // Pruning with a keep of one leaves the newest archive only, and what Paddock did not
    // archive itself, however it is named.
    QVERIFY(writeFile(dir.filePath(QStringLiteral("archive/castle.db.2020-01-01T000000.zst")),
                      "theirs"));
    QVERIFY(
        pruneArchive(osPath(dir.filePath(QStringLiteral("archive"))), FirstRun.addYears(1), 1, 30)
            .isEmpty());
    QCOMPARE(QDir(dir.filePath(QStringLiteral("archive"))).entryList(QDir::Files),
             (QStringList{QStringLiteral("castle.db.2020-01-01T000000.zst"),
                          QStringLiteral("castle.db.2026-12-08T181217.zst")}));
}

void tst_Generations::stop_rotationWanted_rotatesOnlyAfterACleanFinalDump_data()
{
    QTest::addColumn<bool>("wanted");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("outputName");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("rotated");
    const QByteArray db = "castle.db", out = "castle.db.new";
    QTest::newRow("clean stop") << true << db << out << QByteArray() << true;
    QTest::newRow("not wanted: names stay as the template makes them")
        << false << db << out << QByteArray() << false;
    QTest::newRow("final dump could not open its file")
        << true << db << QByteArray("gone/castle.db.new") << QByteArray() << false;
    // The server retries until the user forces it to stop.
    QTest::newRow("final dump failed on a full disk")
        << true << db << out << QByteArray("dump-fails 1000 1") << false;
    QTest::newRow("final dump failed once, then written whole")
        << true << db << out << QByteArray("dump-fails 1 0") << true;
    QTest::newRow("started from a panic dump: the world never takes its name")
        << true << QByteArray("castle.db.PANIC") << QByteArray("castle.db.PANIC.new")
        << QByteArray() << false;
}

// Through the controller and the server's life, as the window runs them: start, Stop, and the
// databases as the next start finds them.
void tst_Generations::stop_rotationWanted_rotatesOnlyAfterACleanFinalDump()
{
    QFETCH(bool, wanted);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, outputName);
    QFETCH(QByteArray, script);
    QFETCH(bool, rotated);
    test::ControllerFixture fixture;
    if (wanted)
        fixture.store().setString(MOORotateDatabases, "1");
    ServerLife life(fixture.controller());
    DatabaseGenerations generations(fixture.controller(), life);
    generations.setHistory(RunHistory(test::osPath(fixture.folder() + QStringLiteral("/runs"))));
    QSignalSpy notes(&generations, &DatabaseGenerations::note);
    QSignalSpy finished(&generations, &DatabaseGenerations::archivingFinished);

    // A final dump that keeps failing is ended as the user would: Force Stop.
    if (!rotated)
        connect(&life, &ServerLife::changed, this, [&life] {
            if (!life.checkpointWarning().isEmpty() && life.state() == ServerLife::State::Stopping)
                life.forceStop();
        });
    fixture.launch(script.toStdString() + "\nstdout ready", outputName.toStdString(),
                   input.toStdString());
    const QString world = fixture.folder() + QLatin1Char('/') + QString::fromLatin1(input);
    const QByteArray started = readFile(world);
    QTRY_VERIFY_WITH_TIMEOUT(test::contains(fixture.log(), "ready"), 10000);
    life.stop();
    QTRY_VERIFY_WITH_TIMEOUT(life.runOutputEnded() && life.state() == ServerLife::State::Ended,
                             10000);
    QCoreApplication::processEvents();

    const QString output = fixture.folder() + QLatin1Char('/') + QString::fromLatin1(outputName);
    const QList<RunRecord> runs = generations.history().runs();
    QVERIFY(!runs.isEmpty());
    QCOMPARE(qtPath(runs.first().input), world);
    QCOMPARE(qtPath(runs.first().output), output);
    if (!rotated) {
        QVERIFY(!QFile::exists(fixture.folder() + QStringLiteral("/archive")));
        QCOMPARE(readFile(world), started);
        QCOMPARE(*fixture.controller().newDbPath(), outputName.toStdString());
        // Wanted but refused: the user hears why; not wanted: nothing is said.
        QCOMPARE(notes.size(), wanted ? 1 : 0);
        if (wanted)
            QVERIFY2(notes.first().at(0).toString().contains(QStringLiteral("not archived")),
                     qPrintable(notes.first().at(0).toString()));
        return;
    }
    QVERIFY(!finished.isEmpty() || finished.wait(20000));
    QCOMPARE(finished.first().at(1).toBool(), false);
    QVERIFY(readFile(world).startsWith(started));
    QVERIFY(readFile(world).contains("shut down"));
    QVERIFY(!QFile::exists(output));
    QCOMPARE(*fixture.controller().newDbPath(), test::osPath(world));
    const QStringList archived =
        QDir(fixture.folder() + QStringLiteral("/archive")).entryList(QDir::Files);
    QCOMPARE(archived.size(), 1);
    QVERIFY(archived.first().startsWith(QStringLiteral("castle.db.")) &&
            archived.first().endsWith(QStringLiteral(".zst")));
    QVERIFY(heldSomewhere(fixture.folder(), started));
    QCOMPARE(qtPath(generations.history().runs().constLast().output), world);
}

void tst_Generations::start_unfinishedRotation_renamesFirstThenStarts_data()
{
    QTest::addColumn<RotationStep>("crashAt");
    QTest::addColumn<bool>("atPaddockStart");
    QTest::addColumn<bool>("firstStartHeld");
    QTest::addColumn<QString>("nextStart"); // what refuses the start after the recovery
    QTest::newRow("crash after archiving: the start waits for the renames")
        << RotationStep::InputArchived << false << true << QString();
    QTest::newRow("crash while compressing: the start goes ahead at once")
        << RotationStep::CompressedWritten << false << false << QString();
    QTest::newRow("crash before compressing, found when Paddock starts")
        << RotationStep::OutputRenamed << true << false << QString();
    QTest::newRow("journal that makes no sense: said, not acted on, start goes on")
        << RotationStep(-1) << false << false << QString();
}

void tst_Generations::start_unfinishedRotation_renamesFirstThenStarts()
{
    QFETCH(RotationStep, crashAt);
    QFETCH(bool, atPaddockStart);
    QFETCH(bool, firstStartHeld);
    QFETCH(QString, nextStart);
    test::ControllerFixture fixture;
    ServerLife life(fixture.controller());
    DatabaseGenerations generations(fixture.controller(), life);
    const QString folder = fixture.folder();
    generations.setHistory(RunHistory(test::osPath(folder + QStringLiteral("/runs"))));
    QSignalSpy finished(&generations, &DatabaseGenerations::archivingFinished);
    QSignalSpy moved(&generations, &DatabaseGenerations::renamesEnded);
    QSignalSpy notes(&generations, &DatabaseGenerations::note);
    const QString world = folder + QStringLiteral("/castle.db");
    QVERIFY(writeFile(world, database(1)));
    QVERIFY(writeFile(world + QStringLiteral(".new"), database(2)));
    if (crashAt == RotationStep(-1)) {
        QVERIFY(writeFile(DatabaseRotation::journalPath(osPath(folder)), "not a plan"));
    } else {
        QVERIFY_THROWS_EXCEPTION(Crash,
                                 DatabaseRotation(osPath(world), osPath(world) + ".new", FirstRun)
                                     .run([crashAt](RotationStep step) {
                                         if (step == crashAt)
                                             throw Crash{};
                                     }));
    }

    const std::string chosen = test::osPath(world);
    if (atPaddockStart) {
        QVERIFY(generations.history().record({FirstRun, chosen, chosen + ".new"}));
        generations.recoverLastWorld();
    } else {
        const std::string answer = generations.beforeStart(chosen);
        QVERIFY2(QString::fromStdString(answer).contains(QStringLiteral("finishing it now")) ==
                         firstStartHeld &&
                     answer.empty() != firstStartHeld,
                 answer.c_str());
        if (crashAt == RotationStep(-1)) {
            QVERIFY(!notes.isEmpty() && notes.last().at(1).toBool());
            QVERIFY2(notes.last().at(0).toString().contains(QStringLiteral("cannot make sense")),
                     qPrintable(notes.last().at(0).toString()));
            QCOMPARE(readFile(world), database(1));
            return;
        }
    }
    // The renames run on the worker; the world's newest database then carries its name.
    QVERIFY(!moved.isEmpty() || moved.wait(20000));
    const QString answer = QString::fromStdString(generations.beforeStart(chosen));
    QVERIFY2(answer.contains(nextStart) && answer.isEmpty() == nextStart.isEmpty(),
             qPrintable(answer));
    QVERIFY(!finished.isEmpty() || finished.wait(20000));
    if (!nextStart.isEmpty()) {
        QVERIFY2(answer.contains(qtPath(DatabaseRotation::journalPath(osPath(folder)))),
                 qPrintable(answer));
        return;
    }
    QCOMPARE(readFile(world), database(2));
    QVERIFY(!QFile::exists(qtPath(DatabaseRotation::journalPath(osPath(folder)))));
    QCOMPARE(QDir(folder + QStringLiteral("/archive")).entryList(QDir::Files),
             QStringList{QStringLiteral("castle.db.2026-12-08T161217.zst")});
}

// The renames run on a worker, as a copy to another file system would take long: the event
// loop goes on meanwhile, and a start in the world's folder waits for them.
void tst_Generations::rotate_renamesOnAWorker_startHeldUntilInPlace()
{
    StepGate gate(RotationStep::JournalWritten);
    RotatedWorld run(gate);
    MooController &controller = run.fixture.controller();
    QSignalSpy notes(&run.generations, &DatabaseGenerations::note);
    QSignalSpy moved(&run.generations, &DatabaseGenerations::renamesEnded);
    QSignalSpy finished(&run.generations, &DatabaseGenerations::archivingFinished);
    QSignalSpy refused(&controller, &MooController::launchFailed);
    QVERIFY(run.runAndStop(""));
    QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 10000);

    QVERIFY(!notes.isEmpty());
    QVERIFY2(notes.last().at(0).toString().startsWith(QStringLiteral("Archiving")),
             qPrintable(notes.last().at(0).toString()));
    QCOMPARE(*controller.newDbPath(), std::string("castle.db.new"));
    QVERIFY(!controller.startFromDatabase(test::osPath(run.world())));
    QVERIFY(!controller.isMooRunning());
    QCOMPARE(refused.size(), 1);
    QVERIFY2(refused.first().at(0).toString().contains(QStringLiteral("still archiving")),
             qPrintable(refused.first().at(0).toString()));

    gate.release();
    QVERIFY(!moved.isEmpty() || moved.wait(20000));
    QCOMPARE(*controller.newDbPath(), test::osPath(run.world()));
    QVERIFY(!finished.isEmpty() || finished.wait(20000));
    QCOMPARE(finished.first().at(1).toBool(), false);
}

void tst_Generations::compression_newRunMeanwhile_neverLocksTheWorld_data()
{
    QTest::addColumn<bool>("compressionFails");
    QTest::newRow("compression goes on") << false;
    QTest::newRow("compression fails: the next start goes ahead and finishes it") << true;
}

// A new run starts on the world while the last rotation's archive is compressed, and writes
// the output's name; the compression must not care.
void tst_Generations::compression_newRunMeanwhile_neverLocksTheWorld()
{
    QFETCH(bool, compressionFails);
    StepGate gate(RotationStep::CompressedWritten);
    RotatedWorld run(gate);
    QSignalSpy finished(&run.generations, &DatabaseGenerations::archivingFinished);
    QSignalSpy moved(&run.generations, &DatabaseGenerations::renamesEnded);
    const QString output = run.world() + QStringLiteral(".new");
    QVERIFY(run.runAndStop("checkpoint"));
    QVERIFY(!moved.isEmpty() || moved.wait(20000));
    QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 10000);
    const QByteArray inPlace = readFile(run.world());

    QVERIFY(run.fixture.controller().startFromDatabase(test::osPath(run.world())));
    // The new run's checkpoint writes the output at once, under a temporary name first.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(output), 10000);
    const QByteArray written = readFile(output);
    QVERIFY(written.startsWith(inPlace));

    gate.release(compressionFails);
    QVERIFY(!finished.isEmpty() || finished.wait(20000));
    QCOMPARE(finished.last().at(1).toBool(), compressionFails);
    if (compressionFails) {
        QVERIFY(DatabaseRotation::unfinishedIn(osPath(run.fixture.folder())));
        QCOMPARE(run.generations.beforeStart(test::osPath(run.world())), std::string());
        QVERIFY(finished.size() > 1 || finished.wait(20000));
        QCOMPARE(finished.last().at(1).toBool(), false);
    }
    QVERIFY(!DatabaseRotation::unfinishedIn(osPath(run.fixture.folder())));
    QCOMPARE(readFile(output), written);
    QCOMPARE(readFile(run.world()), inPlace);
    const QStringList archived =
        QDir(run.fixture.folder() + QStringLiteral("/archive")).entryList(QDir::Files);
    QCOMPARE(archived.size(), 1);
    QVERIFY(archived.first().endsWith(QStringLiteral(".zst")));
}

void tst_Generations::rotation_crashAtStep_everyDatabaseSurvivesAndRecoverFinishes_data()
{
    QTest::addColumn<RotationStep>("crashAt");
    QTest::addColumn<bool>("crashAgainInRecovery");
    QTest::newRow("journal written") << RotationStep::JournalWritten << false;
    QTest::newRow("input archived") << RotationStep::InputArchived << false;
    QTest::newRow("output renamed") << RotationStep::OutputRenamed << false;
    QTest::newRow("compressed written") << RotationStep::CompressedWritten << false;
    QTest::newRow("compressed in place") << RotationStep::CompressedInPlace << false;
    QTest::newRow("uncompressed gone") << RotationStep::UncompressedGone << false;
    QTest::newRow("compressed written, again in recovery")
        << RotationStep::CompressedWritten << true;
}

void tst_Generations::rotation_crashAtStep_everyDatabaseSurvivesAndRecoverFinishes()
{
    QFETCH(RotationStep, crashAt);
    QFETCH(bool, crashAgainInRecovery);
    QTemporaryDir top;
    QVERIFY(QDir(top.path()).mkdir(QStringLiteral("world")));
    const QString folder = top.filePath(QStringLiteral("world"));
    const QString world = folder + QStringLiteral("/castle.db");
    const QString output = folder + QStringLiteral("/castle.db.new");
    QVERIFY(writeFile(world, database(1)));
    QVERIFY(writeFile(output, database(2)));
    DatabaseRotation rotation(osPath(world), osPath(output), FirstRun);
    const auto crash = [crashAt](RotationStep step) {
        if (step == crashAt)
            throw Crash{};
    };
    QVERIFY_THROWS_EXCEPTION(Crash, rotation.run(crash));
    QVERIFY(QFile::exists(qtPath(DatabaseRotation::journalPath(osPath(folder)))));
    QVERIFY2(heldSomewhere(folder, database(1)), "the input database is lost");
    QVERIFY2(heldSomewhere(folder, database(2)), "the output database is lost");

    if (crashAgainInRecovery) {
        QVERIFY_THROWS_EXCEPTION(Crash, DatabaseRotation::recover(osPath(folder), crash));
        QVERIFY(heldSomewhere(folder, database(1)) && heldSomewhere(folder, database(2)));
    }
    const QString sentence = DatabaseRotation::recover(osPath(folder));
    QVERIFY2(sentence.isEmpty(), qPrintable(sentence));
    QCOMPARE(readFile(world), database(2));
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("castle.db")});
    QCOMPARE(QDir(folder + QStringLiteral("/archive")).entryList(QDir::Files),
             QStringList{QStringLiteral("castle.db.2026-12-08T161217.zst")});
    QVERIFY(heldSomewhere(folder, database(1)));
}

void tst_Generations::recover_databasesMoved_namesNewest()
{
    // Someone moved the output away after a crash: recovery cannot tell what happened, so it
    // touches nothing and names the newest database left.
    QTemporaryDir dir;
    const QString world = dir.filePath(QStringLiteral("castle.db"));
    const QString output = dir.filePath(QStringLiteral("castle.db.new"));
    QVERIFY(writeFile(world, database(1)));
    QVERIFY(writeFile(output, database(2)));
    DatabaseRotation rotation(osPath(world), osPath(output), FirstRun);
    QVERIFY_THROWS_EXCEPTION(Crash, rotation.run([](RotationStep step) {
        if (step == RotationStep::InputArchived)
            throw Crash{};
    }));
    QVERIFY(QFile::rename(output, dir.filePath(QStringLiteral("elsewhere"))));
    const QString sentence = DatabaseRotation::recover(osPath(dir.path()));
    QVERIFY2(sentence.contains(qtPath(rotation.archivePath())), qPrintable(sentence));
    QCOMPARE(readFile(rotation.archivePath()), database(1));
    QVERIFY(QFile::exists(qtPath(DatabaseRotation::journalPath(osPath(dir.path())))));
}

void tst_Generations::recover_journalNamingElsewhereOrLinks_refusedAndNothingChanges_data()
{
    QTest::addColumn<QString>("journal"); // $W is the world's folder, $O a folder beside it
    QTest::addColumn<QString>("files");   // in $W, each holding the bytes of $O/sentinel
    QTest::addColumn<QString>("links");   // name in $W > target
    QTest::addColumn<QString>("reason");
    const auto plan = [](const char *input, const char *output, const char *archive) {
        return QStringLiteral(R"({"input": "%1", "output": "%2", "archive": "%3"})")
            .arg(QLatin1String(input), QLatin1String(output), QLatin1String(archive));
    };
    const auto row = [](const char *name, const QString &journal, const char *files,
                        const char *links, const char *reason) {
        QTest::newRow(name) << journal << QString::fromUtf8(files) << QString::fromUtf8(links)
                            << QString::fromUtf8(reason);
    };
    const QString usual = plan("$W/castle.db", "$W/castle.db.new", "$W/archive/castle.db.T");
    const char *notInFolder = "which is not a file in that folder", *link = "is a link";
    row("input elsewhere, the bytes of an archive",
        plan("$O/sentinel", "$W/castle.db.new", "$W/archive/castle.db.T"),
        "castle.db.new archive/castle.db.T", "", notInFolder);
    row("output through ..",
        plan("$W/castle.db", "$W/../outside/sentinel", "$W/archive/castle.db.T"),
        "archive/castle.db.T", "", notInFolder);
    row("output through .., as a plain name",
        plan("castle.db", "../outside/sentinel", "archive/castle.db.T"), "archive/castle.db.T", "",
        notInFolder);
    row("archive folder a link", usual, "castle.db castle.db.new", "archive>$O", link);
    row("archived file a link", usual, "castle.db", "archive/castle.db.T>$O/sentinel", link);
    row("link at the compressed copy's part", usual, "castle.db archive/castle.db.T",
        "archive/castle.db.T.zst.part>$O/sentinel", link);
    row("the journal a link", usual, "castle.db castle.db.new", ".paddock-rotation>$O/plan", link);
}

// A journal put in a world's folder by someone else is never acted on, and says why.
void tst_Generations::recover_journalNamingElsewhereOrLinks_refusedAndNothingChanges()
{
    QFETCH(QString, journal);
    QFETCH(QString, files);
    QFETCH(QString, links);
    QFETCH(QString, reason);
    QTemporaryDir top;
    const QString world = top.filePath(QStringLiteral("world"));
    const QString outside = top.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(world) && QDir().mkpath(outside));
    const auto expand = [&](QString text) {
        return text
            .replace(QStringLiteral("castle.db.T"), QStringLiteral("castle.db.2026-12-08T161217"))
            .replace(QStringLiteral("$W"), world)
            .replace(QStringLiteral("$O"), outside);
    };
    QVERIFY(writeFile(outside + QStringLiteral("/sentinel"), database(7)));
    for (const QString &file : files.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QVERIFY(QDir().mkpath(QFileInfo(world + QLatin1Char('/') + expand(file)).path()));
        QVERIFY(writeFile(world + QLatin1Char('/') + expand(file), database(7)));
    }
    for (const QString &pair : links.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString at = world + QLatin1Char('/') + expand(pair.section(QLatin1Char('>'), 0, 0));
        QVERIFY(QDir().mkpath(QFileInfo(at).path()));
        QVERIFY(QFile::link(expand(pair.section(QLatin1Char('>'), 1)), at));
    }
    const QString journalFile = qtPath(DatabaseRotation::journalPath(osPath(world)));
    const QFileInfo journalInfo(journalFile);
    QVERIFY(writeFile(journalInfo.isSymLink() ? journalInfo.symLinkTarget() : journalFile,
                      expand(journal).toUtf8()));
    const QMap<QString, QByteArray> before = snapshot(top.path());

    const QString sentence = DatabaseRotation::recover(osPath(world));
    QVERIFY2(sentence.contains(journalFile) && sentence.contains(reason), qPrintable(sentence));
    // Still refused at the next start, and never taken for an unfinished archiving.
    QCOMPARE(DatabaseRotation::recover(osPath(world)), sentence);
    QVERIFY(!DatabaseRotation::unfinishedIn(osPath(world)));
    QCOMPARE(snapshot(top.path()), before);
}

void tst_Generations::compress_diskFull_keepsArchiveAndWaitsForSpaceOrRetry()
{
    QTemporaryDir dir;
    const QString world = dir.filePath(QStringLiteral("castle.db"));
    QVERIFY(writeFile(world, database(1)));
    QVERIFY(writeFile(world + QStringLiteral(".new"), database(2)));
    const DatabaseRotation rotation(osPath(world), osPath(world) + ".new", FirstRun);
    QString said;
    {
        const test::FileSizeLimit diskFull(4096); // the compressed copy needs more
        try {
            rotation.run();
        } catch (const RotationError &error) {
            said = QString::fromStdString(error.what());
        }
    }
    QVERIFY2(said.contains(QStringLiteral("kept uncompressed")), qPrintable(said));
    const QDir archive(dir.filePath(QStringLiteral("archive")));
    const QString archived = QFileInfo(qtPath(rotation.archivePath())).fileName();
    QCOMPARE(archive.entryList(QDir::Files), QStringList{archived});
    QCOMPARE(readFile(rotation.archivePath()), database(1));
    QCOMPARE(readFile(world), database(2));

    // The next start, with no more space free, does not try again; the user's Retry does.
    QCOMPARE(DatabaseRotation::recover(osPath(dir.path())), said);
    QCOMPARE(archive.entryList(QDir::Files), QStringList{archived});
    DatabaseRotation::retryCompression(osPath(dir.path()));
    QCOMPARE(DatabaseRotation::recover(osPath(dir.path())), QString());
    QCOMPARE(archive.entryList(QDir::Files), QStringList{archived + QStringLiteral(".zst")});
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("castle.db")});
}

void tst_Generations::verify_compressedAgainstOriginal_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("change");
    QTest::addColumn<bool>("matches");
    // Sizes at the decompressor's buffer boundary and beyond the 1 MiB read chunk.
    for (const int size : {0, 1, 131072, 3 << 20}) {
        const QByteArray n = QByteArray::number(size);
        QTest::newRow(QByteArray(n + " unchanged").constData()) << size << QByteArray() << true;
        QTest::newRow(QByteArray(n + " one more byte").constData())
            << size << QByteArray("append") << false;
        if (size > 0) {
            QTest::newRow(QByteArray(n + " last byte changed").constData())
                << size << QByteArray("flip") << false;
            QTest::newRow(QByteArray(n + " one byte less").constData())
                << size << QByteArray("chop") << false;
        }
    }
}

void tst_Generations::verify_compressedAgainstOriginal()
{
    QFETCH(int, size);
    QFETCH(QByteArray, change);
    QFETCH(bool, matches);
    QTemporaryDir dir;
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((unsigned(i) * 7919u) >> 5);
    const QString original = dir.filePath(QStringLiteral("db"));
    QVERIFY(writeFile(original, bytes));
    const std::string zst = QFile::encodeName(original + QStringLiteral(".zst")).toStdString();
    compressFile(QFile::encodeName(original).toStdString(), zst);
    if (change == "append")
        bytes.append('x');
    else if (change == "flip")
        bytes[size - 1] = char(bytes.at(size - 1) ^ 1);
    else if (change == "chop")
        bytes.chop(1);
    QVERIFY(writeFile(original, bytes));
    QCOMPARE(decompressesTo(zst, QFile::encodeName(original).toStdString()), matches);
}

void tst_Generations::retention_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("days");
    QTest::addColumn<QStringList>("removed");
    // now is 2026-12-08T12:00:00; names are the runs' times.
    const auto day = [](int d, const char *suffix = ".zst") -> QString {
        return QStringLiteral("castle.db.2026-%1T120000")
                   .arg(QDate(2026, 12, 8).addDays(-d).toString(QStringLiteral("MM-dd"))) +
               QLatin1String(suffix);
    };
    QTest::newRow("newest N kept, old ones removed")
        << QStringList{day(40), day(50), day(60), day(70)} << 2 << 30
        << QStringList{day(70), day(60)};
    QTest::newRow("young ones kept beyond N")
        << QStringList{day(1), day(2), day(3), day(40)} << 1 << 30 << QStringList{day(40)};
    QTest::newRow("exactly D days old is kept")
        << QStringList{day(0), day(30)} << 1 << 30 << QStringList{};
    QTest::newRow("N of zero still keeps the newest")
        << QStringList{day(40), day(50)} << 0 << 0 << QStringList{day(50)};
    QTest::newRow("uncompressed old archive removed")
        << QStringList{day(40), day(50, "")} << 1 << 30 << QStringList{day(50, "")};
    QTest::newRow("both forms present: compression unfinished, kept")
        << QStringList{day(40), day(50, ""), day(50)} << 1 << 30 << QStringList{};
    QTest::newRow("names Paddock does not give are never removed")
        << QStringList{day(40), QStringLiteral("castle.db.2026-01-01T1200.zst"),
                       QStringLiteral("castle.db.2026-13-45T120000.zst"),
                       QStringLiteral("notes.txt"), day(50) + QStringLiteral(".part")}
        << 1 << 30 << QStringList{};
    QTest::newRow("each world keeps its own newest")
        << QStringList{day(40), day(50), QStringLiteral("other.db.2026-01-01T000000.zst")} << 1
        << 30 << QStringList{day(50)};
}

void tst_Generations::retention()
{
    QFETCH(QStringList, files);
    QFETCH(int, keep);
    QFETCH(int, days);
    QFETCH(QStringList, removed);
    std::vector<std::string> names;
    for (const QString &file : std::as_const(files))
        names.push_back(file.toStdString());
    QStringList chosen;
    for (const std::string &name :
         archivesToRemove(names, QDateTime(QDate(2026, 12, 8), QTime(12, 0)), keep, days))
        chosen.append(QString::fromStdString(name));
    QCOMPARE(chosen, removed);
}

void tst_Generations::diskSpace_measuredBesideTheDatabase_data()
{
    QTest::addColumn<double>("share"); // the database's size per byte free; negative: no file
    QTest::addColumn<bool>("warns");
    QTest::newRow("room for two copies") << 0.25 << false;
    QTest::newRow("room for one copy only") << 0.75 << true;
    QTest::newRow("no database") << -1.0 << false;
}

void tst_Generations::diskSpace_measuredBesideTheDatabase()
{
    QFETCH(double, share);
    QFETCH(bool, warns);
    const QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("castle.db"));
    // Free as a server not run as root may use it. The database is a sparse file, as large as
    // it says without taking the space; the shares leave a wide margin for others' writes.
    struct statvfs fs = {};
    QCOMPARE(::statvfs(QFile::encodeName(dir.path()).constData(), &fs), 0);
    const double available = double(fs.f_bavail) * double(fs.f_frsize);
    if (share >= 0) {
        QVERIFY(writeFile(db, {}));
        QCOMPARE(::truncate(QFile::encodeName(db).constData(), off_t(available * share)), 0);
    }
    const QString warning = diskSpaceWarning(osPath(db));
    QCOMPARE(!warning.isEmpty(), warns);
    if (warns)
        QVERIFY2(warning.contains(QStringLiteral("“castle.db”")) &&
                     warning.contains(QStringLiteral("the next dump may fail")),
                 qPrintable(warning));
}

void tst_Generations::nameBytes_rotateRecoverAndListTheWorldsOwnFiles_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("earlierJournal"); // recovery reads a journal as Paddock once wrote it
    QTest::newRow("ASCII") << QByteArray("castle.db") << false;
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9.db") << false;
    QTest::newRow("UTF-8, earlier journal") << QByteArray("caf\xc3\xa9.db") << true;
    QTest::newRow("not UTF-8") << QByteArray("caf\xe9.db") << false;
    QTest::newRow("not UTF-8, a stray byte last") << QByteArray("castle.db\xff") << false;
}

// A database's name stays the operating system's bytes from the launch through the renames, the
// journal, recovery, the run history and the listing; a file whose name only reads the same
// as text is never touched.
void tst_Generations::nameBytes_rotateRecoverAndListTheWorldsOwnFiles()
{
    QFETCH(QByteArray, name);
    QFETCH(bool, earlierJournal);
    StepGate gate(RotationStep::OutputRenamed);
    RotatedWorld run(gate, name.toStdString());
    QSignalSpy finished(&run.generations, &DatabaseGenerations::archivingFinished);
    const std::string folder = osPath(run.fixture.folder());
    const std::string world = folder + '/' + run.name;
    const std::string lookalike = osPath(qtPath(world));
    // QTemporaryDir cannot remove names that are not UTF-8.
    const auto cleanUp = qScopeGuard([&folder] {
        for (const std::string &entry : test::fileNamesIn(folder))
            test::removeTree(folder + '/' + entry);
    });
    if (lookalike != world)
        QVERIFY(writeFile(lookalike, "someone else's"));

    // The rotation stops where a crash would, once the output has the world's name.
    QVERIFY(run.runAndStop({}));
    QTRY_VERIFY_WITH_TIMEOUT(gate.reached(), 20000);
    const QByteArray written = readFile(world);
    QVERIFY2(written.contains("shut down"), written.constData());
    gate.release(true);
    QVERIFY(!finished.isEmpty() || finished.wait(20000));
    const std::vector<std::string> archived = test::fileNamesIn(folder + "/archive");
    QCOMPARE(archived.size(), size_t(1));
    if (earlierJournal)
        QVERIFY(writeFile(DatabaseRotation::journalPath(folder),
                          R"({"input": ")" + name + R"(", "output": ")" + name +
                              R"(.new", "archive": "archive/)" +
                              QByteArray::fromStdString(archived.front()) + "\"}"));
    const QString sentence = DatabaseRotation::recover(folder);
    QVERIFY2(sentence.isEmpty(), qPrintable(sentence));

    QCOMPARE(test::fileNamesIn(folder + "/archive"),
             (std::vector<std::string>{".paddock-archived", archived.front() + ".zst"}));
    QCOMPARE(readFile(world), written);
    if (lookalike != world)
        QCOMPARE(readFile(lookalike), QByteArray("someone else's"));
    const QList<RunRecord> runs = run.generations.history().runs();
    QVERIFY(!runs.isEmpty());
    QCOMPARE(runs.first().input, world);
    QCOMPARE(runs.first().output, world + ".new");
    const QList<WorldFile> files = listWorldFiles(world, runs);
    QVERIFY(!files.isEmpty());
    QCOMPARE(files.first().localPath, world);
    QVERIFY(files.first().newestComplete);
    QVERIFY(std::any_of(files.begin(), files.end(), [&](const WorldFile &file) {
        return file.localPath == folder + "/archive/" + archived.front() + ".zst" &&
               file.kind == WorldFileKind::Archive && !file.run.isEmpty();
    }));
}

PADDOCK_TEST_MAIN(tst_Generations)
void tst_Generations::rotation_refusal_isLookedUpWhereTheCatalogueFilesIt_data()
{
    // The context is the one lupdate files the sentence under: the class it is said in, or
    // the namespace outside any class.
    QTest::addColumn<QByteArray>("context");
    QTest::addColumn<QByteArray>("sentence");
    QTest::addColumn<bool>("journalLeft"); // an unreadable journal refuses; else same names do
    QTest::newRow("in the rotation's member")
        << QByteArray("paddock::DatabaseRotation")
        << QByteArray("The output database has the input's name; nothing to archive.") << false;
    QTest::newRow("outside any class, reading the journal")
        << QByteArray("paddock")
        << QByteArray("Paddock will not act on “%1”, found in the world's folder: %2. Nothing was "
                      "moved; remove that file to archive this world again.")
        << true;
}

void tst_Generations::rotation_refusal_isLookedUpWhereTheCatalogueFilesIt()
{
    QFETCH(QByteArray, context);
    QFETCH(QByteArray, sentence);
    QFETCH(bool, journalLeft);
    // A catalogue holding that one sentence, under that context.
    class OneSentence final : public QTranslator {
    public:
        QByteArray context, sentence;
        bool isEmpty() const override { return false; }
        QString translate(const char *in, const char *source, const char *, int) const override
        {
            return context == in && sentence == source ? QStringLiteral("«translated» %1 %2")
                                                       : QString();
        }
    } catalogue;
    catalogue.context = context;
    catalogue.sentence = sentence;
    QCoreApplication::installTranslator(&catalogue);
    auto uninstall = qScopeGuard([&] { QCoreApplication::removeTranslator(&catalogue); });

    QTemporaryDir dir;
    const QString world = dir.filePath(QStringLiteral("a.db"));
    QVERIFY(writeFile(world, "a"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("a.db.new")), "b"));
    if (journalLeft)
        QVERIFY(writeFile(qtPath(DatabaseRotation::journalPath(osPath(dir.path()))), "{}"));
    const QString output = journalLeft ? dir.filePath(QStringLiteral("a.db.new")) : world;
    try {
        DatabaseRotation(osPath(world), osPath(output), FirstRun).run();
        QFAIL("the rotation was not refused");
    } catch (const RotationError &error) {
        QVERIFY2(QString::fromStdString(error.what()).contains(u"«translated»"), error.what());
    }
}

#include "tst_generations.moc"

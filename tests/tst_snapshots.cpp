// SPDX-License-Identifier: MIT
#include "ArchiveFiles.h"
#include "ArchiveRetention.h"
#include "DatabaseEnding.h"
#include "SettingsKeys.h"
#include "SnapshotRetention.h"
#include "Snapshots.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

using namespace paddock;
using test::contains;
using test::osPath;
using test::readFile;

namespace {

const QDateTime Now(QDate(2026, 12, 9), QTime(12, 0, 0)); // a Wednesday

// The snapshot files of folder (compressed or not), by name.
QStringList snapshotsIn(const QString &folder)
{
    QStringList names;
    for (const std::string &name : test::fileNamesIn(osPath(folder)))
        if (parseSnapshotName(name))
            names.append(QString::fromStdString(name));
    return names;
}

// A world whose checkpoints are snapshotted, with a clock that moves on a minute at each
// snapshot from just after Now, and a worker that can be held before its first compression.
struct SnapshottedWorld {
    SnapshottedWorld()
        : snapshots(fixture.controller())
        , gate(std::make_shared<QSemaphore>())
    {
        fixture.store().setString(MOOSnapshotCheckpoints, "1");
        // Half a second past the minute, as a wall clock is: names keep whole seconds.
        snapshots.setClock([this] { return Now.addSecs(60 * ticks++).addMSecs(500); });
    }
    ~SnapshottedWorld() { gate->release(1000); }
    // The first compression waits until release(); a deadline keeps a fault from hanging.
    void holdFirstCompression()
    {
        snapshots.setBeforeCompression([gate = gate, first = std::make_shared<bool>(true)] {
            if (std::exchange(*first, false))
                gate->tryAcquire(1, 20000);
        });
    }
    QString archive() const { return fixture.folder() + QStringLiteral("/archive"); }
    QString snapshotPath(int tick) const
    {
        return archive() + QLatin1Char('/') +
               QString::fromStdString(snapshotFileName("out.db", Now.addSecs(60 * tick))) +
               QStringLiteral(".zst");
    }
    QByteArray decompressed(const QString &compressed) const
    {
        const QString plain = fixture.folder() + QStringLiteral("/plain");
        QFile::remove(plain);
        try {
            decompressFile(osPath(compressed), osPath(plain));
        } catch (const std::exception &) {
            return "<not decompressed>";
        }
        return readFile(plain);
    }
    void resumeServer() { QVERIFY(fixture.controller().task()->sendSignal(SIGUSR1)); }

    test::ControllerFixture fixture;
    Snapshots snapshots;
    std::shared_ptr<QSemaphore> gate;
    int ticks = 0;
};

} // namespace

class tst_Snapshots final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void ending_data();
    void ending();
    void retention_data();
    void retention();
    void snapshot_onlyAfterFinishedCheckpoint_data();
    void snapshot_onlyAfterFinishedCheckpoint();
    void snapshot_keepsItsCheckpointsBytes_afterTheNextCheckpoint();
    void offsite_failingCopy_saidOnceAndRetried();
    void leftoverLinks_onlyPaddocksFinished();
    void plantedNames_neverFollowedNorReplaced_data();
    void plantedNames_neverFollowedNorReplaced();
};

void tst_Snapshots::ending_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("fromStart");
    QTest::addColumn<bool>("whole");
    const QByteArray objects = "** LambdaMOO Database, Format Version 4 **\n#0\nroom\n";
    QTest::newRow("no connections") << objects + "0 active connections with listeners\n"
                                    << true << true;
    QTest::newRow("objects written with #")
        << objects + "2 active connections with listeners\n#2 7777\n-1 7778\n"
        << true << false;
    QTest::newRow("two connections")
        << objects + "2 active connections with listeners\n2 7777\n-1 7778\n"
        << true << true;
    QTest::newRow("older form") << objects + "1 active connections\n5\n" << true << true;
    QTest::newRow("count too high")
        << objects + "3 active connections with listeners\n2 7777\n-1 7778\n"
        << true << false;
    QTest::newRow("one connection cut off")
        << objects + "2 active connections with listeners\n2 7777\n"
        << true << false;
    QTest::newRow("no last line end")
        << objects + "0 active connections with listeners" << true << false;
    QTest::newRow("cut in the objects") << objects << true << false;
    QTest::newRow("empty") << QByteArray() << true << false;
    QTest::newRow("only the header")
        << QByteArray("0 active connections with listeners\n") << true << true;
    QTest::newRow("header cut by the tail")
        << QByteArray("ections with listeners\n") << false << false;
    QTest::newRow("line after the connections")
        << objects + "1 active connections with listeners\n2 7777\nstand-in\n"
        << true << false;
}

void tst_Snapshots::ending()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, fromStart);
    QFETCH(bool, whole);
    QCOMPARE(endsLikeDatabase(std::string_view(text.constData(), size_t(text.size())), fromStart),
             whole);
}

void tst_Snapshots::retention_data()
{
    QTest::addColumn<QList<qint64>>("ages"); // seconds before Now, one snapshot each
    QTest::addColumn<QList<int>>("removed"); // indexes into ages
    const qint64 hour = 3600, day = 24 * hour;
    QTest::newRow("all of the last day") << QList<qint64>{60, 12 * hour, 23 * hour} << QList<int>{};
    // 3 days back is Sunday 6 Dec: its 14:00 and 10:00 share a day, and 14:00 is newer.
    QTest::newRow("one a day after it")
        << QList<qint64>{60, 3 * day - 2 * hour, 3 * day + 2 * hour} << QList<int>{2};
    // 40 and 41 days back are Friday 30 and Thursday 29 October, of one week.
    QTest::newRow("one a week after the days")
        << QList<qint64>{60, 40 * day, 40 * day + hour, 41 * day} << QList<int>{2, 3};
    // 44 and 45 days back are Monday 26 and Sunday 25 October, of two weeks.
    QTest::newRow("a week each") << QList<qint64>{60, 44 * day, 45 * day} << QList<int>{};
    QTest::newRow("beyond a year") << QList<qint64>{60, 400 * day} << QList<int>{1};
    QTest::newRow("the newest always stays")
        << QList<qint64>{400 * day, 800 * day} << QList<int>{1};
    QTest::newRow("the same second, -2 is newer")
        << QList<qint64>{60, 3 * day, -1} << QList<int>{1}; // -1: the repeat of the one before
}

void tst_Snapshots::retention()
{
    QFETCH(QList<qint64>, ages);
    QFETCH(QList<int>, removed);
    std::vector<std::string> names;
    for (int i = 0; i < ages.size(); ++i) {
        const bool repeat = ages.at(i) < 0;
        const QDateTime time = Now.addSecs(-(repeat ? ages.at(i - 1) : ages.at(i)));
        names.push_back(snapshotFileName("castle.db", time, repeat ? 2 : 1) + ".zst");
    }
    // Never chosen: an uncompressed snapshot (being compressed) and an archive's name.
    std::vector<std::string> all = names;
    all.push_back(snapshotFileName("castle.db", Now.addDays(-900)));
    all.push_back("castle.db.2020-01-01T000000.zst");
    std::vector<std::string> expected;
    for (const int index : removed)
        expected.push_back(names.at(size_t(index)));
    std::sort(expected.begin(), expected.end());
    QCOMPARE(snapshotsToRemove(all, Now, SnapshotRetention()), expected);
}

void tst_Snapshots::snapshot_onlyAfterFinishedCheckpoint_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("kept");
    QTest::newRow("finished") << "checkpoint" << true << true;
    QTest::newRow("started only") << "stderr CHECKPOINTING on out.db.#1# ..." << false << false;
    QTest::newRow("abandoned") << "dump-fails 1\ncheckpoint" << false << false;
    QTest::newRow("another database")
        << "stderr CHECKPOINTING on other.db.#1# finished" << false << false;
    QTest::newRow("cut short") << "dump-cut\ncheckpoint" << true << false;
}

void tst_Snapshots::snapshot_onlyAfterFinishedCheckpoint()
{
    QFETCH(QString, script);
    QFETCH(bool, held);
    QFETCH(bool, kept);
    SnapshottedWorld world;
    QSignalSpy heldSpy(&world.snapshots, &Snapshots::held);
    QSignalSpy finished(&world.snapshots, &Snapshots::finished);
    QSignalSpy notes(&world.snapshots, &Snapshots::note);
    world.fixture.launch(script.toStdString() + "\nstderr done\n");
    // The marker comes on the same stream after the checkpoint's lines.
    QTRY_VERIFY_WITH_TIMEOUT(contains(world.fixture.log(), "\ndone"), 10000);
    QCOMPARE(heldSpy.count(), held ? 1 : 0);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), held ? 1 : 0, 20000);
    if (held)
        QCOMPARE(finished.first().at(1).toBool(), kept);
    const QStringList left = snapshotsIn(world.archive());
    QCOMPARE(left.size(), kept ? 1 : 0);
    if (held && !kept)
        QVERIFY2(notes.last().at(0).toString().contains(QStringLiteral("does not end")),
                 qPrintable(notes.last().at(0).toString()));
}

void tst_Snapshots::snapshot_keepsItsCheckpointsBytes_afterTheNextCheckpoint()
{
    SnapshottedWorld world;
    world.holdFirstCompression();
    QSignalSpy held(&world.snapshots, &Snapshots::held);
    QSignalSpy finished(&world.snapshots, &Snapshots::finished);
    const std::string script = "checkpoint\nwait-usr1\ncheckpoint\n";
    world.fixture.launch(script);
    QTRY_COMPARE_WITH_TIMEOUT(held.count(), 1, 10000);
    world.resumeServer();
    // The second checkpoint is renamed over the name while the first waits to be compressed.
    QTRY_COMPARE_WITH_TIMEOUT(held.count(), 2, 10000);
    world.gate->release();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
    const QByteArray ending = "0 active connections with listeners\n";
    QCOMPARE(world.decompressed(world.snapshotPath(0)),
             QByteArray(script.c_str()) + "stand-in-server: checkpoint 1\n" + ending);
    QCOMPARE(world.decompressed(world.snapshotPath(1)),
             QByteArray(script.c_str()) + "stand-in-server: checkpoint 2\n" + ending);
    // The links are gone once compressed: only the compressed snapshots stay.
    QCOMPARE(snapshotsIn(world.archive()).size(), 2);
}

void tst_Snapshots::offsite_failingCopy_saidOnceAndRetried()
{
    SnapshottedWorld world;
    const QString offsite = world.fixture.folder() + QStringLiteral("/offsite");
    world.fixture.store().setString(MOOOffsiteFolder, osPath(offsite));
    QSignalSpy finished(&world.snapshots, &Snapshots::finished);
    world.fixture.launch("checkpoint\nwait-usr1\ncheckpoint\nwait-usr1\ncheckpoint\n");
    const auto said = [&finished](int index) { return finished.at(index).at(0).toString(); };
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    QVERIFY2(said(0).contains(QStringLiteral("off-site")), qPrintable(said(0)));
    world.resumeServer();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
    QVERIFY2(!said(1).contains(QStringLiteral("off-site")), qPrintable(said(1)));
    // The folder appears (a disk mounted again): the next snapshot brings all of them there.
    QVERIFY(QDir().mkpath(offsite));
    world.resumeServer();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, 20000);
    QVERIFY2(said(2).contains(QStringLiteral("up to date again")), qPrintable(said(2)));
    const QStringList local = snapshotsIn(world.archive());
    QCOMPARE(local.size(), 3);
    QCOMPARE(snapshotsIn(offsite), local);
    for (const QString &name : local)
        QCOMPARE(readFile(offsite + QLatin1Char('/') + name),
                 readFile(world.archive() + QLatin1Char('/') + name));
}

void tst_Snapshots::leftoverLinks_onlyPaddocksFinished()
{
    // Links an earlier Paddock made and recorded but did not compress before it ended, and
    // one of the same form it did not make.
    SnapshottedWorld world;
    QVERIFY(QDir().mkpath(world.archive()));
    const QByteArray whole = "#0\n0 active connections with listeners\n";
    const std::string ours = snapshotFileName("out.db", Now.addSecs(-3600));
    const std::string cut = snapshotFileName("out.db", Now.addSecs(-1800));
    const std::string stranger = snapshotFileName("out.db", Now.addSecs(-900));
    for (const std::string &name : {ours, cut, stranger})
        QVERIFY(test::writeFile(osPath(world.archive()) + '/' + name,
                                name == cut ? QByteArray("#0\n") : whole));
    const HeldFolder archiveFolder = HeldFolder::open(osPath(world.archive()));
    // And one the user has removed since.
    const std::string removed = snapshotFileName("out.db", Now.addSecs(-7200)) + ".zst";
    for (const std::string &name : {ours, cut, removed})
        recordArchived(archiveFolder, name);
    QSignalSpy finished(&world.snapshots, &Snapshots::finished);
    world.fixture.launch("checkpoint\n");
    QVERIFY(finished.wait(20000));
    const QString archive = world.archive() + QLatin1Char('/');
    QCOMPARE(world.decompressed(archive + QString::fromStdString(ours) + QStringLiteral(".zst")),
             whole);
    QCOMPARE(snapshotsIn(world.archive()),
             QStringList({QString::fromStdString(ours) + QStringLiteral(".zst"),
                          QString::fromStdString(stranger),
                          QString::fromStdString(snapshotFileName("out.db", Now)) +
                              QStringLiteral(".zst")}));
    // The list of what Paddock made keeps only what is still there.
    QCOMPARE(archivedByPaddock(archiveFolder),
             (std::vector<std::string>{ours + ".zst", snapshotFileName("out.db", Now) + ".zst"}));
}

void tst_Snapshots::plantedNames_neverFollowedNorReplaced_data()
{
    QTest::addColumn<QString>("where");  // archive or offsite
    QTest::addColumn<QString>("suffix"); // after the snapshot's name
    QTest::addColumn<bool>("link");      // a link to a file outside, or a file of its own
    QTest::addColumn<bool>("kept");
    QTest::newRow("link at the name") << "archive"
                                      << "" << true << true;
    QTest::newRow("file at the name") << "archive"
                                      << "" << false << true;
    QTest::newRow("link at the compressed name") << "archive"
                                                 << ".zst" << true << true;
    QTest::newRow("link at the part") << "archive"
                                      << ".zst.part" << true << false;
    QTest::newRow("link off-site") << "offsite"
                                   << ".zst" << true << true;
    QTest::newRow("link at the off-site part") << "offsite"
                                               << ".zst.part" << true << true;
}

void tst_Snapshots::plantedNames_neverFollowedNorReplaced()
{
    QFETCH(QString, where);
    QFETCH(QString, suffix);
    QFETCH(bool, link);
    QFETCH(bool, kept);
    SnapshottedWorld world;
    const QString folder = world.fixture.folder() + QLatin1Char('/') + where;
    QVERIFY(QDir().mkpath(folder));
    world.fixture.store().setString(MOOOffsiteFolder,
                                    osPath(world.fixture.folder() + QStringLiteral("/offsite")));
    QTemporaryDir elsewhere;
    const QString outside = elsewhere.filePath(QStringLiteral("outside"));
    QVERIFY(test::writeFile(outside, "not Paddock's"));
    const QString planted = folder + QLatin1Char('/') +
                            QString::fromStdString(snapshotFileName("out.db", Now)) + suffix;
    QVERIFY(link ? QFile::link(outside, planted) : test::writeFile(planted, "someone's"));
    QSignalSpy finished(&world.snapshots, &Snapshots::finished);
    world.fixture.launch("checkpoint\n");
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().at(1).toBool(), kept);
    QCOMPARE(readFile(outside), QByteArray("not Paddock's"));
    QCOMPARE(QFileInfo(planted).isSymLink(), link);
    if (!link)
        QCOMPARE(readFile(planted), QByteArray("someone's"));
    const QString said = finished.first().at(0).toString();
    if (where == QStringLiteral("offsite") && suffix == QStringLiteral(".zst"))
        QVERIFY2(said.contains(QStringLiteral("off-site")), qPrintable(said));
}

PADDOCK_TEST_MAIN(tst_Snapshots)
#include "tst_snapshots.moc"

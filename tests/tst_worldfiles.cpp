// SPDX-License-Identifier: MIT
#include "ArchiveFiles.h"
#include "DatabaseRotation.h"
#include "DatabasesWindow.h"
#include "String.h"
#include "WidgetTestSupport.h"
#include "WorldFiles.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace paddock;
using test::osPath;
using test::readFile;
using test::writeFile;

namespace {

// Today's year, so the run texts leave it out.
const QDateTime Base(QDate(QDate::currentDate().year(), 1, 2), QTime(16, 12));

// Writes bytes to path (bytes, any name) last modified at time.
QString stamp(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HHmmss"));
}

// A temporary folder that goes whatever bytes its names hold (QTemporaryDir cannot remove a
// name that is not UTF-8).
struct Folder {
    QTemporaryDir dir;
    ~Folder() { test::removeTree(osPath(dir.path())); }
};

// A world in dir: castle.db, its outputs, archive, leftovers, strangers, and the runs that made
// them. Returns the runs; the database is dir/world/castle.db.
QList<RunRecord> makeWorld(const QTemporaryDir &dir)
{
    const std::string world = osPath(dir.filePath(QStringLiteral("world")));
    const std::string elsewhere = osPath(dir.filePath(QStringLiteral("elsewhere")));
    for (const std::string &folder : {world, world + "/archive", elsewhere})
        ::mkdir(folder.c_str(), 0755);
    const auto at = [&](int hours) { return Base.addSecs(hours * 3600); };
    const std::pair<std::string, int> files[] = {
        {"saved.db", -2},
        {"castle.db", 3},
        {"castle.db.new", 5},
        {"castle.db.new.PANIC", 6},
        {"castle.db.new.#3#", 7},
        {"castle.db.\xff", 1},
        {"tower.db", 9},
        {"archive/castle.db." + stamp(at(0)).toStdString() + ".zst", 0},
        {"archive/castle.db." + stamp(at(1)).toStdString(), 1},
        {"archive/castle.db.old", 9},
        {"archive/notes.txt", 9},
        {"archive/tower.db." + stamp(at(1)).toStdString(), 9},
        {"archive/castle.db." + stamp(at(2)).toStdString() + ".snapshot.zst", 2},
        {"archive/castle.db." + stamp(at(2)).toStdString() + "-2.snapshot", 2},
        {"castle.db." + stamp(at(2)).toStdString() + ".snapshot", 2},
    };
    bool written = writeFile(elsewhere + "/castle-copy.db", "copy", at(4));
    for (const auto &[name, hours] : files)
        written =
            writeFile(world + '/' + name, QByteArray::fromStdString(name), at(hours)) && written;
    if (!written)
        QTest::qFail("the world's files could not be written", __FILE__, __LINE__);
    const std::string &w = world;
    return {
        {at(-1), w + "/saved.db", w + "/castle.db"},
        {at(1), w + "/castle.db", w + "/castle.db"},
        {at(2), w + "/castle.db", elsewhere + "/castle-copy.db"},
        {at(4), w + "/castle.db", w + "/castle.db.new"},
        // Started after castle.db.new was written: the file is not its.
        {at(8), w + "/castle.db", w + "/castle.db.new"},
    };
}

// Answers the next modal question with the button of role, once it is up.
void answerQuestion(QMessageBox::ButtonRole role, QString *asked)
{
    QTimer::singleShot(0, [role, asked] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return answerQuestion(role, asked);
        *asked = box->objectName();
        for (QAbstractButton *button : box->buttons())
            if (box->buttonRole(button) == role)
                return button->click();
    });
}

QPushButton *button(const DatabasesWindow &window, const char *name)
{
    return window.findChild<QPushButton *>(QString::fromLatin1(name));
}

} // namespace

class tst_WorldFiles final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void list_findsTheWorldsFilesAndTheirRuns_data();
    void list_findsTheWorldsFilesAndTheirRuns();
    void decompress_roundTripKeepsTimeAndNeverOverwrites_data();
    void decompress_roundTripKeepsTimeAndNeverOverwrites();
    void window_startsFromTheSelectedFile_panicOnlyWhenConfirmed();
    void window_preselectsTheNewestOnlyWhenItIsADatabase_data();
    void window_preselectsTheNewestOnlyWhenItIsADatabase();
    void visiblePath_showsEveryByteUnambiguously_data();
    void visiblePath_showsEveryByteUnambiguously();
    void window_removesOnlyTheConfirmedDump_andRestoresAnArchive();
    void history_linkInItsPlace_isNeitherReadNorWrittenThrough();
};

void tst_WorldFiles::list_findsTheWorldsFilesAndTheirRuns_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("kind"); // -1: not listed
    QTest::addColumn<QString>("run");
    QTest::addColumn<bool>("newest");
    const auto row = [](const char *name, const QByteArray &file, int kind, const char *run,
                        bool newest = false) {
        QTest::newRow(name) << file << kind << QString::fromUtf8(run) << newest;
    };
    const int database = int(WorldFileKind::Database), output = int(WorldFileKind::Output),
              archive = int(WorldFileKind::Archive), panic = int(WorldFileKind::Panic),
              dump = int(WorldFileKind::TemporaryDump), snapshot = int(WorldFileKind::Snapshot);
    const QByteArray zst = "archive/castle.db." + stamp(Base).toLatin1() + ".zst";
    const QByteArray plain = "archive/castle.db." + stamp(Base.addSecs(3600)).toLatin1();
    row("the database, written by its last run", "castle.db", database, "run of 2 Jan 17:12");
    row("an input a run started from", "saved.db", database, "read by run of 2 Jan 15:12");
    row("output, by the run that had started", "castle.db.new", output, "run of 2 Jan 20:12", true);
    row("panic dump of that output", "castle.db.new.PANIC", panic, "run of 2 Jan 20:12");
    row("unfinished dump", "castle.db.new.#3#", dump, "run of 2 Jan 20:12");
    row("name not UTF-8", "castle.db.\xff", output, "");
    row("output in another folder", "../elsewhere/castle-copy.db", output, "run of 2 Jan 18:12");
    row("compressed archive", zst, archive, "read by run of 2 Jan 16:12");
    row("archive", plain, archive, "read by run of 2 Jan 17:12");
    const QByteArray checkpoint = "castle.db." + stamp(Base.addSecs(7200)).toLatin1();
    row("snapshot", "archive/" + checkpoint + ".snapshot.zst", snapshot,
        "checkpoint of 2 Jan 18:12");
    row("snapshot being compressed", "archive/" + checkpoint + "-2.snapshot", -1, "");
    row("snapshot restored", checkpoint + ".snapshot", snapshot, "checkpoint of 2 Jan 18:12");
    row("another world beside it", "tower.db", -1, "");
    row("another world's archive", "archive/tower.db." + stamp(Base.addSecs(3600)).toLatin1(), -1,
        "");
    row("a name Paddock does not give in archive/", "archive/castle.db.old", -1, "");
    row("a stranger in archive/", "archive/notes.txt", -1, "");
}

void tst_WorldFiles::list_findsTheWorldsFilesAndTheirRuns()
{
    QFETCH(QByteArray, file);
    QFETCH(int, kind);
    QFETCH(QString, run);
    QFETCH(bool, newest);
    Folder folder;
    const QTemporaryDir &dir = folder.dir;
    const QList<RunRecord> runs = makeWorld(dir);
    const std::string world = osPath(dir.filePath(QStringLiteral("world")));
    const QList<WorldFile> files = listWorldFiles(world + "/castle.db", runs);

    QVERIFY(std::is_sorted(files.begin(), files.end(), [](const WorldFile &a, const WorldFile &b) {
        return a.modified > b.modified;
    }));
    QCOMPARE(std::count_if(files.begin(), files.end(),
                           [](const WorldFile &f) { return f.newestComplete; }),
             1);
    const std::string path = world + '/' + file.toStdString();
    const auto found = std::find_if(files.begin(), files.end(), [&](const WorldFile &f) {
        return f.localPath == path || (file.startsWith("../") && f.path == QString::fromUtf8(file));
    });
    if (kind < 0) {
        QVERIFY2(found == files.end(), file.constData());
        return;
    }
    QVERIFY2(found != files.end(), file.constData());
    QCOMPARE(int(found->kind), kind);
    QCOMPARE(found->run, run);
    QCOMPARE(found->newestComplete, newest);
    QCOMPARE(found->size, file.startsWith("../") ? qint64(4) : qint64(file.size()));
}

void tst_WorldFiles::decompress_roundTripKeepsTimeAndNeverOverwrites_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("damage"); // "", "cut short", "target exists", "stale part"
    QByteArray large;
    for (int i = 0; large.size() < 3 << 20; ++i)
        large += "#" + QByteArray::number(i * 7919 % 100003) + "\nobject\n";
    QTest::newRow("empty database") << QByteArray() << QString();
    QTest::newRow("several buffers") << large << QString();
    QTest::newRow("compressed file cut short") << large << QStringLiteral("cut short");
    QTest::newRow("target exists") << QByteArray("db") << QStringLiteral("target exists");
    QTest::newRow("part left by an interrupted restore") << large << QStringLiteral("stale part");
}

void tst_WorldFiles::decompress_roundTripKeepsTimeAndNeverOverwrites()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const std::string source = osPath(dir.filePath(QStringLiteral("castle.db")));
    const std::string zst = source + ".zst", target = source + ".restored";
    QVERIFY(writeFile(source, contents, Base));
    compressFile(source, zst);
    QCOMPARE(QFileInfo(test::qtPath(zst)).lastModified(), Base);
    if (damage == QLatin1String("cut short"))
        QVERIFY(::truncate(zst.c_str(), QFileInfo(test::qtPath(zst)).size() / 2) == 0);
    if (damage == QLatin1String("target exists"))
        QVERIFY(writeFile(target, "keep me", Base));
    if (damage == QLatin1String("stale part"))
        QVERIFY(writeFile(target + ".part", "half a database", Base));

    QString error;
    try {
        decompressFile(zst, target);
    } catch (const RotationError &e) {
        error = QString::fromStdString(e.what());
    }
    QVERIFY2(!QFile::exists(test::qtPath(target + ".part")), "a part was left behind");
    if (damage.isEmpty() || damage == QLatin1String("stale part")) {
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(readFile(target) == contents);
        QCOMPARE(QFileInfo(test::qtPath(target)).lastModified(), Base);
    } else {
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(target), damage == QLatin1String("target exists")
                                       ? QByteArray("keep me")
                                       : QByteArray("<missing>"));
    }
}

void tst_WorldFiles::window_startsFromTheSelectedFile_panicOnlyWhenConfirmed()
{
    Folder folder;
    const QTemporaryDir &dir = folder.dir;
    makeWorld(dir);
    const std::string world = osPath(dir.filePath(QStringLiteral("world")));
    QList<std::string> started;
    DatabasesWindow window([&](const std::string &db) { return started.append(db), true; },
                           RunHistory(std::string()));
    QVERIFY(window.files().isEmpty());
    window.setWorldDatabase(world + "/castle.db");
    window.show();
    QPushButton *start = button(window, "startFromThisButton");

    QVERIFY(window.selectFile(world + "/castle.db.\xff"));
    window.setServerRunning(true);
    QVERIFY(!start->isEnabled());
    window.setServerRunning(false);
    start->click();
    QCOMPARE(started, QList<std::string>{world + "/castle.db.\xff"});

    QVERIFY(window.selectFile(world + "/castle.db.new.#3#"));
    QVERIFY(!start->isEnabled());

    QString asked;
    QVERIFY(window.selectFile(world + "/castle.db.new.PANIC"));
    answerQuestion(QMessageBox::RejectRole, &asked);
    start->click();
    QCOMPARE(asked, QStringLiteral("startFromPanicQuestion"));
    QCOMPARE(started.size(), 1);
    answerQuestion(QMessageBox::DestructiveRole, &asked);
    start->click();
    QCOMPARE(started.last(), world + "/castle.db.new.PANIC");
}

void tst_WorldFiles::window_removesOnlyTheConfirmedDump_andRestoresAnArchive()
{
    Folder folder;
    const QTemporaryDir &dir = folder.dir;
    makeWorld(dir);
    const std::string world = osPath(dir.filePath(QStringLiteral("world")));
    DatabasesWindow window([](const std::string &) { return false; }, RunHistory(std::string()));
    window.setWorldDatabase(world + "/castle.db");
    window.show();
    const int count = window.files().size();
    const std::string dump = world + "/castle.db.new.#3#";

    QString asked;
    QVERIFY(window.selectFile(dump));
    answerQuestion(QMessageBox::RejectRole, &asked);
    button(window, "removeButton")->click();
    QCOMPARE(asked, QStringLiteral("removeDumpQuestion"));
    QVERIFY(QFile::exists(test::qtPath(dump)));
    answerQuestion(QMessageBox::DestructiveRole, &asked);
    button(window, "removeButton")->click();
    QVERIFY(!QFile::exists(test::qtPath(dump)));
    QCOMPARE(window.files().size(), count - 1);

    // The archive's bytes are its name: compress it for real, then restore it beside castle.db.
    const std::string plain = world + "/archive/castle.db." + stamp(Base).toStdString();
    QVERIFY(::unlink((plain + ".zst").c_str()) == 0);
    QVERIFY(writeFile(plain, "the world as it was", Base));
    compressFile(plain, plain + ".zst");
    QVERIFY(::unlink(plain.c_str()) == 0);
    window.refresh();
    QVERIFY(window.selectFile(plain + ".zst"));
    QVERIFY(!button(window, "startFromThisButton")->isEnabled());
    button(window, "restoreButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isRestoring(), 10000);
    const std::string restored = world + "/castle.db." + stamp(Base).toStdString();
    QCOMPARE(readFile(restored), QByteArray("the world as it was"));
    QVERIFY2(window.message().startsWith(QStringLiteral("Restored")), qPrintable(window.message()));
    QVERIFY(window.selectFile(restored));

    // Restoring again never replaces the restored file.
    QVERIFY(writeFile(restored, "changed since", Base));
    QVERIFY(window.selectFile(plain + ".zst"));
    button(window, "restoreButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isRestoring(), 10000);
    QCOMPARE(readFile(restored), QByteArray("changed since"));
    QVERIFY2(window.message().contains(QStringLiteral("could not be restored")),
             qPrintable(window.message()));
}

void tst_WorldFiles::window_preselectsTheNewestOnlyWhenItIsADatabase_data()
{
    QTest::addColumn<QByteArray>("name"); // the newest file beside castle.db
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("recorded"); // a recorded run wrote it
    QTest::addColumn<bool>("chosen");   // preselected, rather than castle.db
    const QByteArray header = "** LambdaMOO Database, Format Version 4 **\n";
    const auto row = [](const char *what, const char *name, const QByteArray &contents,
                        bool recorded, bool chosen) {
        QTest::newRow(what) << QByteArray(name) << contents << recorded << chosen;
    };
    row("a byte under a name with a newline", "castle.db.new\nx", "x", false, false);
    row("a MOO database", "castle.db.bak", header + "1\n", false, true);
    row("the header not first", "castle.db.bak", "\n" + header, false, false);
    row("a recorded run's output", "castle.db.new", "stdout hi\n", true, true);
    row("a link to a database", "castle.db.link", header, false, false);
}

void tst_WorldFiles::window_preselectsTheNewestOnlyWhenItIsADatabase()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, contents);
    QFETCH(bool, recorded);
    QFETCH(bool, chosen);
    Folder folder;
    const std::string world = osPath(folder.dir.path()), db = world + "/castle.db";
    const std::string newest = world + '/' + name.toStdString();
    const bool link = name.endsWith(".link");
    QVERIFY(writeFile(db, "stdout old\n", Base));
    QVERIFY(writeFile(link ? world + "/elsewhere.db" : newest, contents, Base.addSecs(60)));
    QVERIFY(!link || ::symlink("elsewhere.db", newest.c_str()) == 0);
    const RunHistory history(world + "/state/runs");
    QVERIFY(!recorded || history.record({Base, db, newest}));
    QList<std::string> started;
    DatabasesWindow window([&](const std::string &path) { return started.append(path), true; },
                           history);
    window.setWorldDatabase(db);
    window.show();
    QCOMPARE(window.files().first().localPath, newest);
    QCOMPARE(window.files().first().path, visiblePath(name.toStdString()));
    button(window, "startFromThisButton")->click();
    QCOMPARE(started, QList<std::string>{chosen ? newest : db});
}

void tst_WorldFiles::visiblePath_showsEveryByteUnambiguously_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9") << QStringLiteral("café");
    QTest::newRow("controls") << QByteArray("a\nb\tc\r\x01\x7f")
                              << QStringLiteral("a\\nb\\tc\\r\\x01\\x7f");
    QTest::newRow("a backslash") << QByteArray("a\\nb") << QStringLiteral("a\\\\nb");
    QTest::newRow("not UTF-8, overlong")
        << QByteArray("\xff\xc0\xaf") << QStringLiteral("\\xff\\xc0\\xaf");
    QTest::newRow("right-to-left override, line separator")
        << QByteArray("\xe2\x80\xae\xe2\x80\xa8") << QStringLiteral("\\u{202e}\\u{2028}");
}

void tst_WorldFiles::visiblePath_showsEveryByteUnambiguously()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, shown);
    QCOMPARE(visiblePath(bytes.toStdString()), shown);
}

void tst_WorldFiles::history_linkInItsPlace_isNeitherReadNorWrittenThrough()
{
    Folder folder;
    const std::string state = osPath(folder.dir.path()), target = state + "/elsewhere";
    const RunHistory real(target);
    QVERIFY(real.record({Base, state + "/castle.db", state + "/castle.db.new"}));
    const QByteArray before = readFile(target);
    QCOMPARE(::symlink("elsewhere", (state + "/runs").c_str()), 0);
    const RunHistory history(state + "/runs");
    QVERIFY(history.runs().isEmpty());
    QVERIFY(!history.record({Base, state + "/other.db", state + "/other.db.new"}));
    QCOMPARE(readFile(target), before);
}

PADDOCK_WIDGETS_TEST_MAIN(tst_WorldFiles)
#include "tst_worldfiles.moc"

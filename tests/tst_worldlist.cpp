// SPDX-License-Identifier: MIT
#include "DatabaseCopy.h"
#include "DuplicateWorldDialog.h"
#include "ServerLife.h"
#include "StateWords.h"
#include "String.h"
#include "SystemError.h"
#include "WidgetTestSupport.h"
#include "WorldActions.h"
#include "WorldList.h"
#include "WorldNameDialog.h"
#include "WorldsTestSupport.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMetaEnum>
#include <QSignalSpy>

#include <cerrno>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

namespace {

const QByteArray Header = "** LambdaMOO Database, Format Version 4 **\n";

// Each row as shown: the world's name, a line break, its state.
QStringList rowsOf(const WorldList &list)
{
    const auto *view = list.findChild<QListWidget *>();
    QStringList rows;
    for (int row = 0; row < view->count(); ++row)
        rows << view->item(row)->text();
    return rows;
}

std::string in(const QTemporaryDir &base, const char *name)
{
    return osPath(base.filePath(QString::fromUtf8(name)));
}

} // namespace

class tst_WorldList final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void list_followsWorldsAndTheirServers_data();
    void list_followsWorldsAndTheirServers();
    void wanted_onlyWithMoreThanOneWorld();
    void stateWords_everyStateSaidByStatusListAndTitle_data();
    void stateWords_everyStateSaidByStatusListAndTitle();
    void copyFolder_refusedUnlessNewAndApart_data();
    void copyFolder_refusedUnlessNewAndApart();
    void copy_wholeOrNothingLeft_data();
    void copy_wholeOrNothingLeft();
    void duplicate_settingsAndNewestDatabase_data();
    void duplicate_settingsAndNewestDatabase();
    void nameDialogs_stayOpenOnRefusedName_data();
    void nameDialogs_stayOpenOnRefusedName();
    void remove_refusedWhileRunningAndForTheFirstWorld_data();
    void remove_refusedWhileRunningAndForTheFirstWorld();
};

void tst_WorldList::list_followsWorldsAndTheirServers_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("current");
    const QString first = QStringLiteral("First world\nStopped");
    QTest::newRow("world added") << QStringLiteral("add")
                                 << QStringList{first, QStringLiteral("Test copy\nStopped"),
                                                QStringLiteral("Third\nStopped")}
                                 << Second;
    QTest::newRow("world renamed") << QStringLiteral("rename")
                                   << QStringList{first, QStringLiteral("Live\nStopped")} << Second;
    QTest::newRow("current world removed: the first is current")
        << QStringLiteral("remove") << QStringList{first} << Worlds::firstWorld();
    QTest::newRow("running, one player on")
        << QStringLiteral("listen 0\nlogin Wizard 2\ntick-ms 50\n")
        << QStringList{first, QStringLiteral("Test copy\nRunning; 1 player on")} << Second;
    QTest::newRow("crashed") << QStringLiteral("crash SEGV\n")
                             << QStringList{first, QStringLiteral("Test copy\nCrashed")} << Second;
}

void tst_WorldList::list_followsWorldsAndTheirServers()
{
    QFETCH(QString, change);
    QFETCH(QStringList, rows);
    QFETCH(QString, current);
    TwoWorlds two;
    WorldServers servers(two.worlds);
    WorldList list(two.worlds, servers);
    list.setCurrentWorld(Second);
    QSignalSpy currentChanged(&list, &WorldList::currentWorldChanged);
    if (change == QStringLiteral("add"))
        two.worlds.add(QStringLiteral("Third"));
    else if (change == QStringLiteral("rename"))
        two.worlds.rename(Second, QStringLiteral("Live"));
    else if (change == QStringLiteral("remove"))
        QCOMPARE(servers.remove(Second), QString());
    else
        QVERIFY(start(servers, Second, two.folder.path(), change.toStdString()));
    QTRY_COMPARE_WITH_TIMEOUT(rowsOf(list), rows, 10000);
    QCOMPARE(list.currentWorld(), current);
    QCOMPARE(currentChanged.count(), current == Second ? 0 : 1);
    // A screen reader hears each row's name and state in one sentence.
    const QListWidgetItem *last = list.findChild<QListWidget *>()->item(int(rows.size()) - 1);
    QCOMPARE(last->data(Qt::AccessibleTextRole).toString(),
             QString(rows.constLast()).replace(u'\n', QStringLiteral(": ")));
}

void tst_WorldList::wanted_onlyWithMoreThanOneWorld()
{
    QTemporaryDir folder;
    UserDefaults store(osPath(folder.filePath(QStringLiteral("paddock.conf"))));
    Worlds worlds(store);
    WorldServers servers(worlds);
    WorldList list(worlds, servers);
    QSignalSpy wantedChanged(&list, &WorldList::wantedChanged);
    QVERIFY(!list.wanted());
    worlds.add(QStringLiteral("Test copy"));
    worlds.add(QStringLiteral("Old"));
    QVERIFY(worlds.remove(QStringLiteral("World3")));
    QVERIFY(list.wanted());
    QVERIFY(worlds.remove(Second));
    QVERIFY(!list.wanted());
    QCOMPARE(wantedChanged.count(), 2); // once each way, not for each change
}

void tst_WorldList::stateWords_everyStateSaidByStatusListAndTitle_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("end");
    QTest::addColumn<int>("running");
    // Every state the life has, so a new one joins the table here by itself: while it runs,
    // each way it can be doing; once ended, each end.
    const QMetaEnum states = QMetaEnum::fromType<ServerLife::State>();
    const std::pair<RunningAs, const char *> runnings[] = {
        {RunningAs::Normally, ""},
        {RunningAs::InEmergencyMode, ", in emergency mode"},
        {RunningAs::NotResponding, ", not responding"}};
    const std::pair<ServerEnd, const char *> ends[] = {
        {ServerEnd::None, ", end not seen yet"},
        {ServerEnd::Stopped, ", stopped"},
        {ServerEnd::ShutDownFromInside, ", shut down from inside"},
        {ServerEnd::FailedToStart, ", failed to start"},
        {ServerEnd::Crashed, ", crashed"},
        {ServerEnd::Unknown, ", end unknown"}};
    for (int index = 0; index < states.keyCount(); ++index) {
        const auto state = ServerLife::State(states.value(index));
        const QByteArray name = states.key(index);
        if (state == ServerLife::State::Running)
            for (const auto &[running, how] : runnings)
                QTest::newRow(QByteArray(name + how).constData())
                    << int(state) << int(ServerEnd::None) << int(running);
        else if (state == ServerLife::State::Ended)
            for (const auto &[end, how] : ends)
                QTest::newRow(QByteArray(name + how).constData())
                    << int(state) << int(end) << int(RunningAs::Normally);
        else
            QTest::newRow(name.constData())
                << int(state) << int(ServerEnd::Crashed) << int(RunningAs::Normally);
    }
}

void tst_WorldList::stateWords_everyStateSaidByStatusListAndTitle()
{
    QFETCH(int, state);
    QFETCH(int, end);
    QFETCH(int, running);
    // Every display's words as they have been said (status bar, list, title); a state not
    // listed here fails.
    struct Words {
        const char *status, *glance, *title;
    };
    static const QHash<QByteArray, Words> said = {
        {"Idle", {"Stopped", "Stopped", "Stopped"}},
        {"Running", {"Running, PID %1, since %2", "Running", "Running"}},
        {"Running, in emergency mode",
         {"Running in emergency mode, PID %1: players cannot connect until you choose Continue",
          "Running", "Running"}},
        {"Running, not responding",
         {"Not responding since %1, PID %2", "Not responding since %1", "Running"}},
        {"Stopping", {"Stopping...", "Stopping...", "Stopping"}},
        {"StopTakingLong",
         {"Stopping... the server is still writing its database or is not answering",
          "Stopping...", "Stopping"}},
        {"Ended, end not seen yet", {"Stopped", "Stopped", "Stopped"}},
        {"Ended, stopped", {"Stopped", "Stopped", "Stopped"}},
        {"Ended, shut down from inside",
         {"Shut down from inside the world", "Shut down from inside the world", "Stopped"}},
        {"Ended, failed to start", {"Failed to start: ", "Failed to start", "Failed to start"}},
        {"Ended, crashed", {"Crashed: ", "Crashed", "Crashed"}},
        {"Ended, end unknown", {"Server ended; its exit status is unknown", "Ended", "Stopped"}},
        {"LaunchFailed", {"Launch failed: ", "Launch failed", "Launch failed"}},
        {"WaitingToRestart",
         {"Crashed; starting again in %1 s", "Crashed; starting again", "Waiting to restart"}},
    };
    const auto expected = said.find(QTest::currentDataTag());
    QVERIFY2(expected != said.end(), "no words listed for this state");
    const StatePhrase phrase =
        statePhrase(ServerLife::State(state), ServerEnd(end), RunningAs(running));
    QCOMPARE(statusWords(phrase), QString::fromUtf8(expected->status));
    QCOMPARE(glanceWords(phrase), QString::fromUtf8(expected->glance));
    QCOMPARE(titleWords(phrase), QString::fromUtf8(expected->title));
    // A launch that failed as a restart: told apart by the status bar alone.
    if (phrase == StatePhrase::LaunchFailed) {
        QCOMPARE(statusWords(StatePhrase::RestartFailed),
                 QStringLiteral("Crashed; starting it again failed: "));
        QCOMPARE(glanceWords(StatePhrase::RestartFailed), glanceWords(phrase));
        QCOMPARE(titleWords(StatePhrase::RestartFailed), titleWords(phrase));
    }
}

void tst_WorldList::copyFolder_refusedUnlessNewAndApart_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("none") << QString() << QStringLiteral("Choose a folder");
    QTest::newRow("a file") << QStringLiteral("live/castle.db") << QStringLiteral("not a folder");
    QTest::newRow("the world's own") << QStringLiteral("live") << QStringLiteral("world's own");
    QTest::newRow("the world's own through a link")
        << QStringLiteral("link-to-live") << QStringLiteral("world's own");
    QTest::newRow("the name taken, by a link too")
        << QStringLiteral("taken") << QStringLiteral("holds a “castle.db” already");
    QTest::newRow("another world's database")
        << QStringLiteral("other") << QStringLiteral("holds the database “other.db”");
    QTest::newRow("new and empty") << QStringLiteral("new") << QString();
    QTest::newRow("only notes, and a link to a database") << QStringLiteral("notes") << QString();
}

void tst_WorldList::copyFolder_refusedUnlessNewAndApart()
{
    QFETCH(QString, folder);
    QFETCH(QString, refusal);
    QTemporaryDir base;
    for (const char *name : {"live", "taken", "other", "new", "notes"})
        QVERIFY(QDir(base.path()).mkdir(QString::fromUtf8(name)));
    QVERIFY(writeFile(in(base, "live/castle.db"), Header));
    QVERIFY(::symlink(in(base, "live").c_str(), in(base, "link-to-live").c_str()) == 0);
    QVERIFY(::symlink("/nonexistent", in(base, "taken/castle.db").c_str()) == 0);
    QVERIFY(writeFile(in(base, "other/other.db"), Header));
    QVERIFY(writeFile(in(base, "notes/README"), "notes\n"));
    QVERIFY(::symlink(in(base, "live/castle.db").c_str(), in(base, "notes/link.db").c_str()) == 0);

    const QString problem =
        copyFolderProblem(folder.isEmpty() ? std::string() : osPath(base.filePath(folder)),
                          in(base, "live/castle.db"), "castle.db");
    if (refusal.isEmpty())
        QCOMPARE(problem, QString());
    else
        QVERIFY2(problem.contains(refusal), qPrintable(problem));
}

void tst_WorldList::copy_wholeOrNothingLeft_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QStringList>("leftInTarget");
    QTest::newRow("complete") << QString() << QString() << QStringList{QStringLiteral("castle.db")};
    QTest::newRow("cancelled") << QStringLiteral("cancel") << QStringLiteral("cancelled")
                               << QStringList();
    QTest::newRow("a link in place of the source")
        << QStringLiteral("source link") << QStringLiteral("link") << QStringList();
    QTest::newRow("a link in place of the copy")
        << QStringLiteral("target link") << QString::fromLocal8Bit(errorText(EEXIST))
        << QStringList{QStringLiteral("castle.db")};
    QTest::newRow("a link in place of its part")
        << QStringLiteral("part link") << QString::fromLocal8Bit(errorText(EEXIST))
        << QStringList{QStringLiteral("castle.db.part")};
    QTest::newRow("the disk fills up")
        << QStringLiteral("full") << QString::fromLocal8Bit(errorText(EFBIG)) << QStringList();
}

void tst_WorldList::copy_wholeOrNothingLeft()
{
    QFETCH(QString, fault);
    QFETCH(QString, problem);
    QFETCH(QStringList, leftInTarget);
    QTemporaryDir base;
    QVERIFY(QDir(base.path()).mkdir(QStringLiteral("live")));
    QVERIFY(QDir(base.path()).mkdir(QStringLiteral("test")));
    // Several of the copy's chunks, so a cut shows.
    const QByteArray bytes = QByteArray::fromStdString(patterned(3 << 20));
    const std::string real = in(base, "live/real.db"), source = in(base, "live/castle.db");
    const std::string victim = in(base, "victim");
    QVERIFY(writeFile(real, bytes));
    QVERIFY(writeFile(victim, "not Paddock's"));
    if (fault == QStringLiteral("source link"))
        QVERIFY(::symlink(real.c_str(), source.c_str()) == 0);
    else
        QVERIFY(::link(real.c_str(), source.c_str()) == 0);
    if (fault == QStringLiteral("target link"))
        QVERIFY(::symlink(victim.c_str(), in(base, "test/castle.db").c_str()) == 0);
    if (fault == QStringLiteral("part link"))
        QVERIFY(::symlink(victim.c_str(), in(base, "test/castle.db.part").c_str()) == 0);

    std::optional<FileSizeLimit> full;
    if (fault == QStringLiteral("full"))
        full.emplace(1 << 20);
    DatabaseCopy copy(source, in(base, "test"), "castle.db");
    QSignalSpy finished(&copy, &DatabaseCopy::finished);
    if (fault == QStringLiteral("cancel"))
        copy.cancel();
    copy.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
    full.reset();
    const QString said = finished[0][0].toString();
    if (problem.isEmpty())
        QCOMPARE(said, QString());
    else
        QVERIFY2(said.contains(problem), qPrintable(said));
    QCOMPARE(finished[0][1].toBool(), fault == QStringLiteral("cancel"));
    QStringList left;
    for (const std::string &name : fileNamesIn(in(base, "test")))
        left << QString::fromStdString(name);
    QCOMPARE(left, leftInTarget);
    if (fault.isEmpty())
        QVERIFY(readFile(in(base, "test/castle.db")) == bytes);
    QCOMPARE(readFile(victim), QByteArray("not Paddock's"));
}

void tst_WorldList::duplicate_settingsAndNewestDatabase_data()
{
    QTest::addColumn<bool>("copyDatabase");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("added");
    QTest::newRow("with its newest database, into a folder made for it")
        << true << QStringLiteral("test") << true;
    QTest::newRow("settings only") << false << QStringLiteral("test") << true;
    QTest::newRow("into its own folder: refused, the dialog stays")
        << true << QStringLiteral("live") << false;
}

void tst_WorldList::duplicate_settingsAndNewestDatabase()
{
    QFETCH(bool, copyDatabase);
    QFETCH(QString, folder);
    QFETCH(bool, added);
    TwoWorlds two;
    WorldServers servers(two.worlds);
    const QString live = two.folder.filePath(QStringLiteral("live"));
    QVERIFY(QDir().mkpath(live));
    // Its last run wrote an output: the newest database, copied under the input's name.
    QVERIFY(writeFile(live + QStringLiteral("/castle.db"), "older"));
    QVERIFY(writeFile(live + QStringLiteral("/castle.db.new"), "newest"));
    controllerOf(servers, Second)
        .setDbPath(makeString(osPath(live + QStringLiteral("/castle.db"))));
    controllerOf(servers, Second).setNewDbPath(makeString("castle.db.new"));
    two.worlds.settings(Second)->setString(MOOOffsiteFolder, "/srv/offsite");

    QWidget window;
    WorldActions actions(
        two.worlds, servers, [] { return Second; }, &window);
    QSignalSpy worldAdded(&actions, &WorldActions::worldAdded);
    actions.duplicateWorld()->trigger();
    auto *dialog = window.findChild<DuplicateWorldDialog *>();
    QVERIFY(dialog);
    QVERIFY(dialog->copyDatabaseBox()->isChecked());
    dialog->copyDatabaseBox()->setChecked(copyDatabase);
    const QString target = two.folder.filePath(folder);
    dialog->folderField()->setText(target);
    dialog->accept();
    if (!added) {
        QVERIFY2(dialog->problem().contains(QStringLiteral("world's own")),
                 qPrintable(dialog->problem()));
        QVERIFY(dialog->isVisible());
        QCOMPARE(two.worlds.ids().size(), 2);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(worldAdded.count(), 1, 10000);
    const QString id = worldAdded[0][0].toString();
    const std::unique_ptr<UserDefaults> settings = two.worlds.settings(id);
    QCOMPARE(two.worlds.name(id), QStringLiteral("Test copy (test copy)"));
    QCOMPARE(settings->stringForKey(MOOExecutableURL), std::optional(standInServerPath()));
    // Its snapshots would thin the original's in the shared off-site folder.
    QCOMPARE(settings->stringForKey(MOOOffsiteFolder), std::optional(std::string()));
    if (copyDatabase) {
        const std::string copy = osPath(target + QStringLiteral("/castle.db"));
        QCOMPARE(readFile(copy), QByteArray("newest"));
        QCOMPARE(settings->stringForKey(MOOLastDBName), std::optional(copy));
    } else {
        QVERIFY(!QFileInfo::exists(target));
        QCOMPARE(settings->stringForKey(MOOLastDBName),
                 std::optional(std::string("castle.db.new")));
    }
}

void tst_WorldList::nameDialogs_stayOpenOnRefusedName_data()
{
    QTest::addColumn<bool>("rename");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem");
    QTest::newRow("new: taken") << false << QStringLiteral("test COPY")
                                << QStringLiteral("There is a world called “Test copy” already.");
    QTest::newRow("new: blank") << false << QStringLiteral("  ")
                                << QStringLiteral("A world needs a name.");
    QTest::newRow("new") << false << QStringLiteral("Third") << QString();
    QTest::newRow("rename: another's") << true << QStringLiteral("First World")
                                       << QStringLiteral("There is a world called “First world” "
                                                         "already.");
    QTest::newRow("rename: its own in other case")
        << true << QStringLiteral("TEST COPY") << QString();
}

void tst_WorldList::nameDialogs_stayOpenOnRefusedName()
{
    QFETCH(bool, rename);
    QFETCH(QString, name);
    QFETCH(QString, problem);
    TwoWorlds two;
    WorldServers servers(two.worlds);
    QWidget window;
    WorldActions actions(
        two.worlds, servers, [] { return Second; }, &window);
    QSignalSpy worldAdded(&actions, &WorldActions::worldAdded);
    (rename ? actions.renameWorld() : actions.newWorld())->trigger();
    auto *dialog = window.findChild<WorldNameDialog *>();
    QVERIFY(dialog);
    dialog->findChild<QLineEdit *>()->setText(name);
    dialog->accept();
    QCOMPARE(dialog->problem(), problem);
    QCOMPARE(dialog->isVisible(), !problem.isEmpty());
    if (!problem.isEmpty()) {
        QCOMPARE(two.worlds.ids().size(), 2);
        QCOMPARE(two.worlds.name(Second), QStringLiteral("Test copy"));
    } else if (rename) {
        QCOMPARE(two.worlds.name(Second), name);
    } else {
        QCOMPARE(worldAdded.count(), 1);
        QCOMPARE(two.worlds.name(worldAdded[0][0].toString()), name);
    }
}

void tst_WorldList::remove_refusedWhileRunningAndForTheFirstWorld_data()
{
    QTest::addColumn<bool>("running");
    QTest::newRow("running: refused") << true;
    QTest::newRow("stopped: removed, its files kept") << false;
}

void tst_WorldList::remove_refusedWhileRunningAndForTheFirstWorld()
{
    QFETCH(bool, running);
    TwoWorlds two;
    WorldServers servers(two.worlds);
    QString selected = Worlds::firstWorld();
    QWidget window;
    WorldActions actions(
        two.worlds, servers, [&selected] { return selected; }, &window);
    QVERIFY(!actions.removeWorld()->isEnabled());
    QVERIFY(actions.removeWorld()->toolTip().contains(QStringLiteral("first world")));
    selected = Second;
    actions.selectionChanged();
    QVERIFY(actions.removeWorld()->isEnabled());

    QVERIFY(start(servers, Second, two.folder.path(), "tick-ms 50\n"));
    if (!running) {
        servers.server(Second)->life().stop();
        QTRY_VERIFY_WITH_TIMEOUT(!servers.server(Second)->isRunning(), 10000);
    }
    bool asked = false, refused = false;
    answerNextQuestion(QStringLiteral("removeWorldQuestion"), QStringLiteral("Remove World"),
                       &asked);
    if (running)
        answerNextQuestion(QStringLiteral("removeWorldRefused"), QStringLiteral("OK"), &refused);
    actions.removeWorld()->trigger();
    QVERIFY(asked);
    QCOMPARE(refused, running);
    QCOMPARE(two.worlds.contains(Second), running);
    QVERIFY(QFileInfo::exists(two.folder.filePath(QStringLiteral("World2/castle.db"))));
}

PADDOCK_WIDGETS_TEST_MAIN(tst_WorldList)
#include "tst_worldlist.moc"

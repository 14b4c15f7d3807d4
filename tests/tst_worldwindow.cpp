// SPDX-License-Identifier: MIT
#include "DatabasesWindow.h"
#include "EmergencyConsole.h"
#include "Interface.h"
#include "LogView.h"
#include "LogWindow.h"
#include "MessageBar.h"
#include "PreferencesPanel.h"
#include "PulseWiring.h"
#include "Run.h"
#include "RunGraphs.h"
#include "ServerLife.h"
#include "ServerStatus.h"
#include "SettingsFile.h"
#include "SettingsKeys.h"
#include "UniqueFd.h"
#include "WidgetTestSupport.h"
#include "WorldDisplay.h"
#include "WorldList.h"
#include "WorldServer.h"
#include "WorldServers.h"
#include "Worlds.h"

#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStackedWidget>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

namespace {

const QString First = Worlds::firstWorld();

// One Paddock with the first world and, unless alone, "Test copy"; each runs the stand-in from a
// folder of its own. Every server is ended and the further world taken off the list at the end.
struct WorldWindow {
    explicit WorldWindow(bool alone = false)
    {
        UserDefaults::standardUserDefaults().setString(MOOExecutableURL, standInServerPath());
        if (!alone) {
            second = interface.worlds().add(QStringLiteral("Test copy")).value_or(QString());
            interface.worlds().settings(second)->setString(MOOExecutableURL, standInServerPath());
        }
    }
    ~WorldWindow()
    {
        QList<const MooController *> controllers;
        for (const QString &id : interface.worlds().ids())
            controllers.append(&controller(id));
        if (!endRuns(controllers))
            qWarning("A server's output was still open when the test ended");
        interface.worlds().remove(second);
    }
    MooController &controller(const QString &id) const
    {
        return interface.worldDisplay(id)->server().controller();
    }
    bool start(const QString &id, const std::string &script, StartMode mode = StartMode::Normal)
    {
        const QString world = folder.filePath(id.isEmpty() ? QStringLiteral("first") : id);
        QDir().mkpath(world);
        databases[id] = writeDatabase(world, "castle.db", script);
        return controller(id).startFromDatabase(databases[id], mode);
    }
    QString logShown() const { return interface.logWindow().logView()->toPlainText(); }

    QTemporaryDir folder;
    Interface interface;
    QString second;
    std::map<QString, std::string> databases;
};

} // namespace

class tst_WorldWindow final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void list_menuAndPreferencesFollowTheSelection_data();
    void list_menuAndPreferencesFollowTheSelection();
    void select_showsThatWorldAlone_andStopActsOnItAlone();
    void stop_anotherWorldSelectedDuringTheWait_controlsFollowTheSelection();
    void crash_notifiesNamingTheWorldOnceThereAreSeveral_data();
    void crash_notifiesNamingTheWorldOnceThereAreSeveral();
    void emergency_eachWorldKeepsItsConsoleAndQuitAsksAboutAll_data();
    void emergency_eachWorldKeepsItsConsoleAndQuitAsksAboutAll();
    void settingsSaveFailure_eachWorldsShownNamingFurtherOnes_data();
    void settingsSaveFailure_eachWorldsShownNamingFurtherOnes();
};

void tst_WorldWindow::list_menuAndPreferencesFollowTheSelection_data()
{
    QTest::addColumn<bool>("alone");
    QTest::newRow("one world: no list, preferences as ever") << true;
    QTest::newRow("two worlds: the list, each world's preferences") << false;
}

void tst_WorldWindow::list_menuAndPreferencesFollowTheSelection()
{
    QFETCH(bool, alone);
    WorldWindow worlds(alone);
    Interface &ui = worlds.interface;
    LogWindow &window = ui.logWindow();
    auto *panel = window.findChild<QDockWidget *>(QStringLiteral("worldListPanel"));
    auto *list = window.findChild<WorldList *>();
    auto *menu = window.findChild<QMenu *>(QStringLiteral("menuWorld"));
    QVERIFY(panel && list && menu);
    QCOMPARE(menu->actions().size(), 4); // New World, Duplicate, Rename, Remove: always offered
    QCOMPARE(panel->isHidden(), alone);
    const PreferencesPanel &preferences = ui.preferencesPanel();
    const QString usualTitle = preferences.windowTitle();
    if (alone) {
        QVERIFY(!usualTitle.contains(QStringLiteral("First world")));
        return;
    }
    // Picked in the list, the world is the window's; its preferences are its own.
    list->setCurrentWorld(worlds.second);
    QCOMPARE(ui.selectedWorld(), worlds.second);
    QCOMPARE(&preferences.settings(), &worlds.controller(worlds.second).prefsController()->defaults());
    QVERIFY2(preferences.windowTitle().contains(QStringLiteral("Test copy")),
             qPrintable(preferences.windowTitle()));
    // Selected elsewhere (a world added, say), the list follows.
    QVERIFY(ui.selectWorld(First));
    QCOMPARE(list->currentWorld(), First);
    QCOMPARE(&preferences.settings(), &worlds.controller(First).prefsController()->defaults());
    // Back to one world: the list goes, the preferences are titled as ever.
    QVERIFY(ui.worlds().remove(worlds.second));
    QVERIFY(panel->isHidden());
    QVERIFY(!preferences.windowTitle().contains(QStringLiteral("First world")));
}

void tst_WorldWindow::select_showsThatWorldAlone_andStopActsOnItAlone()
{
    WorldWindow two;
    Interface &ui = two.interface;
    LogWindow &window = ui.logWindow();
    QVERIFY(two.start(First, "stdout first world\ntick-ms 20\n"));
    QVERIFY(two.start(two.second, "stdout second world\ntick-ms 20\n"));
    QTRY_VERIFY_WITH_TIMEOUT(contains(logOf(two.controller(two.second)), "second world"), 10000);
    QVERIFY(!ui.selectWorld(QStringLiteral("World99")));
    window.databasesAction()->trigger();

    const auto graphsShown = [&ui] {
        const auto *pages = qobject_cast<QStackedWidget *>(ui.pulse().graphsPanel().widget());
        return pages->currentWidget();
    };
    const QList<std::pair<QString, QString>> worlds = {{two.second, QStringLiteral("Test copy")},
                                                       {First, QStringLiteral("First world")}};
    for (const auto &[id, name] : worlds) {
        QVERIFY(ui.selectWorld(id));
        QCOMPARE(ui.selectedWorld(), id);
        WorldDisplay &display = *ui.worldDisplay(id);
        const bool isFirst = id == First;
        QTRY_VERIFY_WITH_TIMEOUT(
            two.logShown().contains(isFirst ? u"first world" : u"second world"), 10000);
        QVERIFY(!two.logShown().contains(isFirst ? u"second world" : u"first world"));
        QCOMPARE(window.logView()->runStarts().size(), std::size_t(1));
        QCOMPARE(window.statusText(), display.status().text());
        const QString pid = QString::number(two.controller(id).task()->processIdentifier());
        QVERIFY2(window.statusText().startsWith(QStringLiteral("Running, PID ") + pid),
                 qPrintable(window.statusText()));
        QCOMPARE(window.windowTitle(), name + QStringLiteral(": castle.db — Running — Paddock"));
        QCOMPARE(graphsShown(), &display.pulse().graphs());
        // The Databases window open follows the selection.
        const QList<DatabasesWindow *> shown = window.findChildren<DatabasesWindow *>();
        const auto visible = std::find_if(shown.begin(), shown.end(),
                                          [](DatabasesWindow *each) { return each->isVisible(); });
        QVERIFY(visible != shown.end());
        QCOMPARE((*visible)->worldDatabase(), two.databases[id]);
    }

    // Stop with the second world selected stops the second alone; the first runs and logs on.
    QVERIFY(ui.selectWorld(two.second));
    ui.send(ControllerAction::stopMoo, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!two.controller(two.second).isMooRunning(), 10000);
    QVERIFY(two.controller(First).isMooRunning());
    QTRY_COMPARE_WITH_TIMEOUT(window.statusText(), QStringLiteral("Stopped"), 10000);
    QVERIFY(window.startAction()->isEnabled() && !window.stopAction()->isEnabled());
    const std::size_t logged = logOf(two.controller(First)).size();
    QTRY_VERIFY_WITH_TIMEOUT(logOf(two.controller(First)).size() > logged + 100, 10000);
    // Closing asks first while a world's server runs, shown or not.
    bool asked = false;
    answerNextQuestion(QStringLiteral("quitQuestion"), QStringLiteral("Cancel"), &asked);
    QVERIFY(!window.close());
    QVERIFY(asked);
    QVERIFY(ui.selectWorld(First));
    QVERIFY(!window.startAction()->isEnabled() && window.stopAction()->isEnabled());
    QVERIFY(window.statusText().startsWith(QStringLiteral("Running, PID")));
    // The selected world removed, the first is shown.
    QVERIFY(ui.selectWorld(two.second));
    QVERIFY(ui.worldServers().remove(two.second).isEmpty());
    QCOMPARE(ui.selectedWorld(), First);
    QVERIFY(two.logShown().contains(u"first world"));
}

void tst_WorldWindow::stop_anotherWorldSelectedDuringTheWait_controlsFollowTheSelection()
{
    WorldWindow two;
    Interface &ui = two.interface;
    LogWindow &window = ui.logWindow();
    ui.setStopGracePeriod(std::chrono::milliseconds(50));
    QVERIFY(two.start(First, "ignore-term\ntick-ms 20\n"));
    QVERIFY(two.start(two.second, "ignore-term\ntick-ms 20\n"));
    // A stand-in ignores SIGTERM only once it has read its script, which it then says.
    for (const QString &id : {First, two.second})
        QTRY_VERIFY_WITH_TIMEOUT(contains(logOf(two.controller(id)), "stand-in-server: running"),
                                 10000);
    ServerLife &firstLife = ui.worldDisplay(First)->server().life();
    ServerLife &secondLife = ui.worldDisplay(two.second)->server().life();

    // What the controls say: Stop, Force Stop, the status's first words.
    struct Controls {
        bool stop, forceStop;
        QString status;
        bool operator==(const Controls &) const = default;
    };
    const auto controls = [&window] {
        return Controls{window.stopAction()->isEnabled(), window.forceStopAction()->isVisible(),
                        window.statusText().section(u',', 0, 0)};
    };
    const auto takingLong = [](const ServerLife &life) {
        return life.state() == ServerLife::State::StopTakingLong;
    };
    // While the first world's stop waits, the second is selected and stopped too; its wait,
    // inside the first's, ends with the first selected again.
    QList<Controls> seen;
    QTimer during;
    during.setInterval(10);
    connect(&during, &QTimer::timeout, this, [&] {
        if (seen.isEmpty() && takingLong(firstLife)) {
            ui.selectWorld(two.second);
            seen.append(controls());
            QTimer::singleShot(0, this, [&] {
                ui.send(ControllerAction::stopMoo, nullptr);
                seen.append(controls());
                firstLife.forceStop();
            });
        } else if (seen.size() == 1 && takingLong(secondLife)) {
            seen.append(controls());
            ui.selectWorld(First);
            seen.append(controls());
            secondLife.forceStop();
        }
    });
    during.start();
    ui.send(ControllerAction::stopMoo, nullptr);
    during.stop();
    QCOMPARE(seen.size(), 4);
    QCOMPARE(seen[0], (Controls{true, false, QStringLiteral("Running")}));
    QCOMPARE(seen[1].forceStop, true);
    QCOMPARE(seen[1].stop, false);
    QCOMPARE(seen[2], seen[1]);
    QCOMPARE(seen[3], seen[2]); // the second's wait ended: the first still stops
    QTRY_VERIFY_WITH_TIMEOUT(!two.controller(First).isMooRunning(), 10000);
    QVERIFY(!two.controller(two.second).isMooRunning());
    QCOMPARE(ui.selectedWorld(), First);
    QCOMPARE(controls().forceStop, false);
    QVERIFY(window.startAction()->isEnabled());
}

void tst_WorldWindow::crash_notifiesNamingTheWorldOnceThereAreSeveral_data()
{
    QTest::addColumn<bool>("alone");
    QTest::addColumn<bool>("secondCrashes"); // else the first, with the second selected
    QTest::addColumn<QString>("summary");
    QTest::newRow("one world") << true << false << QStringLiteral("The MOO server crashed");
    QTest::newRow("the second, unselected")
        << false << true << QStringLiteral("Test copy: The MOO server crashed");
    QTest::newRow("the first, unselected")
        << false << false << QStringLiteral("First world: The MOO server crashed");
}

void tst_WorldWindow::crash_notifiesNamingTheWorldOnceThereAreSeveral()
{
    QFETCH(bool, alone);
    QFETCH(bool, secondCrashes);
    QFETCH(QString, summary);
    WorldWindow worlds(alone);
    Interface &ui = worlds.interface;
    const QString crashing = secondCrashes ? worlds.second : First;
    if (!alone) {
        const QString other = secondCrashes ? First : worlds.second;
        QVERIFY(worlds.start(other, "tick-ms 20\n"));
        QVERIFY(ui.selectWorld(other));
    }
    WorldDisplay &display = *ui.worldDisplay(crashing);
    QSignalSpy notices(&display, &WorldDisplay::noticeSent);
    const QString shownBefore = ui.logWindow().statusText();
    QVERIFY(worlds.start(crashing, "stdout up\ncrash SEGV\n"));
    QVERIFY(notices.wait(10000));
    QCOMPARE(notices.size(), 1);
    QCOMPARE(notices.at(0).at(0).toString(), summary);
    QVERIFY(display.status().endCallsForAttention());
    // Shown, its end stands in the bar above the log; unselected, the window is left alone.
    MessageBar &bar = *ui.logWindow().messageBar();
    if (!alone) {
        QCOMPARE(ui.logWindow().statusText(), shownBefore);
        QVERIFY(bar.isHidden());
        QVERIFY(ui.selectWorld(crashing));
    }
    QVERIFY(!bar.isHidden());
    QCOMPARE(ui.logWindow().statusText(), display.status().text());
    QCOMPARE(bar.text(), display.status().text());
}

void tst_WorldWindow::emergency_eachWorldKeepsItsConsoleAndQuitAsksAboutAll_data()
{
    QTest::addColumn<QString>("answer"); // to the question before quitting
    QTest::newRow("cancelled: both stay in the mode") << QStringLiteral("Cancel");
    QTest::newRow("both quit, saving") << QStringLiteral("Quit Servers and Save");
    QTest::newRow("both start their worlds") << QStringLiteral("Continue Start-up");
}

void tst_WorldWindow::emergency_eachWorldKeepsItsConsoleAndQuitAsksAboutAll()
{
    QFETCH(QString, answer);
    WorldWindow two;
    Interface &ui = two.interface;
    EmergencyConsole &console = ui.emergencyConsole();
    QLineEdit &input = *console.input();
    QList<Run *> runs;
    for (const QString &id : {First, two.second}) {
        QVERIFY(two.start(id, "listen 0\n", StartMode::Emergency));
        runs.append(two.controller(id).run());
        QTRY_VERIFY_WITH_TIMEOUT(contains(logOf(two.controller(id)), "MOO (#2): "), 10000);
    }
    const auto type = [&input](const QString &line, bool send) {
        input.insert(line);
        if (send)
            QTest::keyClick(&input, Qt::Key_Return);
    };
    // What was sent and what is being typed in one world's console come back with that world.
    type(QStringLiteral(";1"), true);
    type(QStringLiteral(";half"), false);
    QVERIFY(ui.selectWorld(two.second));
    QCOMPARE(console.run(), runs[1]);
    QCOMPARE(input.text(), QString());
    QTest::keyClick(&input, Qt::Key_Up);
    QCOMPARE(input.text(), QString());
    type(QStringLiteral(";2"), true);
    QVERIFY(ui.selectWorld(First));
    QCOMPARE(console.run(), runs[0]);
    QCOMPARE(input.text(), QStringLiteral(";half"));
    QTest::keyClick(&input, Qt::Key_Up);
    QCOMPARE(input.text(), QStringLiteral(";1"));

    // Quitting asks about both servers in the mode, the unselected one too, naming them.
    bool asked = false;
    QString question;
    answerNextQuestion(QStringLiteral("emergencyQuitQuestion"), answer, &asked, &question);
    QCOMPARE(ui.logWindow().close(), answer != QStringLiteral("Cancel"));
    QVERIFY(asked);
    QVERIFY2(question.contains(u"“First world”") && question.contains(u"“Test copy”"),
             qPrintable(question));
    for (Run *run : runs) {
        if (answer == QStringLiteral("Cancel"))
            QVERIFY(run->inEmergencyMode());
        else if (answer == QStringLiteral("Continue Start-up"))
            QTRY_VERIFY_WITH_TIMEOUT(!run->inEmergencyMode() && run->isRunning(), 10000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(run->hasEnded() && QFile::exists(qtPath(run->outputPath())),
                                     10000);
    }
}

void tst_WorldWindow::settingsSaveFailure_eachWorldsShownNamingFurtherOnes_data()
{
    QTest::addColumn<bool>("further"); // the further world's settings, else the first's
    QTest::addColumn<QString>("shown");
    QTest::newRow("the first world's, as ever")
        << false << QStringLiteral("Settings cannot be saved");
    QTest::newRow("a further world's, named")
        << true << QStringLiteral("The settings of “Test copy” cannot be saved");
}

void tst_WorldWindow::settingsSaveFailure_eachWorldsShownNamingFurtherOnes()
{
    QFETCH(bool, further);
    QFETCH(QString, shown);
    WorldWindow two;
    auto *warning =
        two.interface.logWindow().findChild<QLabel *>(QStringLiteral("settingsWarning"));
    QVERIFY(warning && warning->isHidden());
    UserDefaults &store =
        two.controller(further ? two.second : First).prefsController()->defaults();
    {
        // Another process holds the settings folder's lock: no save can go on meanwhile.
        const std::string folder = settingsFolderPath();
        const UniqueFd held(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        QCOMPARE(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
        store.setString(MOODateFormat, DefaultDateFormat);
        QVERIFY(!warning->isHidden());
        QCOMPARE(warning->text(), shown);
    }
    store.setString(MOODateFormat, DefaultDateFormat);
    QVERIFY(warning->isHidden());
}

PADDOCK_WIDGETS_TEST_MAIN(tst_WorldWindow)
#include "tst_worldwindow.moc"

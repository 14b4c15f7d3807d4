// SPDX-License-Identifier: MIT
#include "WidgetTestSupport.h"

#include "ChooserMemory.h"
#include "OpenPanel.h"
#include "SettingsKeys.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QWidget>

#include <cerrno>
#include <cstring>

using namespace paddock;
using namespace paddock::test;

namespace {

// A chooser whose answer the test gives. It records where it was opened and what it
// suggested.
class ScriptedPanel final : public OpenPanel {
public:
    std::optional<std::string> directory;
    std::optional<std::string> file;
    int raised = 0;

    void answer(int returnCode, std::vector<std::string> files = {})
    {
        finish(returnCode, std::move(files));
    }

protected:
    void present(const std::optional<std::string> &startDirectory,
                 const std::optional<std::string> &suggestedFile) override
    {
        directory = startDirectory;
        file = suggestedFile;
    }
    void raisePanel() override { ++raised; }
};

// A controller with its own store, the two windows (hidden) and scripted choosers.
class Launcher final {
public:
    // executable: absent when none.
    explicit Launcher(const std::optional<std::string> &executable)
        : store(osPath(folder.filePath(QStringLiteral("settings/paddock.conf"))))
        , prefs(store)
    {
        MooController::writeFormatDefaults(store);
        if (executable)
            store.setString(MOOExecutableURL, *executable);
        controller->connectOutlets(&prefs, WidgetWindow::of(&prefsWindow),
                                   WidgetWindow::of(&logWindow));
        controller->awakeFromNib();
        QObject::connect(controller.get(), &MooController::taskChanged, controller.get(), [this] {
            if (const auto task = controller->task())
                launched.append(task);
        });
        OpenPanel::setFactory([this] {
            auto *panel = new ScriptedPanel;
            panels.append(panel);
            return panel;
        });
        database = writeDatabase(folder.path(), "in.db", "stdout hello\n");
    }

    ~Launcher()
    {
        for (const auto &panel : std::as_const(panels)) {
            if (panel && panel->isOpen())
                panel->answer(OpenPanel::CancelButton);
        }
        OpenPanel::setFactory({});
        controller.reset();
        reapTasks(launched);
    }

    ScriptedPanel *sheetOn(QWidget &window) const
    {
        return static_cast<ScriptedPanel *>(OpenPanel::attachedSheet(WidgetWindow::of(&window)));
    }
    int openCount() const
    {
        return int(std::count_if(panels.begin(), panels.end(),
                                 [](const auto &panel) { return panel && panel->isOpen(); }));
    }
    std::string folderBytes() const { return QFile::encodeName(folder.path()).toStdString(); }

    QTemporaryDir folder;
    UserDefaults store;
    UserDefaultsController prefs;
    QWidget logWindow;
    QWidget prefsWindow;
    std::unique_ptr<MooController> controller = std::make_unique<MooController>();
    QList<QPointer<ScriptedPanel>> panels;
    QList<std::shared_ptr<Task>> launched;
    std::string database;
};

std::optional<std::string> executableFrom(const QString &setting)
{
    if (setting == u"<absent>")
        return std::nullopt;
    if (setting == u"<stand-in>")
        return standInServerPath();
    return setting.toStdString();
}

} // namespace

class tst_StartSequence : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void chooserStates_data();
    void chooserStates();
    void databaseChoice_recordsNameSuggestedNextTime_data();
    void databaseChoice_recordsNameSuggestedNextTime();
    void answerAfterControllerGone_goesNowhere();
    void databaseChoice_refusesNamesThatCannotWork_asksAboutTheInput_data();
    void databaseChoice_refusesNamesThatCannotWork_asksAboutTheInput();
    void unknownContext_changesNothing();
};

void tst_StartSequence::init()
{
    // Every test starts as on a first run: no chooser remembers a folder.
    QFile::remove(qtPath(chooserMemoryFilePath()));
}

void tst_StartSequence::chooserStates_data()
{
    // Steps: start, choose (chooseURL), ok (the open chooser answers: the stand-in for the
    // executable chooser, the database for the database chooser), cancel.
    QTest::addColumn<QString>("executable"); // before; <absent> or <stand-in> or a path
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("open"); // the choosers open at the end
    QTest::addColumn<bool>("flag");
    QTest::addColumn<QString>("executableAfter");
    QTest::addColumn<int>("launches");
    QTest::addColumn<int>("choosersMade");

    const QString absent = QStringLiteral("<absent>");
    const QString standIn = QStringLiteral("<stand-in>");
    const QString old = QStringLiteral("/old/moo");
    const QString none;
    const QString executable = QStringLiteral("executable");
    const QString database = QStringLiteral("database");

    QTest::newRow("start, executable set")
        << standIn << "start" << database << false << standIn << 0 << 1;
    QTest::newRow("start, executable absent")
        << absent << "start" << executable << true << absent << 0 << 1;
    QTest::newRow("start, executable empty is missing")
        << QString() << "start" << executable << true << QString() << 0 << 1;
    QTest::newRow("executable OK goes on to the database")
        << absent << "start ok" << database << false << standIn << 0 << 2;
    QTest::newRow("executable cancel keeps the flag")
        << absent << "start cancel" << none << true << absent << 0 << 1;
    QTest::newRow("flag kept, chooseURL OK goes on")
        << absent << "start cancel choose ok" << database << false << standIn << 0 << 3;
    QTest::newRow("flag clear, chooseURL OK only stores")
        << old << "choose ok" << none << false << standIn << 0 << 1;
    QTest::newRow("flag clear, chooseURL cancel keeps old")
        << old << "choose cancel" << none << false << old << 0 << 1;
    QTest::newRow("database OK launches")
        << standIn << "start ok" << none << false << standIn << 1 << 1;
    QTest::newRow("database cancel changes nothing")
        << standIn << "start cancel" << none << false << standIn << 0 << 1;
    QTest::newRow("first run end to end")
        << absent << "start ok ok" << none << false << standIn << 1 << 2;
    QTest::newRow("database OK while a server runs launches again")
        << standIn << "start ok start ok" << none << false << standIn << 2 << 2;
    QTest::newRow("start twice, one database chooser")
        << standIn << "start start" << database << false << standIn << 0 << 1;
    QTest::newRow("start twice, one executable chooser")
        << absent << "start start" << executable << true << absent << 0 << 1;
    QTest::newRow("chooseURL while its chooser is open")
        << absent << "start choose" << executable << true << absent << 0 << 1;
    QTest::newRow("executable chooser beside a database chooser")
        << standIn << "start choose"
        << "database executable" << false << standIn << 0 << 2;
    QTest::newRow("start again after cancel")
        << standIn << "start cancel start" << database << false << standIn << 0 << 2;
}

void tst_StartSequence::chooserStates()
{
    QFETCH(QString, executable);
    QFETCH(QString, steps);
    QFETCH(QString, open);
    QFETCH(bool, flag);
    QFETCH(QString, executableAfter);
    QFETCH(int, launches);
    QFETCH(int, choosersMade);

    Launcher launcher(executableFrom(executable));
    MooController &controller = *launcher.controller;
    QSignalSpy failures(&controller, &MooController::launchFailed);

    const QStringList stepList = steps.split(u' ');
    for (const QString &step : stepList) {
        if (step == u"start") {
            controller.startMoo();
        } else if (step == u"choose") {
            controller.chooseURL();
        } else {
            // The last chooser made that is still open answers.
            ScriptedPanel *panel = nullptr;
            for (const auto &made : std::as_const(launcher.panels))
                if (made && made->isOpen())
                    panel = made;
            QVERIFY2(panel, qPrintable(QStringLiteral("no chooser open to answer ") + step));
            const bool isExecutable = panel->window() == WidgetWindow::of(&launcher.prefsWindow);
            if (step == u"cancel")
                panel->answer(OpenPanel::CancelButton);
            else
                panel->answer(OpenPanel::OKButton,
                              {isExecutable ? standInServerPath() : launcher.database});
        }
    }

    ScriptedPanel *executableSheet = launcher.sheetOn(launcher.prefsWindow);
    ScriptedPanel *databaseSheet = launcher.sheetOn(launcher.logWindow);
    QCOMPARE(executableSheet != nullptr, open.contains(u"executable"));
    QCOMPARE(databaseSheet != nullptr, open.contains(u"database"));
    QCOMPARE(launcher.openCount(), int(open.split(u' ', Qt::SkipEmptyParts).size()));
    if (executableSheet) {
        QCOMPARE(executableSheet->message(),
                 QStringLiteral("Please find the exectuble for the MOO:"));
        QVERIFY(!executableSheet->file);
        // Attached to the preferences panel, which was brought on screen for it.
        QVERIFY(launcher.prefsWindow.isVisible());
    }
    if (databaseSheet) {
        QCOMPARE(databaseSheet->message(), QStringLiteral("Please choose a MOO database to use:"));
        QVERIFY(launcher.logWindow.isVisible());
    }
    QCOMPARE(launcher.panels.size(), choosersMade);
    const int requests =
        int(stepList.count(QStringLiteral("start")) + stepList.count(QStringLiteral("choose")));
    if (choosersMade < requests) {
        // The repeated request brought the open chooser forward instead of a second one.
        ScriptedPanel *sheet = executableSheet ? executableSheet : databaseSheet;
        QVERIFY(sheet);
        QCOMPARE(sheet->raised, 1);
    }

    QCOMPARE(controller.shouldPromptForDb(), flag);
    QCOMPARE(launcher.store.stringForKey(MOOExecutableURL), executableFrom(executableAfter));

    QCOMPARE(launcher.launched.size(), launches);
    QCOMPARE(controller.isMooRunning(), launches > 0);
    QCOMPARE(failures.count(), 0);
    if (launches > 0) {
        QCOMPARE(*controller.dbPath(), launcher.database);
        QVERIFY(controller.task()->isRunning());
    } else {
        QVERIFY(!controller.dbPath());
        QVERIFY(!controller.newDbPath());
    }
}

void tst_StartSequence::databaseChoice_recordsNameSuggestedNextTime_data()
{
    QTest::addColumn<bool>("launchFails");
    QTest::newRow("launch succeeds") << false;
    QTest::newRow("launch fails") << true;
}

void tst_StartSequence::databaseChoice_recordsNameSuggestedNextTime()
{
    QFETCH(bool, launchFails);
    Launcher launcher(launchFails ? std::string("/nonexistent/moo") : standInServerPath());
    MooController &controller = *launcher.controller;
    QSignalSpy failures(&controller, &MooController::launchFailed);

    // First run: nothing to suggest, no folder remembered.
    controller.startMoo();
    ScriptedPanel *first = launcher.sheetOn(launcher.logWindow);
    QVERIFY(first);
    QVERIFY(!first->file);
    QVERIFY(!first->directory);
    first->answer(OpenPanel::OKButton, {launcher.database});

    QCOMPARE(launcher.store.stringForKey(MOOLastDBName), std::optional(*controller.newDbPath()));
    QCOMPARE(failures.count(), launchFails ? 1 : 0);
    QCOMPARE(controller.isMooRunning(), !launchFails);
    if (launchFails) {
        QVERIFY2(failures.at(0).at(0).toString().contains(QStringLiteral("/nonexistent/moo")),
                 qPrintable(failures.at(0).at(0).toString()));
        QCOMPARE(failures.at(0).at(1).toString(), QString::fromLocal8Bit(std::strerror(ENOENT)));
        QVERIFY(!controller.task()->isLaunched());
    }

    // Start works again, suggesting the recorded name in the folder of that database.
    controller.startMoo();
    ScriptedPanel *next = launcher.sheetOn(launcher.logWindow);
    QVERIFY(next && next != first);
    QCOMPARE(next->file, std::optional(*controller.newDbPath()));
    QCOMPARE(next->directory, std::optional(launcher.folderBytes()));
    // Only the database chooser remembers that folder.
    QVERIFY(!chooserMemory().stringForKey(QStringLiteral("executableChooser")));
}

void tst_StartSequence::answerAfterControllerGone_goesNowhere()
{
    Launcher launcher(standInServerPath());
    launcher.controller->startMoo();
    QPointer<ScriptedPanel> panel = launcher.sheetOn(launcher.logWindow);
    QVERIFY(panel);
    launcher.controller.reset();
    panel->answer(OpenPanel::OKButton, {launcher.database});
    QVERIFY(launcher.launched.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!panel, 5000); // a panel deletes itself once answered
}

void tst_StartSequence::databaseChoice_refusesNamesThatCannotWork_asksAboutTheInput_data()
{
    QTest::addColumn<QString>("nameTemplate"); // <folder> stands for the database's folder name
    QTest::addColumn<int>("answer");           // -1: nobody to ask; 0: Cancel; 1: go ahead
    QTest::addColumn<QString>("problem");      // a word the refusal must hold; empty: none
    QTest::addColumn<bool>("started");
    const QString notExist = QStringLiteral("not exist"), none;
    QTest::newRow("empty") << QString() << 1 << QStringLiteral("empty") << false;
    QTest::newRow("folder missing") << QStringLiteral("backups/%@") << 1 << notExist << false;
    QTest::newRow("a file as the folder") << QStringLiteral("in.db/%@") << 1 << notExist << false;
    QTest::newRow("the input, nobody to ask")
        << QStringLiteral("%@") << -1 << QStringLiteral("overwrite") << false;
    QTest::newRow("the input, absolute, nobody to ask")
        << QStringLiteral("/<path>") << -1 << QStringLiteral("overwrite") << false;
    QTest::newRow("the input, cancelled") << QStringLiteral("%@") << 0 << none << false;
    QTest::newRow("the input, accepted") << QStringLiteral("%@") << 1 << none << true;
    QTest::newRow("the input from here, accepted") << QStringLiteral("./%@") << 1 << none << true;
    QTest::newRow("the input round about, accepted")
        << QStringLiteral("../<folder>/%@") << 1 << none << true;
    QTest::newRow("a link to the input, cancelled")
        << QStringLiteral("link.db") << 0 << none << false;
}

void tst_StartSequence::databaseChoice_refusesNamesThatCannotWork_asksAboutTheInput()
{
    QFETCH(QString, nameTemplate);
    QFETCH(int, answer);
    QFETCH(QString, problem);
    QFETCH(bool, started);
    Launcher launcher(standInServerPath());
    MooController &controller = *launcher.controller;
    QVERIFY(QFile::link(QFile::decodeName(launcher.database.c_str()),
                        launcher.folder.filePath(QStringLiteral("link.db"))));
    nameTemplate.replace(QStringLiteral("<folder>"), QFileInfo(launcher.folder.path()).fileName());
    nameTemplate.replace(QStringLiteral("/<path>"), QFile::decodeName(launcher.database.c_str()));
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    const std::optional<std::string> previous = standard.stringForKey(MOONewDBNameFormat);
    standard.setString(MOONewDBNameFormat, nameTemplate.toStdString());
    const auto restore = qScopeGuard(
        [&] { standard.setString(MOONewDBNameFormat, previous.value_or(DefaultNewDBNameFormat)); });
    QStringList asked;
    if (answer >= 0)
        controller.setConfirmRisk([&](const QString &question, const QString &detail) {
            asked << question + u' ' + detail;
            return answer == 1;
        });
    QSignalSpy failures(&controller, &MooController::launchFailed);

    controller.startMoo();
    ScriptedPanel *chooser = launcher.sheetOn(launcher.logWindow);
    QVERIFY(chooser);
    chooser->answer(OpenPanel::OKButton, {launcher.database});

    // Asked only about writing over the input, naming the risk.
    QCOMPARE(asked.size(), int(problem.isEmpty()));
    if (!asked.isEmpty())
        QVERIFY2(asked.first().contains(u"crash"), qPrintable(asked.first()));
    QCOMPARE(failures.count(), int(!problem.isEmpty()));
    if (!problem.isEmpty()) {
        const QString reason = failures.at(0).at(1).toString();
        QVERIFY2(reason.contains(problem), qPrintable(reason));
    }
    // Refused or cancelled before anything happened: no server, no name recorded.
    QCOMPARE(launcher.launched.size(), int(started));
    QCOMPARE(controller.isMooRunning(), started);
    QCOMPARE(bool(controller.newDbPath()), started);
    QCOMPARE(bool(launcher.store.stringForKey(MOOLastDBName)), started);
}

void tst_StartSequence::unknownContext_changesNothing()
{
    Launcher launcher(standInServerPath());
    MooController &controller = *launcher.controller;
    QSignalSpy failures(&controller, &MooController::launchFailed);
    auto *panel = new ScriptedPanel;
    panel->beginSheetForDirectory(
        std::nullopt, std::nullopt, nullptr,
        [&controller](OpenPanel *answered, int code, int context) {
            controller.openPanelDidEnd(answered, code, context);
        },
        7);
    panel->answer(OpenPanel::OKButton, {launcher.database});
    QVERIFY(launcher.launched.isEmpty());
    QVERIFY(!controller.dbPath());
    QCOMPARE(launcher.store.stringForKey(MOOExecutableURL), std::optional(standInServerPath()));
    QCOMPARE(failures.count(), 0);
    QCOMPARE(launcher.openCount(), 0);
}

PADDOCK_WIDGETS_TEST_MAIN(tst_StartSequence)
#include "tst_startsequence.moc"

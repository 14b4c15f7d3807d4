// SPDX-License-Identifier: MIT
#include "WidgetTestSupport.h"

#include "ChooserMemory.h"
#include "DatabasesWindow.h"
#include "DesktopNotifier.h"
#include "FileHandle.h"
#include "Interface.h"
#include "LogView.h"
#include "LogWindow.h"
#include "MessageBar.h"
#include "PlayersPanel.h"
#include "PreferencesPanel.h"
#include "ProcessInfo.h"
#include "PulseWiring.h"
#include "ResponsivenessWatch.h"
#include "RunGraphs.h"
#include "ServerLife.h"
#include "ServerStatus.h"
#include "SettingsKeys.h"
#include "UniqueFd.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QToolButton>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

namespace {

UserDefaults &standardStore()
{
    return UserDefaults::standardUserDefaults();
}

// Answers the modal question called name each time it comes up: choose picks the button.
// Polls the modal stack from a timer, since the question runs its own event loop.
class QuestionAnswerer final {
public:
    QuestionAnswerer(const QString &name,
                     std::function<QAbstractButton *(QMessageBox *, int seen)> choose)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this, name, choose] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || box->objectName() != name || box == m_answered)
                return;
            m_answered = box;
            m_texts.append(box->text() + u' ' + box->informativeText());
            if (QAbstractButton *button = choose(box, int(m_texts.size())))
                button->click();
        });
        m_timer.start();
    }
    int seen() const { return int(m_texts.size()); }
    QString lastText() const { return m_texts.isEmpty() ? QString() : m_texts.last(); }

private:
    QTimer m_timer;
    QPointer<QMessageBox> m_answered;
    QStringList m_texts;
};

// The button whose text, without its mnemonic's "&", is text.
QAbstractButton *buttonNamed(QMessageBox *box, const QString &text)
{
    for (QAbstractButton *button : box->buttons())
        if (QString(button->text()).remove(u'&') == text)
            return button;
    return nullptr;
}

// Launches the stand-in through the interface's boundary, as the database chooser would.
// Returns the task (null when the launch failed); the caller's guard reaps it.
std::shared_ptr<Task> launch(Interface &interface, const QString &folder, const std::string &script,
                             const std::string &outputName = "out.db")
{
    MooController &controller = interface.controller();
    controller.setDbPath(makeString(writeDatabase(folder, "in.db", script)));
    controller.setNewDbPath(makeString(outputName));
    interface.perform([&controller] { controller.runMoo(); });
    return controller.task();
}

void reap(const std::shared_ptr<Task> &task)
{
    reapTasks({task});
}

// What is wrong with the controls of window a user acts on, as the accessibility tree shows
// them: a control without a name, or one Tab never reaches (toolbar buttons and a panel's
// close button excepted: their actions are in the menus).
QStringList unnamedOrUnreachable(QWidget *window)
{
    static const QList<QAccessible::Role> controls = {
        QAccessible::PushButton, QAccessible::CheckBox,     QAccessible::RadioButton,
        QAccessible::SpinBox,    QAccessible::EditableText, QAccessible::ComboBox,
        QAccessible::Table,      QAccessible::Tree,         QAccessible::List};
    QStringList faults;
    const std::function<void(QAccessibleInterface *, bool)> visit = [&](QAccessibleInterface *node,
                                                                        bool inToolBar) {
        auto *widget = qobject_cast<QWidget *>(node->object());
        if (widget && !widget->isVisibleTo(window))
            return;
        inToolBar = inToolBar || node->role() == QAccessible::ToolBar ||
                    (widget && widget->objectName() == u"qt_dockwidget_closebutton");
        if (controls.contains(node->role())) {
            const QString what = widget ? widget->objectName() + u' ' +
                                              QLatin1String(widget->metaObject()->className())
                                        : node->text(QAccessible::Name);
            if (node->text(QAccessible::Name).trimmed().isEmpty())
                faults.append(what + QStringLiteral(": no name"));
            if (widget && !inToolBar && !(widget->focusPolicy() & Qt::TabFocus))
                faults.append(what + QStringLiteral(": not reached by Tab"));
            return; // its parts (cells, a spin box's field) belong to it
        }
        for (int i = 0; i < node->childCount(); ++i)
            if (QAccessibleInterface *child = node->child(i))
                visit(child, inToolBar);
    };
    visit(QAccessible::queryAccessibleInterface(window), false);
    return faults;
}

// The window of Interface that row names, shown.
QWidget *shownWindow(Interface &interface, const QString &name)
{
    QWidget *window = &interface.logWindow();
    if (name == u"preferences") {
        window = &interface.preferencesPanel();
    } else if (name == u"databases") {
        interface.logWindow().databasesAction()->trigger();
        window = interface.logWindow().findChild<DatabasesWindow *>();
    } else if (name == u"players") {
        interface.playersPanel().toggleViewAction()->trigger();
    }
    window->show();
    return window;
}

} // namespace

class tst_App : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    // First: class initialisation can be seen only before any controller exists.
    void startup_runsInOrder_andWiresReaderAndKeys();
    void controls_sendTheirActions_data();
    void controls_sendTheirActions();
    void start_throughTheDatabaseChooser_launches_data();
    void start_throughTheDatabaseChooser_launches();
    void startStop_enablementFollowsIsMooRunning();
    void status_tellsHowTheServerIs_data();
    void status_tellsHowTheServerIs();
    void status_serverReapedElsewhere_saysStatusUnknown();
    void status_longSentences_neverWidenTheWindow();
    void stop_showsStoppingThenStopped();
    void stop_termIgnored_offersForceStopAfterGracePeriod();
    void checkpoint_sendsSigusr2ToTheServer();
    void checkpoint_serverWithoutHandler_sendsNothingAndSaysSo();
    void quit_whileRunning_cancelKeepsEverything();
    void window_remembersGeometry();
    void window_fifoInPlaceOfItsFile_opensAtDefaultSize();
    void preferences_logKeysWrittenOnlyWhenEdited();
    void preferences_changedAnyWay_isSavedOnce_data();
    void preferences_changedAnyWay_isSavedOnce();
    void preferences_logFileWhereItCannotGo_isWarned_data();
    void preferences_logFileWhereItCannotGo_isWarned();
    void accessibility_everyControlNamedAndReachable_data();
    void accessibility_everyControlNamedAndReachable();
    void playersPanel_fromTheViewMenu_listsWhoIsOnAsTheyComeAndGo();
    void windows_fitASmallScreen_data();
    void windows_fitASmallScreen();
    void menus_shortcutsAndMnemonicsClashNowhere();
    void firstStart_panelSaysWhy_andAboutSaysWhereThingsLive();
    void warnings_readOnLightAndDarkThemes_data();
    void warnings_readOnLightAndDarkThemes();
    void preferences_storeEditsAndPreviewNextName_data();
    void preferences_storeEditsAndPreviewNextName();
    void settingsSaveFailure_beforeWindowExists_isShownAtOnce();
    void settingsSaveFailure_isShown();
    void runEnd_messageBarSaysItAllAndOffersTheWaysOn_data();
    void runEnd_messageBarSaysItAllAndOffersTheWaysOn();
    void databases_showTheWorldAndStartThroughTheController();
    void databases_startOverItsInput_asksWithCancelAsDefault();
    void notifier_deadSessionBus_doesNothing();
    void runs_markedInTheViewOnlyAndNamedInTheTitle();
    void responding_stoppedThenContinued_statusNoticesAndGraphs();
    void graphs_samples_summaryNowAndPeak_data();
    void graphs_samples_summaryNowAndPeak();
    // Last: it turns restarting on in the store the tests share.
    void crash_withRestartWanted_countsDownUntilCancelled();
    void preferences_commandPreview_showsWholeArgumentVector();

private:
    QTemporaryDir m_folder;
};

void tst_App::init()
{
    standardStore().setString(MOOExecutableURL, standInServerPath());
}

void tst_App::cleanup()
{
    // Leave no question or chooser behind for the next test.
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog *>(widget))
            widget->close();
}

void tst_App::startup_runsInOrder_andWiresReaderAndKeys()
{
    struct Seen {
        StartupStep step;
        bool classInitialized;
        bool outletsConnected;
        bool windowShown;
    };
    QList<Seen> seen;
    Interface::Hooks hooks;
    hooks.startupStep = [&seen](StartupStep step, const Interface &interface) {
        const bool hasController = step >= StartupStep::controllerCreated;
        const bool hasWindows = step >= StartupStep::windowsCreated;
        const MooController *controller = hasController ? &interface.controller() : nullptr;
        seen.append(
            {step, MooController::isInitialized(),
             controller && hasWindows &&
                 controller->prefsController() == &interface.prefsController() &&
                 controller->logWindow() == WidgetWindow::of(&interface.logWindow()) &&
                 controller->prefsWindow() == WidgetWindow::of(&interface.preferencesPanel()),
             hasWindows && interface.logWindow().isVisible()});
    };
    QVERIFY2(!MooController::isInitialized(), "this test must run before any controller exists");
    Interface interface(hooks);

    const QList<StartupStep> order = {StartupStep::defaultsControllerCreated,
                                      StartupStep::classInitialized,
                                      StartupStep::controllerCreated,
                                      StartupStep::windowsCreated,
                                      StartupStep::outletsConnected,
                                      StartupStep::actionsConnected,
                                      StartupStep::keysObserved,
                                      StartupStep::awokeFromNib,
                                      StartupStep::logWindowShown};
    QCOMPARE(seen.size(), order.size());
    for (qsizetype i = 0; i < order.size(); ++i) {
        QCOMPARE(int(seen[i].step), int(order[i]));
        QCOMPARE(seen[i].classInitialized, order[i] >= StartupStep::classInitialized);
        QCOMPARE(seen[i].outletsConnected, order[i] >= StartupStep::outletsConnected);
        QCOMPARE(seen[i].windowShown, order[i] == StartupStep::logWindowShown);
    }
    QCOMPARE(&interface.prefsController().defaults(), &standardStore());
    QCOMPARE(standardStore().stringForKey(MOONewDBNameFormat), std::string("%@.new"));
    QCOMPARE(interface.logWindow().windowTitle(), QStringLiteral("Paddock"));
    // Before any output name is recorded, the preview uses an example database.
    QCOMPARE(interface.preferencesPanel().previewText(), QStringLiteral("castle.db.new"));
    QVERIFY(interface.preferencesPanel().previewSource().contains(u"/srv/worlds/castle.db"));

    // The reader is subscribed and the log view observes outputString.
    NotificationCenter::defaultCenter().post(
        Notification{FileHandleReadCompletionNotification,
                     nullptr,
                     {{FileHandleNotificationDataItem, QByteArray("hello from a server\n")}}});
    QCOMPARE(interface.logWindow().logView()->toPlainText(),
             QStringLiteral("hello from a server\n"));
}

void tst_App::controls_sendTheirActions_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("expected"); // a ControllerAction
    QTest::newRow("Start") << QStringLiteral("start") << int(ControllerAction::startMoo);
    QTest::newRow("Stop") << QStringLiteral("stop") << int(ControllerAction::stopMoo);
    QTest::newRow("Choose Server...")
        << QStringLiteral("choose") << int(ControllerAction::chooseURL);
    QTest::newRow("panel's Choose...")
        << QStringLiteral("panelChoose") << int(ControllerAction::chooseURL);
    QTest::newRow("Preferences...")
        << QStringLiteral("preferences") << int(ControllerAction::preferences);
    QTest::newRow("Ctrl+R") << QStringLiteral("Ctrl+R") << int(ControllerAction::startMoo);
    QTest::newRow("Ctrl+.") << QStringLiteral("Ctrl+.") << int(ControllerAction::stopMoo);
    QTest::newRow("Ctrl+,") << QStringLiteral("Ctrl+,") << int(ControllerAction::preferences);
}

void tst_App::controls_sendTheirActions()
{
    QFETCH(QString, control);
    QFETCH(int, expected);

    QList<int> sent;
    Interface::Hooks hooks;
    hooks.actionSent = [&sent](ControllerAction action) { sent.append(int(action)); };
    Interface interface(hooks);
    LogWindow &window = interface.logWindow();
    // Stop is enabled only while a server runs; no task is held, so the stop does nothing.
    interface.controller().setIsMooRunning(control.contains(u'.') || control == u"stop");

    if (control == u"start")
        window.startAction()->trigger();
    else if (control == u"stop")
        window.stopAction()->trigger();
    else if (control == u"choose")
        window.chooseServerAction()->trigger();
    else if (control == u"panelChoose")
        QTest::mouseClick(interface.preferencesPanel().chooseButton(), Qt::LeftButton);
    else if (control == u"preferences")
        window.preferencesAction()->trigger();
    else {
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTest::keySequence(&window, QKeySequence(control));
    }
    QCOMPARE(sent, QList<int>{expected});
    if (expected == int(ControllerAction::preferences))
        QVERIFY(interface.preferencesPanel().isVisible());
    interface.controller().setIsMooRunning(false);
}

void tst_App::start_throughTheDatabaseChooser_launches_data()
{
    QTest::addColumn<QString>("executable"); // empty for the stand-in
    QTest::addColumn<QString>("status");     // how the status begins
    QTest::newRow("runs") << QString() << QStringLiteral("Running, PID ");
    QTest::newRow("launch fails") << QStringLiteral("/nonexistent")
                                  << QStringLiteral("Launch failed: No such file or directory");
}

void tst_App::start_throughTheDatabaseChooser_launches()
{
    // The whole road from the Start control, through the real chooser, to the server.
    QFETCH(QString, executable);
    QFETCH(QString, status);
    if (!executable.isEmpty())
        standardStore().setString(MOOExecutableURL, executable.toStdString());
    Interface interface;
    const std::string db = writeDatabase(m_folder.path(), "castle.db", "stdout hi\n");
    interface.logWindow().startAction()->trigger();
    auto *chooser = interface.logWindow().findChild<QFileDialog *>();
    QVERIFY(chooser);
    chooser->selectFile(QString::fromStdString(db));
    QVERIFY(QMetaObject::invokeMethod(chooser, "accept"));
    const std::shared_ptr<Task> task = interface.controller().task();
    auto reaper = qScopeGuard([&task] { reap(task); });

    QVERIFY2(interface.logWindow().statusText().startsWith(status),
             qPrintable(interface.logWindow().statusText()));
    QCOMPARE(task && task->isRunning(), executable.isEmpty());
    QCOMPARE(interface.logWindow().findChild<QMessageBox *>(QStringLiteral("failureMessage")) !=
                 nullptr,
             !executable.isEmpty());
    QCOMPARE(standardStore().stringForKey(MOOLastDBName), std::string("castle.db.new"));
}

void tst_App::startStop_enablementFollowsIsMooRunning()
{
    Interface interface;
    LogWindow &window = interface.logWindow();
    const auto enabled = [&window] {
        return QList<bool>{window.startAction()->isEnabled(), window.stopAction()->isEnabled(),
                           window.checkpointAction()->isEnabled()};
    };
    QCOMPARE(enabled(), (QList<bool>{true, false, false}));

    // A real server: running from the launch, idle again once it has exited by itself.
    std::shared_ptr<Task> task = launch(interface, m_folder.path(), "sleep-ms 300\nexit 0\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    QVERIFY(task && task->isRunning());
    QCOMPARE(enabled(), (QList<bool>{false, true, true}));
    QTRY_VERIFY_WITH_TIMEOUT(!interface.controller().task(), 10000);
    QCOMPARE(enabled(), (QList<bool>{true, false, false}));

    interface.controller().setIsMooRunning(true);
    QCOMPARE(enabled(), (QList<bool>{false, true, true}));
    interface.controller().setIsMooRunning(std::nullopt);
    QCOMPARE(enabled(), (QList<bool>{true, false, false}));
}

void tst_App::status_tellsHowTheServerIs_data()
{
    QTest::addColumn<QString>("executable");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("expected"); // a pattern; %1 stands for the server's PID
    QTest::addColumn<bool>("failureShown");
    QTest::addColumn<QString>("outputName");
    QTest::addColumn<bool>("stop");
    const QString standIn = QString::fromStdString(standInServerPath());
    const QString out = QStringLiteral("out.db");
    // Every end looks for the output database the run should have written.
    const QString unsaved = QStringLiteral("\\. Warning: the server saved no database: \"/.*/%1\" "
                                           "was not written during this run$");
    QTest::newRow("running") << standIn << QByteArray("stdout up\n")
                             << QStringLiteral("^Running, PID %1, since \\d\\d:\\d\\d:\\d\\d$")
                             << false << out << false;
    QTest::newRow("running, listening")
        << standIn << QByteArray("stdout LISTEN: #0 now listening on port 7777\n")
        << QStringLiteral(
               "^Running, PID %1, since \\d\\d:\\d\\d:\\d\\d; listening on 7777; no one on$")
        << false << out << false;
    QTest::newRow("running, players on")
        << standIn
        << QByteArray("stdout LISTEN: #0 now listening on port 7777\n"
                      "stdout CONNECTED: Wizard (#2) on port 7777 from h, port 1\n"
                      "stdout CONNECTED: Ann (#5) on port 7777 from h, port 2\n")
        << QStringLiteral(
               "^Running, PID %1, since \\d\\d:\\d\\d:\\d\\d; listening on 7777; 2 players on$")
        << false << out << false;
    QTest::newRow("failed to start, no error line")
        << standIn << QByteArray("exit 3\n")
        << QStringLiteral("^Failed to start: exited with status 3") + unsaved.arg(out) << false
        << out << false;
    QTest::newRow("failed to start")
        << standIn << QByteArray("stderr *** Port 7777 in use\nexit 1\n")
        << QStringLiteral("^Failed to start: \\*\\*\\* Port 7777 in use") + unsaved.arg(out)
        << false << out << false;
    QTest::newRow("shut down from inside")
        << standIn << QByteArray("exit 0\n")
        << QStringLiteral("^Shut down from inside the world") + unsaved.arg(out) << false << out
        << false;
    QTest::newRow("crashed") << standIn << QByteArray("crash SEGV\n")
                             << QStringLiteral(
                                    "^Crashed: killed by signal SIGSEGV \\(Segmentation fault\\)") +
                                    unsaved.arg(out)
                             << false << out << false;
    QTest::newRow("stopped, saved") << standIn << QByteArray("stdout up\n")
                                    << QStringLiteral("^Stopped$") << false << out << true;
    QTest::newRow("stopped, output folder missing")
        << standIn << QByteArray("stdout up\n")
        << QStringLiteral("^Stopped") + unsaved.arg(QStringLiteral("backups/out\\.db")) << false
        << QStringLiteral("backups/out.db") << true;
    QTest::newRow("stopped, output name empty")
        << standIn << QByteArray("stdout up\n")
        << QStringLiteral("^Stopped") + unsaved.arg(QString()) << false << QString() << true;
    QTest::newRow("launch failed")
        << QStringLiteral("/nonexistent") << QByteArray("stdout up\n")
        << QStringLiteral("^Launch failed: No such file or directory$") << true << out << false;
    QTest::newRow("not executable")
        << QStringLiteral("<database>") << QByteArray("stdout up\n")
        << QStringLiteral("^Launch failed: Permission denied$") << true << out << false;
    // Paddock's own refusal is the reason, not the errno value's "Invalid argument".
    QTest::newRow("NUL byte in an argument")
        << standIn << QByteArray("stdout up\n")
        << QStringLiteral("^Launch failed: An argument for the server contains a NUL byte$") << true
        << QStringLiteral("out\u0000.db") << false;
}

void tst_App::status_tellsHowTheServerIs()
{
    QFETCH(QString, executable);
    QFETCH(QByteArray, script);
    QFETCH(QString, expected);
    QFETCH(bool, failureShown);
    QFETCH(QString, outputName);
    QFETCH(bool, stop);

    if (executable == u"<database>") // the database itself, a plain file
        executable = m_folder.filePath(QStringLiteral("in.db"));
    standardStore().setString(MOOExecutableURL, executable.toStdString());
    Interface interface;
    QCOMPARE(interface.logWindow().statusText(), QStringLiteral("Stopped"));
    const std::shared_ptr<Task> task =
        launch(interface, m_folder.path(), script.toStdString(), outputName.toStdString());
    auto reaper = qScopeGuard([&task] { reap(task); });
    if (stop) {
        QTRY_VERIFY_WITH_TIMEOUT(contains(logOf(interface.controller()), "running"), 10000);
        interface.send(ControllerAction::stopMoo, nullptr);
    }

    if (expected.contains(u"%1"))
        expected = expected.arg(task ? task->processIdentifier() : 0);
    const QRegularExpression pattern(expected);
    QTRY_VERIFY2_WITH_TIMEOUT(pattern.match(interface.logWindow().statusText()).hasMatch(),
                              qPrintable(interface.logWindow().statusText()), 10000);
    QCOMPARE(interface.logWindow().findChild<QMessageBox *>(QStringLiteral("failureMessage")) !=
                 nullptr,
             failureShown);
    // The window's words are its own: the server's log never gets them.
    const std::string log = logOf(interface.controller());
    for (const char *word : {"Running, PID", "Failed to start", "Crashed", "Launch failed"})
        QVERIFY2(log.find(word) == std::string::npos, log.c_str());
}

void tst_App::status_serverReapedElsewhere_saysStatusUnknown()
{
    const SignalDisposition ignored(SIGCHLD, SIG_IGN); // the kernel reaps the server
    standardStore().setString(MOOExecutableURL, standInServerPath());
    Interface interface;
    const std::shared_ptr<Task> task = launch(interface, m_folder.path(), "exit 3\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    QTRY_VERIFY_WITH_TIMEOUT(interface.logWindow().statusText().startsWith(
                                 QStringLiteral("Server ended; its exit status is unknown.")),
                             10000);
}

// A crash with a panic dump, a refused journal and a failing log file all at once: the window
// can still be made as narrow as a small screen, and every sentence stays whole for whoever
// reads it through the tooltip or a screen reader.
void tst_App::status_longSentences_neverWidenTheWindow()
{
    Interface interface;
    LogWindow &window = interface.logWindow();
    const QString sentence =
        QStringLiteral("Crashed: killed by signal SIGABRT (Aborted). Warning: the server saved "
                       "no database. A panic dump \"castle.db.new.PANIC\" was left beside the "
                       "database. ")
            .repeated(4);
    window.setStatusText(sentence);
    window.showDatabaseNote(sentence, true);
    window.showLogFileFailed(QStringLiteral("The log file cannot be written."));
    QVERIFY2(window.minimumSizeHint().width() <= 640,
             qPrintable(QString::number(window.minimumSizeHint().width())));
    window.resize(640, 480);
    QTRY_COMPARE_WITH_TIMEOUT(window.width(), 640, 5000);
    QCOMPARE(window.statusText(), sentence);
    QCOMPARE(window.databaseNote(), sentence);
    for (const char *name : {"serverStatus", "databaseNote"}) {
        const auto *label = window.findChild<QLabel *>(QLatin1String(name));
        QVERIFY(label);
        QCOMPARE(label->toolTip(), sentence);
        QCOMPARE(label->accessibleDescription(), sentence);
        QVERIFY2(label->text().size() < sentence.size(), qPrintable(label->text()));
    }
    QVERIFY(window.findChild<QLabel *>(QStringLiteral("logFileWarning"))->isVisibleTo(&window));
}

void tst_App::stop_showsStoppingThenStopped()
{
    const QTemporaryDir folder; // its own, so the saved database can only come from this stop
    Interface interface;
    QSignalSpy alerts(&interface.logWindow(), &LogWindow::statusAnnounced);
    QSignalSpy texts(&interface.status(), &ServerStatus::textChanged);
    const std::shared_ptr<Task> task = launch(interface, folder.path(), "stdout up\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    QTRY_VERIFY_WITH_TIMEOUT(logOf(interface.controller()).find("running") != std::string::npos,
                             10000);

    bool stopEnabledDuringWait = true;
    QMetaObject::Connection watch =
        connect(&interface.status(), &ServerStatus::textChanged, [&](const QString &text) {
            if (text == u"Stopping...")
                stopEnabledDuringWait = interface.logWindow().stopAction()->isEnabled();
        });
    interface.logWindow().stopAction()->trigger();
    disconnect(watch);

    QVERIFY(!task->isRunning());
    QCOMPARE(task->terminationStatus(), 0);
    QVERIFY(!stopEnabledDuringWait);
    QTRY_COMPARE_WITH_TIMEOUT(interface.logWindow().statusText(), QStringLiteral("Stopped"), 10000);
    // A stop the user asked for is routine: nothing is announced.
    QCOMPARE(alerts.size(), 0);
    QStringList seen;
    for (const QList<QVariant> &args : std::as_const(texts))
        seen.append(args.at(0).toString());
    QCOMPARE(seen.size(), 3);
    QVERIFY(seen[0].startsWith(u"Running, PID "));
    QCOMPARE(seen.mid(1), (QStringList{QStringLiteral("Stopping..."), QStringLiteral("Stopped")}));
    QVERIFY(!interface.logWindow().forceStopAction()->isVisible());
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("out.db")))); // it saved
}

void tst_App::stop_termIgnored_offersForceStopAfterGracePeriod()
{
    Interface interface;
    interface.setStopGracePeriod(std::chrono::milliseconds(200));
    LogWindow &window = interface.logWindow();
    QSignalSpy alerts(&window, &LogWindow::statusAnnounced);
    const std::shared_ptr<Task> task = launch(interface, m_folder.path(), "ignore-term\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    QTRY_VERIFY_WITH_TIMEOUT(logOf(interface.controller()).find("running") != std::string::npos,
                             10000);

    // While the stop waits: once Force Stop shows, use it; refuse its question once, then
    // accept it. A deadline kills the server so a fault fails the test instead of hanging it.
    QString statusWhenOffered;
    bool aliveAfterCancel = false;
    QTimer driver;
    driver.setInterval(10);
    connect(&driver, &QTimer::timeout, [&] {
        if (window.forceStopAction()->isVisible() && !QApplication::activeModalWidget()) {
            if (statusWhenOffered.isEmpty())
                statusWhenOffered = window.statusText();
            QTimer::singleShot(0, window.forceStopAction(), &QAction::trigger);
        }
    });
    QuestionAnswerer answerer(QStringLiteral("forceStopQuestion"), [&](QMessageBox *box, int seen) {
        if (seen == 1)
            return box->button(QMessageBox::Cancel);
        // Asked again: the Cancel before must have sent nothing.
        aliveAfterCancel = task->isRunning() && isProcessAlive(task->processIdentifier());
        return buttonNamed(box, QStringLiteral("Force Stop"));
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, [&task] { task->kill(); });
    deadline.start(20000);
    driver.start();
    window.stopAction()->trigger();
    driver.stop();
    QVERIFY2(deadline.isActive(), "the stop did not end before the deadline");

    QCOMPARE(statusWhenOffered, QStringLiteral("Stopping... the server is still writing its "
                                               "database or is not answering"));
    QCOMPARE(alerts.size(), 1); // a server that does not answer is announced, once
    QVERIFY(aliveAfterCancel);
    QVERIFY(answerer.seen() >= 2);
    QVERIFY2(answerer.lastText().contains(u"writing its database") &&
                 answerer.lastText().contains(u"unsaved changes will be lost"),
             qPrintable(answerer.lastText()));
    QCOMPARE(task->terminationReason(), Task::TerminationReason::UncaughtSignal);
    QCOMPARE(task->terminationStatus(), SIGKILL);
    // Killed before it could save: the status says that nothing was saved.
    QTRY_VERIFY_WITH_TIMEOUT(
        window.statusText().startsWith(
            QStringLiteral("Server killed by signal SIGKILL (Killed). Warning: the server saved no "
                           "database")),
        10000);
    QVERIFY(!window.forceStopAction()->isVisible());
}

void tst_App::runEnd_messageBarSaysItAllAndOffersTheWaysOn_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("panicDump");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QStringList>("buttons"); // none: no bar
    QTest::addColumn<QString>("press");
    QTest::addColumn<QString>("startsFrom"); // the database the pressed button runs
    const QString panic = QStringLiteral("Start from &Panic Dump");
    const QString again = QStringLiteral("Start &Again");
    const QString emergency = QStringLiteral("Start in &Emergency Mode");
    const QString databases = QStringLiteral("Show &Databases");
    const QString logFile = QStringLiteral("Open the &Log File");
    QTest::newRow("crash leaving a panic dump")
        << QByteArray("crash ABRT\n") << true << false
        << QStringList{panic, again, emergency, databases, logFile} << panic
        << QStringLiteral("out.db.PANIC");
    const QByteArray failing("stderr *** Port 7777 in use\nexit 1\n");
    const QStringList failedButtons{again, emergency, databases, logFile};
    QTest::newRow("failed to start") << failing << false << false << failedButtons << again
                                     << QStringLiteral("in.db");
    QTest::newRow("failed to start, repaired in the emergency mode")
        << failing << false << false << failedButtons << emergency << QStringLiteral("in.db");
    QTest::newRow("stopped, database saved")
        << QByteArray("stdout up\n") << false << true << QStringList() << QString() << QString();
}

// A run that ends badly is said in whole above the log, with the ways on as buttons, while the
// status bar keeps a short form; a clean stop needs no bar.
void tst_App::runEnd_messageBarSaysItAllAndOffersTheWaysOn()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, panicDump);
    QFETCH(bool, stop);
    QFETCH(QStringList, buttons);
    QFETCH(QString, press);
    QFETCH(QString, startsFrom);
    const QTemporaryDir folder; // its own, so no other test meets the dump
    if (panicDump) // written just before the run, which counts as during it
        writeDatabase(folder.path(), "out.db.PANIC", "stdout from the dump\n");
    Interface interface;
    LogWindow &window = interface.logWindow();
    const std::shared_ptr<Task> task = launch(interface, folder.path(), script.toStdString());
    auto reaper = qScopeGuard([&task] { reap(task); });
    if (stop) {
        QTRY_VERIFY_WITH_TIMEOUT(contains(logOf(interface.controller()), "up"), 10000);
        window.stopAction()->trigger();
    }
    QTRY_VERIFY_WITH_TIMEOUT(!interface.controller().isMooRunning() &&
                                 interface.life().state() == ServerLife::State::Ended &&
                                 interface.life().runOutputEnded(),
                             10000);
    MessageBar *bar = window.messageBar();
    auto *shown = window.findChild<QLabel *>(QStringLiteral("serverStatus"));
    if (buttons.isEmpty()) {
        QVERIFY(!bar->isVisible());
        QCOMPARE(shown->text(), window.statusText());
        return;
    }
    QTRY_VERIFY(bar->isVisibleTo(&window));
    QCOMPARE(bar->text(), window.statusText());
    if (panicDump)
        QVERIFY2(bar->text().contains(u"A panic dump \"out.db.PANIC\" was left beside the database"),
                 qPrintable(bar->text()));
    QVERIFY2(!shown->text().contains(u"Warning"), qPrintable(shown->text()));
    QCOMPARE(shown->toolTip(), window.statusText());
    QStringList labels;
    QPushButton *pressed = nullptr;
    for (QPushButton *button : bar->buttons()) {
        labels.append(button->text());
        if (button->text() == press)
            pressed = button;
    }
    QCOMPARE(labels, buttons);

    QVERIFY(pressed);
    pressed->click();
    const std::shared_ptr<Task> again = interface.controller().task();
    auto againReaper = qScopeGuard([&again] { reap(again); });
    QVERIFY(again && again != task);
    QCOMPARE(QFileInfo(QString::fromStdString(*interface.controller().dbPath())).fileName(),
             startsFrom);
    if (press == QStringLiteral("Start in &Emergency Mode")) {
        QVERIFY(interface.controller().run()->inEmergencyMode());
        return;
    }
    if (!panicDump) {
        // It fails again: the new end is said again; closed, the status bar says it all.
        QTRY_VERIFY_WITH_TIMEOUT(!again->isRunning() && bar->isVisibleTo(&window), 10000);
        bar->findChild<QToolButton *>(QStringLiteral("messageClose"))->click();
        QVERIFY(!bar->isVisibleTo(&window));
        QVERIFY(shown->text().startsWith(window.statusText().left(10)));
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(contains(logOf(interface.controller()), "from the dump"), 10000);
    QVERIFY(!bar->isVisibleTo(&window));
}

void tst_App::databases_startOverItsInput_asksWithCancelAsDefault()
{
    standardStore().setString(MOONewDBNameFormat, "%@");
    const auto restore =
        qScopeGuard([] { standardStore().setString(MOONewDBNameFormat, DefaultNewDBNameFormat); });
    const QTemporaryDir folder;
    const std::string db = writeDatabase(folder.path(), "castle.db", "stdout started\n");
    Interface interface;
    interface.controller().setDbPath(makeString(db));
    interface.logWindow().databasesAction()->trigger();
    auto *databases = interface.logWindow().findChild<DatabasesWindow *>();
    QVERIFY(databases && databases->selectFile(db));
    bool cancelIsDefault = true;
    // Escape the first time, which must cancel; go ahead the second.
    QuestionAnswerer answerer(QStringLiteral("riskQuestion"), [&](QMessageBox *box, int seen) {
        cancelIsDefault = cancelIsDefault && box->defaultButton() == box->escapeButton() &&
                          box->standardButton(box->defaultButton()) == QMessageBox::Cancel;
        if (seen == 1)
            QTest::keyClick(box, Qt::Key_Escape);
        return seen == 1 ? nullptr : buttonNamed(box, QStringLiteral("Start Anyway"));
    });
    auto *start = databases->findChild<QPushButton *>(QStringLiteral("startFromThisButton"));
    start->click();
    QVERIFY(!interface.controller().isMooRunning());
    start->click();
    const std::shared_ptr<Task> task = interface.controller().task();
    auto reaper = qScopeGuard([&task] { reap(task); });
    QCOMPARE(answerer.seen(), 2);
    QVERIFY(cancelIsDefault);
    QVERIFY(task && task->isRunning());
    QVERIFY2(answerer.lastText().contains(u"crash"), qPrintable(answerer.lastText()));
}

void tst_App::databases_showTheWorldAndStartThroughTheController()
{
    const QTemporaryDir folder;
    const std::string db = writeDatabase(folder.path(), "castle.db", "stdout started\n");
    Interface interface;
    interface.controller().setDbPath(makeString(db));
    interface.logWindow().databasesAction()->trigger();
    auto *databases = interface.logWindow().findChild<DatabasesWindow *>();
    QVERIFY(databases && databases->isVisible());
    QCOMPARE(databases->worldDatabase(), db);
    QVERIFY(databases->selectFile(db));
    auto *start = databases->findChild<QPushButton *>(QStringLiteral("startFromThisButton"));
    start->click();
    const std::shared_ptr<Task> task = interface.controller().task();
    auto reaper = qScopeGuard([&task] { reap(task); });
    QVERIFY(task && task->isRunning());
    QVERIFY(!start->isEnabled());
    // Disabled, it says why, to the eye and to a screen reader.
    QVERIFY2(start->accessibleDescription().contains(u"server is running"),
             qPrintable(start->accessibleDescription()));
    QCOMPARE(start->toolTip(), start->accessibleDescription());
}

void tst_App::responding_stoppedThenContinued_statusNoticesAndGraphs()
{
    standardStore().setString(MOONotRespondingMinutes, "1");
    Interface interface;
    PulseWiring &pulse = interface.pulse();
    auto clock = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    pulse.watch().setClock([&clock] { return clock; });
    pulse.watch().sampler().setInterval(std::chrono::hours(24)); // sampled by the test
    QSignalSpy notices(&pulse, &PulseWiring::noticeSent);
    QVERIFY(!pulse.graphsPanel().isVisibleTo(&interface.logWindow()));
    QVERIFY(interface.logWindow().viewMenu()->actions().contains(
        pulse.graphsPanel().toggleViewAction()));

    const std::shared_ptr<Task> task = launch(interface, m_folder.path(), "listen 0\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    QTRY_VERIFY_WITH_TIMEOUT(pulse.watch().checkedPort() > 0, 10000);
    const int pid = task->processIdentifier();
    const auto stopped = [pid] {
        const std::optional<ProcessStat> stat = processStat(pid);
        return stat && stat->state == 'T';
    };
    const auto sampleAfter = [&](std::chrono::seconds wait) {
        clock += wait;
        pulse.watch().sampler().sampleNow();
    };
    ::kill(pid, SIGSTOP);
    QTRY_VERIFY_WITH_TIMEOUT(stopped(), 10000);
    sampleAfter(std::chrono::seconds(1));
    sampleAfter(std::chrono::seconds(61));
    const QRegularExpression notResponding(
        QStringLiteral("^Not responding since \\d\\d:\\d\\d, PID %1; listening on \\d+; no one on$").arg(pid));
    QVERIFY2(notResponding.match(interface.logWindow().statusText()).hasMatch(),
             qPrintable(interface.logWindow().statusText()));
    QCOMPARE(notices.size(), 1);
    ::kill(pid, SIGCONT);
    QTRY_VERIFY_WITH_TIMEOUT(!stopped(), 10000);
    sampleAfter(std::chrono::seconds(5));
    QVERIFY2(interface.logWindow().statusText().startsWith(QStringLiteral("Running, PID")),
             qPrintable(interface.logWindow().statusText()));
    QCOMPARE(notices.size(), 2);
    QVERIFY(notices.at(1).at(0).toString().contains(QStringLiteral("again")));
    QVERIFY2(pulse.graphs().summary().startsWith(QStringLiteral("Processor: 0% now")),
             qPrintable(pulse.graphs().summary()));

    interface.send(ControllerAction::stopMoo, nullptr);
    QTRY_VERIFY_WITH_TIMEOUT(!pulse.watch().sampler().isSampling(), 10000);
    QCOMPARE(notices.size(), 2); // its end is told as ends are, not as an answer
    QTRY_VERIFY_WITH_TIMEOUT(
        pulse.graphs().summary().startsWith(QStringLiteral("The last run peaked at")), 10000);
}

void tst_App::graphs_samples_summaryNowAndPeak_data()
{
    QTest::addColumn<int>("samples"); // 5 s apart, at 10% of a processor, memory growing
    QTest::addColumn<int>("spikeAt"); // the sample that used 90% instead; -1: none
    QTest::addColumn<int>("players"); // -1: no count given
    QTest::addColumn<QString>("summary");
    QTest::newRow("one sample") << 1 << -1 << -1
                                << QStringLiteral("Processor: 0% now, peak 0%. Memory: 1.0 MiB "
                                                  "now, peak 1.0 MiB.");
    QTest::newRow("a spike early in weeks of samples, merged many times")
        << 20000 << 3 << 2
        << QStringLiteral("Processor: 10% now, peak 90%. Memory: 20.5 MiB now, peak 20.5 MiB. "
                          "Players: 2 now, peak 2.");
}

void tst_App::graphs_samples_summaryNowAndPeak()
{
    QFETCH(int, samples);
    QFETCH(int, spikeAt);
    QFETCH(int, players);
    RunGraphs graphs;
    const auto start = std::chrono::steady_clock::time_point(std::chrono::hours(1));
    std::chrono::milliseconds cpu(0);
    for (int i = 0; i < samples; ++i) {
        cpu += std::chrono::milliseconds(i == spikeAt ? 4500 : 500);
        graphs.addSample(start + std::chrono::seconds(5 * i),
                         {'S', cpu, false, std::uint64_t(1024 * 1024 + i * 1024)});
    }
    graphs.addSample(start + std::chrono::seconds(5 * samples), {'X', {}, false, 0}); // ended
    if (players >= 0)
        graphs.setPlayerCount(players);
    QTEST(graphs.summary(), "summary");
    QCOMPARE(graphs.accessibleDescription(), graphs.summary());
    graphs.resize(graphs.sizeHint());
    QVERIFY(!graphs.grab().isNull()); // paints the merged points
}

void tst_App::runs_markedInTheViewOnlyAndNamedInTheTitle()
{
    const QTemporaryDir folder;
    Interface interface;
    LogWindow &window = interface.logWindow();
    QCOMPARE(window.windowTitle(), QStringLiteral("Paddock"));
    QVERIFY2(window.logView()->emptyHint().startsWith(u"Server ▸ Start (Ctrl+R) asks"),
             qPrintable(window.logView()->emptyHint()));

    std::vector<qsizetype> starts;
    for (size_t run = 1; run <= 2; ++run) {
        starts.push_back(qsizetype(logOf(interface.controller()).size()));
        const std::shared_ptr<Task> task = launch(interface, folder.path(), "stdout up\n");
        auto reaper = qScopeGuard([&task] { reap(task); });
        QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), QStringLiteral("in.db — Running — Paddock"),
                                  10000);
        QTRY_VERIFY_WITH_TIMEOUT(
            contains(logOf(interface.controller()).substr(size_t(starts.back())), "running"),
            10000);
        window.stopAction()->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), QStringLiteral("in.db — Stopped — Paddock"),
                                  10000);
    }
    QCOMPARE(window.logView()->runStarts(), starts);
    // The marks are the view's: the log file holds the servers' output and nothing else. The
    // file has a chunk before the window does: compare once the window has caught up.
    QTRY_COMPARE_WITH_TIMEOUT(readFile(folder.filePath(QStringLiteral("server.log"))),
                              QByteArray::fromStdString(logOf(interface.controller())), 10000);
}

void tst_App::notifier_deadSessionBus_doesNothing()
{
    // The test environment's session bus is a socket nobody listens on: no notification, no
    // word, no wait, and no bus of its own started.
    QVERIFY(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").contains(u"dead-bus"));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    const QList<int> children = childProcesses();
    QElapsedTimer timer;
    timer.start();
    DesktopNotifier notifier;
    notifier.notify(QStringLiteral("The MOO server crashed"), QStringLiteral("It crashed."));
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!notifier.available());
    QCOMPARE(childProcesses(), children);
}

void tst_App::preferences_commandPreview_showsWholeArgumentVector()
{
    const auto noArguments = qScopeGuard([] {
        standardStore().setString(MOOArgumentsBefore, "");
        standardStore().setString(MOOArgumentsAfter, "");
    });
    Interface interface;
    PreferencesPanel &panel = interface.preferencesPanel();
    interface.controller().setNewDbPath(makeString("/srv/worlds/castle.db"));
    auto *before = panel.findChild<QLineEdit *>(QStringLiteral("argumentsBefore"));
    auto *after = panel.findChild<QLineEdit *>(QStringLiteral("argumentsAfter"));
    QTest::keyClicks(before, QStringLiteral("-e"));
    QTest::keyClicks(after, QStringLiteral("\"7777 x\" it's"));
    QCOMPARE(standardStore().stringForKey(MOOArgumentsBefore), std::optional<std::string>("-e"));
    // Words quoted where a shell would need it; an unclosed quote is said instead.
    QVERIFY2(panel.commandPreview().contains(u"quote"), qPrintable(panel.commandPreview()));
    after->clear();
    QTest::keyClicks(after, QStringLiteral("\"7777 x\""));
    QCOMPARE(panel.commandPreview(),
             QStringLiteral("-e /srv/worlds/castle.db castle.db.new '7777 x'"));

    // A NUL byte is refused where the arguments are edited and at Start, in the same words.
    standardStore().setString(MOOArgumentsAfter, std::string("'7\0'", 4));
    QVERIFY2(panel.commandPreview().contains(u"after the database names cannot be used: It "
                                             u"contains a NUL byte"),
             qPrintable(panel.commandPreview()));
    const std::shared_ptr<Task> task = launch(interface, m_folder.path(), "");
    QVERIFY(!task);
    QCOMPARE(interface.logWindow().statusText(),
             QStringLiteral("Launch failed: ") + panel.commandPreview());
}

void tst_App::crash_withRestartWanted_countsDownUntilCancelled()
{
    standardStore().setString(MOORestartAfterCrash, "1");
    // Off again afterwards, so no other test finds restarts on, whatever the order.
    const auto restartsOff =
        qScopeGuard([] { standardStore().setString(MOORestartAfterCrash, "0"); });
    Interface interface;
    LogWindow &window = interface.logWindow();
    QVERIFY(!window.cancelRestartAction()->isVisible());
    const std::shared_ptr<Task> task = launch(interface, m_folder.path(), "crash ABRT\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    QSignalSpy alerts(&window, &LogWindow::statusAnnounced);
    const auto *status = window.findChild<QLabel *>(QStringLiteral("serverStatus"));
    QTRY_VERIFY_WITH_TIMEOUT(status->accessibleName().startsWith(u"Running"), 10000);
    const QRegularExpression countdown(QStringLiteral("^Crashed; starting again in [1-5] s"));
    QTRY_VERIFY2_WITH_TIMEOUT(countdown.match(window.statusText()).hasMatch(),
                              qPrintable(window.statusText()), 10000);
    QVERIFY(window.cancelRestartAction()->isVisible());
    // The crash is announced once, and only the crash; the countdown's seconds are not read
    // out one by one: a screen reader is told the time the restart starts at.
    QTRY_COMPARE_WITH_TIMEOUT(alerts.size(), 1, 5000);
    const QString spoken = status->accessibleName();
    QCOMPARE(alerts.at(0).at(0).toString(), spoken);
    QVERIFY2(QRegularExpression(QStringLiteral("^Crashed; starting again at \\d\\d:\\d\\d:\\d\\d"))
                 .match(spoken)
                 .hasMatch(),
             qPrintable(spoken));
    QSignalSpy ticks(&interface.status(), &ServerStatus::textChanged);
    QVERIFY(ticks.wait(3000));
    QVERIFY2(countdown.match(window.statusText()).hasMatch(), qPrintable(window.statusText()));
    QCOMPARE(status->accessibleName(), spoken);
    QCOMPARE(status->accessibleDescription(), spoken);
    QCOMPARE(alerts.size(), 1);
    window.cancelRestartAction()->trigger();
    QVERIFY2(window.statusText().startsWith(u"Crashed: killed by signal SIGABRT"),
             qPrintable(window.statusText()));
    QVERIFY(!window.cancelRestartAction()->isVisible());
    QCOMPARE(interface.life().state(), ServerLife::State::Ended);

    // A restart that cannot start says so instead of still counting down.
    RestartPolicy soon;
    soon.firstDelay = std::chrono::milliseconds(50);
    interface.life().setRestartPolicy(soon);
    const std::shared_ptr<Task> second = launch(interface, m_folder.path(), "crash ABRT\n");
    auto secondReaper = qScopeGuard([&second] { reap(second); });
    standardStore().setString(MOOExecutableURL, "/nonexistent");
    QTRY_VERIFY2_WITH_TIMEOUT(
        window.statusText().startsWith(u"Crashed; starting it again failed: "),
        qPrintable(window.statusText()), 10000);
    QVERIFY(!window.cancelRestartAction()->isVisible());
    // The failed launch's pipes end at once; their last reads are let in before the test ends.
    const MooController &controller = interface.controller();
    QTRY_VERIFY_WITH_TIMEOUT(controller.taskStdOut()->fileHandleForReading()->isAtEnd() &&
                                 controller.taskStdError()->fileHandleForReading()->isAtEnd(),
                             5000);
}

void tst_App::checkpoint_sendsSigusr2ToTheServer()
{
    Interface interface;
    const std::shared_ptr<Task> task =
        launch(interface, m_folder.path(), "usr2-handler\nstdout up\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    QTRY_VERIFY_WITH_TIMEOUT(logOf(interface.controller()).find("running") != std::string::npos,
                             10000);
    interface.logWindow().checkpointAction()->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(
        logOf(interface.controller()).find("checkpoint, wrote") != std::string::npos, 10000);
    QVERIFY(task->isRunning());
    // The checkpoint the server reported shows in the status.
    QTRY_VERIFY2_WITH_TIMEOUT(
        interface.logWindow().statusText().endsWith(u"; checkpoint less than a minute ago"),
        qPrintable(interface.logWindow().statusText()), 10000);
}

void tst_App::checkpoint_serverWithoutHandler_sendsNothingAndSaysSo()
{
    Interface interface;
    const std::shared_ptr<Task> task = launch(interface, m_folder.path(), "stdout up\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    QTRY_VERIFY_WITH_TIMEOUT(logOf(interface.controller()).find("running") != std::string::npos,
                             10000);
    interface.logWindow().checkpointAction()->trigger();
    auto *box = interface.logWindow().findChild<QMessageBox *>(QStringLiteral("failureMessage"));
    QVERIFY(box);
    QVERIFY2(box->informativeText().contains(u"does not handle SIGUSR2"),
             qPrintable(box->informativeText()));
    // Had SIGUSR2 been sent, it would have ended the server before the stop's SIGTERM.
    interface.send(ControllerAction::stopMoo, nullptr);
    QCOMPARE(task->terminationReason(), Task::TerminationReason::Exit);
}

void tst_App::quit_whileRunning_cancelKeepsEverything()
{
    Interface interface;
    LogWindow &window = interface.logWindow();
    const std::shared_ptr<Task> task = launch(interface, m_folder.path(), "stdout up\n");
    auto reaper = qScopeGuard([&task] { reap(task); });

    bool quitIsDefault = false;
    QuestionAnswerer answerer(QStringLiteral("quitQuestion"), [&](QMessageBox *box, int) {
        quitIsDefault = box->defaultButton() && box->defaultButton()->text() == u"&Quit";
        return box->button(QMessageBox::Cancel);
    });
    window.quitAction()->trigger();
    QCOMPARE(answerer.seen(), 1);
    QVERIFY(quitIsDefault);
    QVERIFY2(answerer.lastText().contains(u"keeps running after Paddock quits"),
             qPrintable(answerer.lastText()));
    QVERIFY(window.isVisible());
    QVERIFY(task->isRunning());
    QVERIFY(interface.controller().isMooRunning());

    // Once the server has ended, closing asks nothing.
    reap(task);
    QTRY_VERIFY_WITH_TIMEOUT(!interface.controller().isMooRunning(), 10000);
    QVERIFY(window.close());
    QCOMPARE(answerer.seen(), 1);
}

void tst_App::window_remembersGeometry()
{
    QRect closedAt;
    {
        Interface interface;
        interface.logWindow().resize(640, 410);
        QVERIFY(interface.logWindow().close());
        closedAt = interface.logWindow().geometry();
    }
    Interface interface;
    QCOMPARE(interface.logWindow().size(), closedAt.size());
    // Kept apart from the launcher's own settings.
    QFile settings(qtPath(UserDefaults::standardFilePath()));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(!settings.readAll().contains("geometry"));
    QVERIFY(LogWindow::geometryFilePath() != UserDefaults::standardFilePath());
}

void tst_App::window_fifoInPlaceOfItsFile_opensAtDefaultSize()
{
    // Opening a FIFO for reading would wait for a writer, before any window appears.
    const std::string file = LogWindow::geometryFilePath();
    QVERIFY(QDir().mkpath(qtPath(file).section(u'/', 0, -2)));
    ::unlink(file.c_str());
    QCOMPARE(::mkfifo(file.c_str(), 0600), 0);
    LogWindow window;
    QCOMPARE(window.size(), QSize(780, 500));
    QVERIFY(window.close());
    struct stat info = {};
    QCOMPARE(::stat(file.c_str(), &info), 0);
    // Left as it is: what Paddock cannot read as its file is not its to replace.
    QVERIFY(S_ISFIFO(info.st_mode));
    ::unlink(file.c_str());
}

void tst_App::preferences_storeEditsAndPreviewNextName_data()
{
    QTest::addColumn<QString>("lastDb"); // the recorded last output name
    QTest::addColumn<QString>("nameTemplate");
    QTest::addColumn<QString>("dateFormat");
    QTest::addColumn<QString>("name");    // a pattern
    QTest::addColumn<QString>("warning"); // a word the warning must hold, or empty
    const QString castle = QStringLiteral("/srv/worlds/castle.db");
    const QString year = QStringLiteral("%Y");
    QTest::newRow("default") << castle << QStringLiteral("%@.new") << year
                             << QStringLiteral("^castle\\.db\\.new$") << QString();
    QTest::newRow("bare last name")
        << QStringLiteral("castle.db.new") << QStringLiteral("%@.new") << year
        << QStringLiteral("^castle\\.db\\.new\\.new$") << QString();
    QTest::newRow("time and random")
        << castle << QStringLiteral("%@-%T-%R") << QStringLiteral("%Y%m%d")
        << QStringLiteral("^castle\\.db-\\d{8}-\\d+$") << QString();
    QTest::newRow("own name") << castle << QStringLiteral("%@") << year
                              << QStringLiteral("^castle\\.db$") << QStringLiteral("risk");
    QTest::newRow("own name, bare") << QStringLiteral("world.db") << QStringLiteral("%@") << year
                                    << QStringLiteral("^world\\.db$") << QStringLiteral("risk");
    QTest::newRow("own name by another way")
        << castle << QStringLiteral("./../worlds/%@") << year
        << QStringLiteral("^\\./\\.\\./worlds/castle\\.db$") << QStringLiteral("risk");
    QTest::newRow("own name, absolute")
        << castle << castle << year << QStringLiteral("^/srv/worlds/castle\\.db$")
        << QStringLiteral("risk");
    QTest::newRow("other folder") << castle << QStringLiteral("../%@") << year
                                  << QStringLiteral("^\\.\\./castle\\.db$") << QString();
    QTest::newRow("token in time format")
        << castle << QStringLiteral("%T") << QStringLiteral("%@") << QStringLiteral("^castle\\.db$")
        << QStringLiteral("risk");
    QTest::newRow("empty") << castle << QString() << year << QStringLiteral("^$")
                           << QStringLiteral("empty");
    QTest::newRow("root folder") << castle << QStringLiteral("/") << year << QStringLiteral("^/$")
                                 << QStringLiteral("names a folder");
    QTest::newRow("unknown token")
        << castle << QStringLiteral("%@.%Z") << year << QStringLiteral("^castle\\.db\\.%Z$")
        << QStringLiteral("\"%Z\"");
    QTest::newRow("long name") << castle
                               << QStringLiteral("%@-") + QStringLiteral("generation-").repeated(12)
                               << year << QStringLiteral("^castle\\.db-(generation-){12}$")
                               << QString();
    // A bare last name lies in the folder the database chooser last chose in.
    const QString chosen = QStringLiteral("<chosen>/castle.db.new");
    QTest::newRow("into a folder missing beside the database")
        << chosen << QStringLiteral("backups/%@") << year
        << QStringLiteral("^backups/castle\\.db\\.new$") << QStringLiteral("does not exist");
    QTest::newRow("into a folder beside the database")
        << chosen << QStringLiteral("../%@") << year << QStringLiteral("^\\.\\./castle\\.db\\.new$")
        << QString();
    QTest::newRow("own name beside the database")
        << chosen << QStringLiteral("%@") << year << QStringLiteral("^castle\\.db\\.new$")
        << QStringLiteral("risk");
}

void tst_App::preferences_storeEditsAndPreviewNextName()
{
    QFETCH(QString, lastDb);
    QFETCH(QString, nameTemplate);
    QFETCH(QString, dateFormat);
    QFETCH(QString, name);
    QFETCH(QString, warning);

    if (lastDb.startsWith(u"<chosen>/")) {
        lastDb.remove(0, int(qstrlen("<chosen>/")));
        writeDatabase(m_folder.path(), lastDb.toStdString(), "");
        chooserMemory().setString(DatabaseChooserIdentifier, m_folder.path().toStdString());
    }
    const auto forget =
        qScopeGuard([] { chooserMemory().setString(DatabaseChooserIdentifier, std::string()); });
    Interface interface;
    PreferencesPanel &panel = interface.preferencesPanel();
    interface.controller().setNewDbPath(makeString(lastDb.toStdString()));
    QCOMPARE(panel.findChild<QLineEdit *>(QStringLiteral("executablePath"))->text(),
             QString::fromStdString(standInServerPath()));

    // Typed as a user types: each edit is stored at once.
    auto *templateField = panel.findChild<QLineEdit *>(QStringLiteral("nameTemplate"));
    auto *dateField = panel.findChild<QLineEdit *>(QStringLiteral("dateFormat"));
    templateField->selectAll();
    QTest::keyClick(templateField, Qt::Key_Backspace);
    QTest::keyClicks(templateField, nameTemplate);
    dateField->selectAll();
    QTest::keyClick(dateField, Qt::Key_Backspace);
    QTest::keyClicks(dateField, dateFormat);
    QCOMPARE(standardStore().stringForKey(MOONewDBNameFormat), nameTemplate.toStdString());
    QCOMPARE(standardStore().stringForKey(MOODateFormat), dateFormat.toStdString());

    QVERIFY2(QRegularExpression(name).match(panel.previewText()).hasMatch(),
             qPrintable(panel.previewText()));
    QVERIFY2(panel.previewSource().contains(lastDb), qPrintable(panel.previewSource()));
    if (warning.isEmpty())
        QVERIFY2(panel.previewWarning().isEmpty(), qPrintable(panel.previewWarning()));
    else
        QVERIFY2(panel.previewWarning().contains(warning), qPrintable(panel.previewWarning()));

    // Every message shows whole, in a narrow panel too.
    panel.resize(420, 300);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    for (const QLabel *label : panel.findChildren<QLabel *>()) {
        if (label->wordWrap() && label->isVisible())
            QTRY_VERIFY2_WITH_TIMEOUT(label->height() >= label->heightForWidth(label->width()),
                                      qPrintable(label->objectName() + u' ' + label->text()), 5000);
    }

    standardStore().setString(MOONewDBNameFormat, DefaultNewDBNameFormat);
    standardStore().setString(MOODateFormat, DefaultDateFormat);
    QCOMPARE(templateField->text(),
             QString::fromLatin1(DefaultNewDBNameFormat)); // follows the store
}

void tst_App::preferences_logKeysWrittenOnlyWhenEdited()
{
    Interface interface;
    PreferencesPanel &panel = interface.preferencesPanel();
    auto *logName = panel.findChild<QLineEdit *>(QStringLiteral("logFileName"));
    auto *scrollback = panel.findChild<QSpinBox *>(QStringLiteral("scrollbackMiB"));
    // Shown with their defaults, and nothing written for showing them.
    QCOMPARE(logName->text(), QStringLiteral("server.log"));
    QCOMPARE(scrollback->value(), 256);
    auto *restart = panel.findChild<QCheckBox *>(QStringLiteral("restartAfterCrash"));
    QVERIFY(!restart->isChecked());
    QVERIFY(!standardStore().stringForKey(MOOLogFileName));
    QVERIFY(!standardStore().stringForKey(MOOScrollbackMiB));
    QVERIFY(!standardStore().stringForKey(MOORestartAfterCrash));

    logName->selectAll();
    QTest::keyClick(logName, Qt::Key_Backspace); // empty: no log file
    QCOMPARE(standardStore().stringForKey(MOOLogFileName), std::string());
    QTest::keyClicks(logName, QStringLiteral("logs/world.log"));
    QCOMPARE(standardStore().stringForKey(MOOLogFileName), std::string("logs/world.log"));
    scrollback->stepUp();
    QCOMPARE(standardStore().stringForKey(MOOScrollbackMiB), std::string("257"));
    standardStore().setString(MOOScrollbackMiB, "64"); // set elsewhere: followed, not rewritten
    QCOMPARE(scrollback->value(), 64);
    standardStore().setString(MOOLogFileName, DefaultLogFileName);
    restart->click();
    QCOMPARE(standardStore().stringForKey(MOORestartAfterCrash), std::string("1"));
    standardStore().setString(MOORestartAfterCrash, "NO"); // anything but on is off
    QVERIFY(!restart->isChecked());

    // A log file that cannot be written shows in the status bar, not in the log.
    auto *warning = interface.logWindow().findChild<QLabel *>(QStringLiteral("logFileWarning"));
    QVERIFY(warning && !warning->isVisible());
    Q_EMIT interface.controller().logFileFailed(QStringLiteral("The log file x cannot be written"));
    QVERIFY(warning->isVisible());
    QVERIFY(warning->toolTip().contains(QStringLiteral("cannot be written")));
    // Readable without a pointer: the reason is in the status text too.
    QVERIFY2(interface.logWindow().statusText().contains(u"The log file x cannot be written"),
             qPrintable(interface.logWindow().statusText()));
}

void tst_App::preferences_changedAnyWay_isSavedOnce_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("way");
    QTest::addColumn<QString>("saved");
    const QString restart = QStringLiteral("restartAfterCrash");
    const QString restartKey = QString(MOORestartAfterCrash);
    QTest::newRow("check box, click") << restart << restartKey << "click"
                                      << "1";
    QTest::newRow("check box, space key") << restart << restartKey << "space"
                                          << "1";
    QTest::newRow("check box, Toggle action") << restart << restartKey << "toggle action"
                                              << "1";
    QTest::newRow("check box, setChecked") << restart << restartKey << "setChecked"
                                           << "1";
    QTest::newRow("archiving, Toggle action")
        << QStringLiteral("rotateDatabases") << QString(MOORotateDatabases) << "toggle action"
        << "1";
    QTest::newRow("spin box, Up key")
        << QStringLiteral("scrollbackMiB") << QString(MOOScrollbackMiB) << "up"
        << "257";
    QTest::newRow("spin box, screen reader's value")
        << QStringLiteral("scrollbackMiB") << QString(MOOScrollbackMiB) << "value"
        << "300";
    QTest::newRow("field, typed") << QStringLiteral("logFileName") << QString(MOOLogFileName)
                                  << "type"
                                  << "server.logx";
    QTest::newRow("field, screen reader's text")
        << QStringLiteral("logFileName") << QString(MOOLogFileName) << "value"
        << "world.log";
}

void tst_App::preferences_changedAnyWay_isSavedOnce()
{
    QFETCH(QString, control);
    QFETCH(QString, key);
    QFETCH(QString, way);
    QFETCH(QString, saved);
    const auto reset = [&key] {
        standardStore().setString(key, key == MOOScrollbackMiB ? "256"
                                       : key == MOOLogFileName ? DefaultLogFileName
                                                               : "0");
    };
    reset();
    const auto restore = qScopeGuard(reset);
    Interface interface;
    PreferencesPanel &panel = interface.preferencesPanel();
    panel.show();
    auto *widget = panel.findChild<QWidget *>(control);
    QVERIFY(widget);
    // What is kept in the archive matters only while archiving is on.
    auto *archiveKeep = panel.findChild<QSpinBox *>(QStringLiteral("archiveKeep"));
    QCOMPARE(archiveKeep->isEnabled(), standardStore().boolForKey(MOORotateDatabases));

    QSignalSpy saves(&standardStore(), &UserDefaults::valueChanged);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    if (way == u"click") {
        QTest::mouseClick(widget, Qt::LeftButton);
    } else if (way == u"space") {
        QTest::keyClick(widget, Qt::Key_Space);
    } else if (way == u"toggle action") {
        accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    } else if (way == u"setChecked") {
        qobject_cast<QCheckBox *>(widget)->setChecked(true);
    } else if (way == u"up") {
        QTest::keyClick(widget, Qt::Key_Up);
    } else if (way == u"type") {
        QTest::keyClick(widget, Qt::Key_End);
        QTest::keyClick(widget, Qt::Key_X);
    } else if (accessible->valueInterface()) {
        accessible->valueInterface()->setCurrentValue(saved.toInt());
    } else {
        accessible->setText(QAccessible::Value, saved);
    }
    QCOMPARE(standardStore().stringForKey(key), saved.toStdString());
    QCOMPARE(std::count_if(saves.cbegin(), saves.cend(),
                           [&key](const QList<QVariant> &args) { return args.at(0) == key; }),
             1);
    if (key == MOORotateDatabases)
        QVERIFY(archiveKeep->isEnabled());
}

void tst_App::preferences_logFileWhereItCannotGo_isWarned_data()
{
    QTest::addColumn<QString>("logName");
    QTest::addColumn<QString>("warning"); // words the warning must hold, or empty
    QTest::newRow("beside the database") << QStringLiteral("world.log") << QString();
    QTest::newRow("in a folder that exists") << QStringLiteral("../world.log") << QString();
    QTest::newRow("in a missing folder")
        << QStringLiteral("nosuchdir/world.log") << QStringLiteral("does not exist");
    QTest::newRow("a folder") << QStringLiteral("logs/") << QStringLiteral("names a folder");
    QTest::newRow("none") << QString() << QString();
}

void tst_App::preferences_logFileWhereItCannotGo_isWarned()
{
    QFETCH(QString, logName);
    QFETCH(QString, warning);
    writeDatabase(m_folder.path(), "castle.db", "");
    chooserMemory().setString(DatabaseChooserIdentifier, m_folder.path().toStdString());
    const auto forget = qScopeGuard([] {
        chooserMemory().setString(DatabaseChooserIdentifier, std::string());
        standardStore().setString(MOOLogFileName, DefaultLogFileName);
    });
    Interface interface;
    interface.controller().setNewDbPath(makeString("castle.db"));
    standardStore().setString(MOOLogFileName, logName.toStdString());
    const QString shown = interface.preferencesPanel().logFileWarning();
    if (warning.isEmpty())
        QVERIFY2(shown.isEmpty(), qPrintable(shown));
    else
        QVERIFY2(shown.contains(warning) && shown.contains(logName), qPrintable(shown));
}

void tst_App::playersPanel_fromTheViewMenu_listsWhoIsOnAsTheyComeAndGo()
{
    standardStore().setString(MOOExecutableURL, standInServerPath());
    Interface interface;
    PlayersPanel &panel = interface.playersPanel();
    QVERIFY(!panel.isVisible());
    QAction *toggle = panel.toggleViewAction();
    const QList<QMenu *> menus = interface.logWindow().menuBar()->findChildren<QMenu *>();
    QVERIFY(std::any_of(menus.begin(), menus.end(), [toggle](const QMenu *menu) {
        return menu->title() == u"&View" && menu->actions().contains(toggle);
    }));
    toggle->trigger();
    QVERIFY(panel.isVisible());
    QCOMPARE(panel.summary(), QStringLiteral("No server is running."));

    // One stream, so the lines come in this order.
    const std::shared_ptr<Task> task =
        launch(interface, m_folder.path(),
               "stdout CONNECTED: Wizard (#2) on port 7777 from a, port 1\n"
               "stdout CONNECTED: Ann (#5) on port 7777 from b, port 2\n"
               "stdout DISCONNECTED: Wizard (#2) on port 7777 from a, port 1\n"
               "stdout CREATED: Bob (#6) on port 7777 from c, port 3\n");
    auto reaper = qScopeGuard([&task] { reap(task); });
    const QAbstractItemModel *model = panel.view()->model();
    const auto rows = [model] {
        QStringList got;
        for (int row = 0; row < model->rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); column += 2)
                cells << model->index(row, column).data().toString();
            got << cells.join(u'|');
        }
        return got;
    };
    QTRY_COMPARE_WITH_TIMEOUT(rows(),
                              (QStringList{QStringLiteral("Ann (#5)|b, on port 7777"),
                                           QStringLiteral("Bob (#6)|c, on port 7777")}),
                              10000);
    QCOMPARE(panel.summary(), QStringLiteral("2 players on."));
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Player"));

    TerminationWatch ended(task);
    interface.send(ControllerAction::stopMoo, nullptr);
    QVERIFY(ended.wait());
    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), 0, 10000);
    QCOMPARE(panel.summary(), QStringLiteral("No server is running."));
    toggle->trigger();
    QVERIFY(!panel.isVisible());
}

void tst_App::accessibility_everyControlNamedAndReachable_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("named"); // parts that are no control but must be named
    QTest::newRow("main window") << QStringLiteral("main")
                                 << QStringList{QStringLiteral("logView"),
                                                QStringLiteral("statusBar"),
                                                QStringLiteral("serverStatus")};
    QTest::newRow("preferences") << QStringLiteral("preferences") << QStringList();
    QTest::newRow("databases") << QStringLiteral("databases") << QStringList();
    QTest::newRow("main window, players shown")
        << QStringLiteral("players") << QStringList{QStringLiteral("playersPanel")};
}

void tst_App::accessibility_everyControlNamedAndReachable()
{
    QFETCH(QString, window);
    QFETCH(QStringList, named);
    Interface interface;
    QWidget *shown = shownWindow(interface, window);
    QVERIFY(shown);
    const QStringList faults = unnamedOrUnreachable(shown);
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    for (const QString &name : std::as_const(named)) {
        auto *part = shown->findChild<QWidget *>(name);
        QVERIFY2(part, qPrintable(name));
        QVERIFY2(!QAccessible::queryAccessibleInterface(part)->text(QAccessible::Name).isEmpty(),
                 qPrintable(name));
    }
    QVERIFY(interface.logWindow().logView()->focusPolicy() & Qt::TabFocus);
}

void tst_App::windows_fitASmallScreen_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("main window") << QStringLiteral("main");
    QTest::newRow("preferences") << QStringLiteral("preferences");
    QTest::newRow("databases") << QStringLiteral("databases");
}

void tst_App::windows_fitASmallScreen()
{
    QFETCH(QString, window);
    Interface interface;
    QWidget *shown = shownWindow(interface, window);
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    // It can be made as small as an 800×500 screen, and opens within the screen it is on.
    const QSize least = shown->minimumSizeHint().expandedTo(shown->minimumSize());
    QVERIFY2(least.width() <= 800 && least.height() <= 500,
             qPrintable(QStringLiteral("%1×%2").arg(least.width()).arg(least.height())));
    const QRect screen = shown->screen()->availableGeometry();
    QTRY_VERIFY2_WITH_TIMEOUT(screen.contains(shown->frameGeometry()),
                              qPrintable(QStringLiteral("%1×%2 at %3,%4 on %5×%6")
                                             .arg(shown->frameGeometry().width())
                                             .arg(shown->frameGeometry().height())
                                             .arg(shown->x())
                                             .arg(shown->y())
                                             .arg(screen.width())
                                             .arg(screen.height())),
                              5000);
}

void tst_App::menus_shortcutsAndMnemonicsClashNowhere()
{
    Interface interface;
    LogWindow &window = interface.logWindow();
    // The keys the log view takes for itself (Copy, Select All, Find and its next and previous)
    // are the Edit menu's, so they are among the actions' own.
    QList<QKeySequence> taken;
    for (QAction *action : window.findChildren<QAction *>()) {
        for (const QKeySequence &key : action->shortcuts()) {
            QVERIFY2(!taken.contains(key), qPrintable(key.toString() + u' ' + action->text()));
            taken.append(key);
        }
    }
    for (QAction *action : {window.checkpointAction(), window.forceStopAction(),
                            window.chooseServerAction(), window.cancelRestartAction()})
        QVERIFY2(!action->shortcut().isEmpty(), qPrintable(action->text()));

    // Within each menu, and among each window's buttons, no two share a mnemonic.
    const auto mnemonicsClash = [](const QStringList &texts) -> QString {
        QString seen;
        for (const QString &text : texts) {
            const qsizetype at = text.indexOf(u'&');
            if (at < 0 || at + 1 >= text.size())
                return QStringLiteral("no mnemonic: ") + text;
            const QChar letter = text.at(at + 1).toLower();
            if (seen.contains(letter))
                return QStringLiteral("shared: ") + text;
            seen.append(letter);
        }
        return QString();
    };
    for (QMenu *menu : window.menuBar()->findChildren<QMenu *>()) {
        QStringList texts;
        for (QAction *action : menu->actions())
            if (!action->isSeparator())
                texts.append(action->text());
        const QString clash = mnemonicsClash(texts);
        QVERIFY2(clash.isEmpty(), qPrintable(clash));
    }
    window.databasesAction()->trigger();
    QStringList buttons;
    for (QPushButton *button : window.findChild<DatabasesWindow *>()->findChildren<QPushButton *>())
        buttons.append(button->text());
    const QString clash = mnemonicsClash(buttons);
    QVERIFY2(clash.isEmpty(), qPrintable(clash));
}

void tst_App::firstStart_panelSaysWhy_andAboutSaysWhereThingsLive()
{
    standardStore().setString(MOOExecutableURL, "");
    Interface interface;
    PreferencesPanel &panel = interface.preferencesPanel();
    auto *reason = panel.findChild<QLabel *>(QStringLiteral("startReason"));
    interface.logWindow().startAction()->trigger();
    QVERIFY(panel.isVisible());
    QVERIFY(reason->isVisible());
    QVERIFY2(reason->text().contains(u"which MOO server"), qPrintable(reason->text()));
    panel.close();
    // Opened for itself, the panel has no reason to give.
    interface.logWindow().preferencesAction()->trigger();
    QVERIFY(panel.isVisible());
    QVERIFY(!reason->isVisible());

    interface.logWindow().aboutAction()->trigger();
    auto *about = interface.logWindow().findChild<QMessageBox *>(QStringLiteral("aboutPaddock"));
    QVERIFY(about && about->isVisible());
    const QString text = about->text() + about->informativeText();
    for (const QString &part :
         {QStringLiteral("MIT"), QString::fromStdString(UserDefaults::standardFilePath()),
          QStringLiteral("log file")})
        QVERIFY2(text.contains(part), qPrintable(text));
}

void tst_App::warnings_readOnLightAndDarkThemes_data()
{
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("text");
    QTest::newRow("light") << QColor(0xff, 0xff, 0xff) << QColor(0, 0, 0);
    QTest::newRow("grey") << QColor(0xef, 0xef, 0xef) << QColor(0x23, 0x26, 0x27);
    QTest::newRow("dark") << QColor(0x20, 0x20, 0x20) << QColor(0xee, 0xee, 0xee);
    QTest::newRow("black") << QColor(0, 0, 0) << QColor(0xff, 0xff, 0xff);
}

void tst_App::warnings_readOnLightAndDarkThemes()
{
    QFETCH(QColor, background);
    QFETCH(QColor, text);
    Interface interface;
    LogWindow &window = interface.logWindow();
    window.showDatabaseNote(QStringLiteral("The archive could not be written."), true);
    standardStore().setString(MOONewDBNameFormat, "");
    const auto restore =
        qScopeGuard([] { standardStore().setString(MOONewDBNameFormat, DefaultNewDBNameFormat); });
    QPalette theme = window.palette();
    theme.setColor(QPalette::Window, background);
    theme.setColor(QPalette::WindowText, text);
    window.setPalette(theme);
    interface.preferencesPanel().setPalette(theme);
    for (QWidget *warning :
         {window.findChild<QWidget *>(QStringLiteral("settingsWarning")),
          window.findChild<QWidget *>(QStringLiteral("databaseNote")),
          interface.preferencesPanel().findChild<QWidget *>(QStringLiteral("previewWarning"))}) {
        const QPalette shown = warning->palette();
        const double contrast =
            contrastRatio(shown.color(QPalette::WindowText), shown.color(QPalette::Window));
        QVERIFY2(shown.color(QPalette::WindowText) != text && contrast >= 4.5,
                 qPrintable(warning->objectName() + u' ' + QString::number(contrast)));
    }
}

void tst_App::settingsSaveFailure_beforeWindowExists_isShownAtOnce()
{
    // As when class initialisation finds a settings file it cannot read, before the window
    // is there to listen: nothing is saved over it, and the window says why.
    const QString file = qtPath(UserDefaults::standardFilePath());
    QFile::remove(file);
    QVERIFY(QDir().mkdir(file));
    auto restore = qScopeGuard([&file] { QDir(file).removeRecursively(); });
    standardStore().setString(MOODateFormat, DefaultDateFormat);
    QVERIFY(!standardStore().lastSaveSucceeded());

    Interface interface;
    auto *warning = interface.logWindow().findChild<QLabel *>(QStringLiteral("settingsWarning"));
    QVERIFY(warning && !warning->isHidden());
    QCOMPARE(warning->text(), QStringLiteral("Settings cannot be read"));
    QVERIFY2(warning->toolTip().contains(QStringLiteral("it is a folder")),
             qPrintable(warning->toolTip()));
    QVERIFY(QFileInfo(file).isDir());

    QVERIFY(QDir(file).removeRecursively());
    standardStore().setString(MOODateFormat, DefaultDateFormat);
    QVERIFY(standardStore().lastSaveSucceeded());
    QVERIFY(warning->isHidden());
}

void tst_App::settingsSaveFailure_isShown()
{
    // Last: the standard store keeps reporting the failure for the rest of the process.
    Interface interface;
    auto *warning = interface.logWindow().findChild<QLabel *>(QStringLiteral("settingsWarning"));
    QVERIFY(warning && warning->isHidden());

    // Another process holds the settings folder's lock: no save can go on meanwhile.
    const std::string folder = settingsFolderPath();
    const UniqueFd held(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QCOMPARE(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    standardStore().setString(MOODateFormat, DefaultDateFormat);
    QVERIFY(!standardStore().lastSaveSucceeded());
    QVERIFY(!warning->isHidden());
    QCOMPARE(warning->text(), QStringLiteral("Settings cannot be saved"));
    QCOMPARE(interface.logWindow().statusText(), QStringLiteral("Stopped")); // not in its place
}

PADDOCK_WIDGETS_TEST_MAIN(tst_App)
#include "tst_app.moc"

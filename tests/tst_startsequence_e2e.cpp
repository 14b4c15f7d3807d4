// SPDX-License-Identifier: MIT
#include "WidgetTestSupport.h"

#include "SettingsKeys.h"

#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTimer>

using namespace paddock;
using namespace paddock::test;

namespace {

// The chooser shown on window, if any.
QFileDialog *chooserOn(QWidget &window)
{
    for (QFileDialog *dialog : window.findChildren<QFileDialog *>()) {
        if (dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

QLineEdit *fileNameField(QFileDialog *dialog)
{
    return dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
}

// Types path into the chooser's file-name field and presses Return, as a user would; the
// field must have the keyboard once the chooser is the active window.
bool typePathAndReturn(QFileDialog *dialog, const QString &path)
{
    if (!QTest::qWaitForWindowActive(dialog))
        return false;
    QLineEdit *field = fileNameField(dialog);
    if (!field || QApplication::focusWidget() != field)
        return false;
    QTest::keyClicks(field, path);
    QTest::keyClick(field, Qt::Key_Return);
    return true;
}

// A controller whose executable is the stand-in, with its own settings, and a preferences panel.
struct Rig {
    QTemporaryDir folder;
    UserDefaults store{osPath(folder.filePath(QStringLiteral("settings/paddock.conf")))};
    UserDefaultsController prefs{store};
    MooController controller;
    QDialog prefsWindow;
    Rig() { store.setString(MOOExecutableURL, standInServerPath()); }
};

} // namespace

class tst_StartSequenceE2E : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstRun_bothChoosers_runServer_thenSuggestItsOutput();
    void windowClosedWithChooserOpen_answersNothing();
    void nameNotUtf8_isRefusedWithAMessage();
};

void tst_StartSequenceE2E::firstRun_bothChoosers_runServer_thenSuggestItsOutput()
{
    QTemporaryDir folder;
    UserDefaults store(osPath(folder.filePath(QStringLiteral("settings/paddock.conf"))));
    MooController::writeFormatDefaults(store);
    UserDefaultsController prefs(store);
    QMainWindow logWindow;
    logWindow.setCentralWidget(new QWidget);
    logWindow.resize(800, 600);
    QDialog prefsWindow;
    prefsWindow.resize(500, 400);

    QList<std::shared_ptr<Task>> launched;
    const auto reap = qScopeGuard([&launched] { reapTasks(launched); });
    MooController controller;
    connect(&controller, &MooController::taskChanged, &controller, [&] {
        if (const auto task = controller.task())
            launched.append(task);
    });
    controller.connectOutlets(&prefs, WidgetWindow::of(&prefsWindow), WidgetWindow::of(&logWindow));
    controller.awakeFromNib();
    logWindow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&logWindow));

    const std::string database = writeDatabase(folder.path(), "castle.db", "stdout hello\n");
    const QString databaseText = QFile::decodeName(QByteArray::fromStdString(database));
    const QString standIn = QFile::decodeName(QByteArray::fromStdString(standInServerPath()));
    QSignalSpy failures(&controller, &MooController::launchFailed);

    // No executable yet: Start shows the preferences panel with the executable chooser on it.
    QVERIFY(!prefsWindow.isVisible());
    controller.startMoo();
    QVERIFY(prefsWindow.isVisible());
    QPointer<QFileDialog> executableChooser = chooserOn(prefsWindow);
    QVERIFY(executableChooser);
    QVERIFY(!chooserOn(logWindow));
    QCOMPARE(executableChooser->windowModality(), Qt::WindowModal);
    QVERIFY(executableChooser->testOption(QFileDialog::DontUseNativeDialog));
    QCOMPARE(executableChooser->fileMode(), QFileDialog::ExistingFile);
    auto *message = executableChooser->findChild<QLabel *>(QStringLiteral("openPanelMessage"));
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->text(), QStringLiteral("Please find the exectuble for the MOO:"));
    QLineEdit *field = fileNameField(executableChooser);
    QVERIFY(field);
    QCOMPARE(executableChooser->focusWidget(), field);
    QVERIFY(field->text().isEmpty());

    // Start again while it is open: the same chooser, no second one.
    controller.startMoo();
    QCOMPARE(prefsWindow.findChildren<QFileDialog *>().size(), 1);

    // The user types the path and presses Return.
    QVERIFY(typePathAndReturn(executableChooser, standIn));
    QTRY_VERIFY_WITH_TIMEOUT(!executableChooser || !executableChooser->isVisible(), 5000);
    QCOMPARE(store.stringForKey(MOOExecutableURL), std::optional(standInServerPath()));
    QVERIFY(!controller.shouldPromptForDb());

    // Then the database chooser on the log window, suggesting nothing on a first run.
    QPointer<QFileDialog> databaseChooser = chooserOn(logWindow);
    QVERIFY(databaseChooser);
    message = databaseChooser->findChild<QLabel *>(QStringLiteral("openPanelMessage"));
    QVERIFY(message && message->isVisible());
    QCOMPARE(message->text(), QStringLiteral("Please choose a MOO database to use:"));
    field = fileNameField(databaseChooser);
    QVERIFY(field);
    QCOMPARE(databaseChooser->focusWidget(), field);
    QVERIFY(field->text().isEmpty());
    QVERIFY(typePathAndReturn(databaseChooser, databaseText));
    QTRY_VERIFY_WITH_TIMEOUT(!databaseChooser || !databaseChooser->isVisible(), 5000);

    // The server runs on that database, with the output name, in its folder.
    QVERIFY2(failures.isEmpty(),
             failures.isEmpty() ? "" : qPrintable(failures.at(0).at(0).toString()));
    QVERIFY(controller.isMooRunning());
    // What it received is reported on its error stream, which may come after its output's.
    QTRY_VERIFY_WITH_TIMEOUT(receivedByStandIn(logOf(controller)), 10000);
    const auto got = receivedByStandIn(logOf(controller));
    QVERIFY2(got, logOf(controller).c_str());
    QCOMPARE(got->argc, 3);
    QCOMPARE(got->db, database);
    QCOMPARE(got->out, std::string("castle.db.new"));
    QCOMPARE(got->cwd, QFile::encodeName(folder.path()).toStdString());
    QCOMPARE(store.stringForKey(MOOLastDBName), std::optional(std::string("castle.db.new")));

    controller.stopMoo();
    QVERIFY(!controller.isMooRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!controller.task(), 10000);
    const QString output = folder.filePath(QStringLiteral("castle.db.new"));
    QVERIFY(QFile::exists(output));

    // Start again: straight to the database chooser, in that folder, the output selected.
    controller.startMoo();
    QVERIFY(!chooserOn(prefsWindow));
    databaseChooser = chooserOn(logWindow);
    QVERIFY(databaseChooser);
    QCOMPARE(databaseChooser->directory().absolutePath(), QDir(folder.path()).absolutePath());
    field = fileNameField(databaseChooser);
    QCOMPARE(field->text(), QStringLiteral("castle.db.new"));
    QCOMPARE(databaseChooser->focusWidget(), field);
    QCOMPARE(databaseChooser->selectedFiles(), QStringList{output});

    // Cancel is silent and changes nothing.
    databaseChooser->reject();
    QTRY_VERIFY_WITH_TIMEOUT(!databaseChooser, 5000);
    QVERIFY(!controller.task());
    QVERIFY(!controller.isMooRunning());
    QCOMPARE(*controller.dbPath(), database);
    QCOMPARE(launched.size(), 1);
    QVERIFY(failures.isEmpty());
}

void tst_StartSequenceE2E::windowClosedWithChooserOpen_answersNothing()
{
    Rig rig;
    auto &[folder, store, prefs, controller, prefsWindow] = rig;
    auto logWindow = std::make_unique<QMainWindow>();
    controller.connectOutlets(&prefs, WidgetWindow::of(&prefsWindow),
                              WidgetWindow::of(logWindow.get()));

    controller.startMoo();
    QPointer<QFileDialog> chooser = chooserOn(*logWindow);
    QVERIFY(chooser);
    // The chooser and its pending answer go with the window; nothing is launched.
    logWindow.reset();
    QVERIFY(!chooser);
    QCoreApplication::processEvents();
    QVERIFY(!controller.task());
    QVERIFY(!controller.dbPath());

    // A chooser can open again on a new window.
    QMainWindow newWindow;
    controller.connectOutlets(&prefs, WidgetWindow::of(&prefsWindow), WidgetWindow::of(&newWindow));
    controller.startMoo();
    chooser = chooserOn(newWindow);
    QVERIFY(chooser);
    chooser->reject();
    QTRY_VERIFY_WITH_TIMEOUT(!chooser, 5000);
}

void tst_StartSequenceE2E::nameNotUtf8_isRefusedWithAMessage()
{
    Rig rig;
    auto &[folder, store, prefs, controller, prefsWindow] = rig;
    QMainWindow logWindow;
    logWindow.resize(800, 600);
    controller.connectOutlets(&prefs, WidgetWindow::of(&prefsWindow), WidgetWindow::of(&logWindow));
    logWindow.show();
    // "café.db" in Latin-1: the chooser shows it with a replacement character.
    const std::string bytes = QFile::encodeName(folder.path()).toStdString() + "/caf\xe9.db";
    writeDatabase(folder.path(), "caf\xe9.db", "stdout hello\n");
    const QString shown = QFile::decodeName(QByteArray::fromStdString(bytes));
    QVERIFY(shown.contains(QChar::ReplacementCharacter));

    controller.startMoo();
    QPointer<QFileDialog> chooser = chooserOn(logWindow);
    QVERIFY(chooser);
    // Any message is modal: note it and answer it once it shows.
    QString message;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&message] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            message = box->objectName() + u": " + box->informativeText();
            box->accept();
        }
    });
    answerer.start(10);
    QVERIFY(QTest::qWaitForWindowActive(chooser));
    // The name as the chooser shows it; keys cannot type the replacement character.
    fileNameField(chooser)->setText(shown);
    QTest::keyClick(fileNameField(chooser), Qt::Key_Return);
    answerer.stop();

    // Said so, and nothing started on a file of another name; the chooser stays open.
    QVERIFY2(message.startsWith(u"nameNotUtf8Message") && message.contains(u"UTF-8") &&
                 message.contains(u"Rename"),
             qPrintable(message));
    QVERIFY(chooser && chooser->isVisible());
    QVERIFY(!controller.task());
    QVERIFY(!controller.dbPath());
    chooser->reject();
}

PADDOCK_WIDGETS_TEST_MAIN(tst_StartSequenceE2E)
#include "tst_startsequence_e2e.moc"

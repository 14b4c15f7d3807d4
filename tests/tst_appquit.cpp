// SPDX-License-Identifier: MIT
// Its own program: once the application has quit, every later event loop in the process
// returns at once.
#include "WidgetTestSupport.h"

#include "Interface.h"
#include "LogWindow.h"
#include "SettingsKeys.h"

#include <QAction>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <csignal>

using namespace paddock;
using namespace paddock::test;

namespace {

// The kernel's view of the child: its state letter and the signals waiting for it.
struct ProcessState {
    char state = '?';
    quint64 pending = 0;
};

ProcessState processState(int pid)
{
    ProcessState result;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return result;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("State:"))
            result.state = line.mid(6).trimmed().at(0);
        else if (line.startsWith("SigPnd:") || line.startsWith("ShdPnd:"))
            result.pending |= line.mid(7).trimmed().toULongLong(nullptr, 16);
    }
    return result;
}

} // namespace

class tst_AppQuit : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void quit_whileServerRuns_asksOnceAndLeavesItRunning();
};

void tst_AppQuit::quit_whileServerRuns_asksOnceAndLeavesItRunning()
{
    QTemporaryDir folder;
    UserDefaults::standardUserDefaults().setString(MOOExecutableURL, standInServerPath());
    auto interface = std::make_unique<Interface>();
    MooController &controller = interface->controller();
    controller.setDbPath(makeString(writeDatabase(folder.path(), "in.db", "stdout up\n")));
    controller.setNewDbPath(makeString("out.db"));
    QVERIFY(interface->perform([&controller] { controller.runMoo(); }));
    const std::shared_ptr<Task> server = controller.task();
    const int pid = server->processIdentifier();

    // The question is answered with its default button, as Return would.
    int asked = 0;
    QTimer answerer;
    answerer.setInterval(10);
    connect(&answerer, &QTimer::timeout, [&asked] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && box->objectName() == u"quitQuestion") {
            ++asked;
            box->defaultButton()->click();
        }
    });
    answerer.start();
    QTimer::singleShot(0, interface->logWindow().quitAction(), &QAction::trigger);
    QCOMPARE(QApplication::exec(), 0);
    answerer.stop();
    QCOMPARE(asked, 1);

    // Neither quitting nor tearing the interface down stops or signals the server.
    interface.reset();
    const ProcessState state = processState(pid);
    QVERIFY2(state.state == 'S' || state.state == 'R', &state.state);
    QCOMPARE(state.pending, quint64(0));
    QVERIFY(server->isRunning());
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("out.db")))); // never told to save

    // No event loop runs any more, but events are still processed: the task reaps its
    // child and lets go of itself and its pipes.
    QVERIFY(server->kill());
    QTRY_VERIFY_WITH_TIMEOUT(!server->isRunning(), 10000);
    QCOMPARE(server->terminationStatus(), SIGKILL);
}

PADDOCK_WIDGETS_TEST_MAIN(tst_AppQuit)
#include "tst_appquit.moc"

// SPDX-License-Identifier: MIT
// Its own program: once the application has been told to quit, every later event loop in
// the process returns at once.
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTimer>

using namespace paddock;
using namespace paddock::test;

class tst_QuitDuringStop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void stop_applicationQuitsDuringWait_serverStillMarkedRunning();
};

void tst_QuitDuringStop::stop_applicationQuitsDuringWait_serverStillMarkedRunning()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    fixture.launch("ignore-term\n");
    QTRY_VERIFY_WITH_TIMEOUT(fixture.log().find("running") != std::string::npos, 10000);
    const std::shared_ptr<Task> server = controller.task();

    // The stop waits for an exit that will not come; the application is told to end
    // meanwhile (what quit() does once the main loop runs): the timer can only fire once
    // the wait turns the event loop.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    controller.stopMoo();

    QVERIFY(server->isRunning());
    QVERIFY(controller.isMooRunning()); // still true: the server was not stopped
    QCOMPARE(controller.task(), server);

    // Reap it; QTRY processes events without an event loop, which no longer runs.
    QVERIFY(server->kill());
    QTRY_VERIFY_WITH_TIMEOUT(!server->isRunning(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!controller.task(), 10000);
}

PADDOCK_TEST_MAIN(tst_QuitDuringStop)
#include "tst_quitduringstop.moc"

// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "FileHandle.h"
#include "NotificationCenter.h"
#include "SettingsKeys.h"

#include <QSignalSpy>

using namespace paddock;
using namespace paddock::test;

class tst_ControllerState : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init_freshController_hasEmptyState();
    void setters_sameObject_changeNothing();
    void setNewDbPath_recordsOnlyNewObjects();
    void setIsMooRunning_absentStoresFalse();
    void setOutputString_oldTextFreedOnceUnread();
    void logText_olderReaderKeepsItsCharacters();
    void teardown_noNoticeReachesController();
};

void tst_ControllerState::init_freshController_hasEmptyState()
{
    MooController controller;
    QVERIFY(MooController::isInitialized());
    QVERIFY(controller.outputString());
    QCOMPARE(controller.outputString()->length(), 0);
    QVERIFY(!controller.isMooRunning());
    QVERIFY(!controller.task());
    QVERIFY(!controller.taskStdOut());
    QVERIFY(!controller.taskStdError());
    QVERIFY(!controller.dbPath());
    QVERIFY(!controller.newDbPath());
    QVERIFY(!controller.shouldPromptForDb());
}

void tst_ControllerState::setters_sameObject_changeNothing()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    const String path = makeString("/srv/worlds/castle.db");
    controller.setDbPath(path);
    const auto pipe = Pipe::create();
    controller.setTaskStdOut(pipe);
    const LogTextPtr text = LogText::create();
    controller.setOutputString(text);

    QSignalSpy db(&controller, &MooController::dbPathChanged);
    QSignalSpy out(&controller, &MooController::taskStdOutChanged);
    QSignalSpy log(&controller, &MooController::outputStringChanged);
    controller.setDbPath(path);
    controller.setTaskStdOut(pipe);
    controller.setOutputString(text);
    QCOMPARE(db.count() + out.count() + log.count(), 0);

    // Equal contents in another object is a change.
    controller.setDbPath(makeString("/srv/worlds/castle.db"));
    QCOMPARE(db.count(), 1);
    QVERIFY(controller.dbPath() != path);
}

void tst_ControllerState::setNewDbPath_recordsOnlyNewObjects()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    QSignalSpy writes(&fixture.store(), &UserDefaults::valueChanged);

    const String name = makeString("castle.db.new");
    controller.setNewDbPath(name);
    QCOMPARE(writes.count(), 1);
    QCOMPARE(fixture.store().stringForKey(MOOLastDBName).value_or(""), "castle.db.new");

    controller.setNewDbPath(name);
    QCOMPARE(writes.count(), 1); // the held object again writes nothing

    fixture.store().setString(MOOLastDBName, "changed elsewhere");
    writes.clear();
    controller.setNewDbPath(makeString("castle.db.new")); // equal name, new object
    QCOMPARE(writes.count(), 1);
    QCOMPARE(fixture.store().stringForKey(MOOLastDBName).value_or(""), "castle.db.new");

    controller.setNewDbPath(nullptr); // none is stored but never removes the key
    QVERIFY(!controller.newDbPath());
    QCOMPARE(fixture.store().stringForKey(MOOLastDBName).value_or(""), "castle.db.new");
}

void tst_ControllerState::setIsMooRunning_absentStoresFalse()
{
    MooController controller;
    QSignalSpy spy(&controller, &MooController::isMooRunningChanged);
    controller.setIsMooRunning(true);
    QVERIFY(controller.isMooRunning());
    controller.setIsMooRunning(true);
    QCOMPARE(spy.count(), 1); // no change, no signal
    controller.setIsMooRunning(std::nullopt);
    QVERIFY(!controller.isMooRunning());
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.last().first().toBool(), false);
}

void tst_ControllerState::setOutputString_oldTextFreedOnceUnread()
{
    MooController controller;
    std::weak_ptr<const LogText> watched = controller.outputString();
    {
        const LogTextPtr reader = controller.outputString();
        controller.setOutputString(LogText::create()->appending("new"));
        QVERIFY(!watched.expired()); // a reader still holds it
        QCOMPARE(reader->length(), 0);
    }
    QVERIFY(watched.expired());
}

void tst_ControllerState::logText_olderReaderKeepsItsCharacters()
{
    const LogTextPtr first = LogText::create()->appending("abc");
    const LogTextPtr second = first->appending("def");
    const LogTextPtr branch = first->appending("XYZ"); // the buffer already holds "def"
    QCOMPARE(first->toQString(), QStringLiteral("abc"));
    QCOMPARE(second->toQString(), QStringLiteral("abcdef"));
    QCOMPARE(branch->toQString(), QStringLiteral("abcXYZ"));

    // Across the buffer's block boundaries, and every byte value as one character.
    std::string big(3 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char(i % 256);
    const LogTextPtr large = second->appending(big)->appending("end");
    QCOMPARE(large->length(), qsizetype(6 + big.size() + 3));
    QCOMPARE(large->bytes(6, qsizetype(big.size())), big);
    QCOMPARE(large->mid(6 + 255, 1).at(0).unicode(), ushort(255));
    QCOMPARE(second->toQString(), QStringLiteral("abcdef"));
}

void tst_ControllerState::teardown_noNoticeReachesController()
{
    NotificationCenter &center = NotificationCenter::defaultCenter();
    const std::size_t before = center.observerCount();
    const QTemporaryDir folder;
    UserDefaults store(osPath(folder.filePath(QStringLiteral("paddock.conf"))));
    UserDefaultsController prefs(store);
    store.setString(MOOExecutableURL, standInServerPath());
    auto controller = std::make_unique<MooController>();
    controller->connectOutlets(&prefs, nullptr, nullptr);
    controller->awakeFromNib();
    controller->setDbPath(makeString(writeDatabase(folder.path(), "in.db", "stdout up\n")));
    controller->setNewDbPath(makeString("out.db"));
    controller->runMoo();
    const std::shared_ptr<Task> server = controller->task();
    QVERIFY(server && server->isRunning());

    // The server outlives its controller; its output and its end come after the teardown and
    // must reach nobody (the sanitizers would see a late one). Once the server's watch, which
    // tidies up after it, has gone too, no subscription is left: not one of the controller's,
    // also not the one bound to the server that this test keeps alive.
    controller.reset();
    TerminationWatch ended(server);
    QVERIFY(server->kill());
    QVERIFY(ended.wait());
    QTRY_COMPARE_WITH_TIMEOUT(center.observerCount(), before + 1, 10000); // the test's own
    reapChildren();
}

PADDOCK_TEST_MAIN(tst_ControllerState)
#include "tst_controllerstate.moc"

// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "FileHandle.h"
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
    auto controller = std::make_unique<MooController>();
    controller->awakeFromNib();
    const std::size_t before = NotificationCenter::defaultCenter().observerCount();
    controller.reset();
    QVERIFY(NotificationCenter::defaultCenter().observerCount() < before);
    // A read completion after teardown must reach nobody (the sanitizers would see it).
    QVariantMap info;
    info.insert(FileHandleNotificationDataItem, QByteArray("late"));
    NotificationCenter::defaultCenter().post(
        Notification{FileHandleReadCompletionNotification, nullptr, info});
}

PADDOCK_TEST_MAIN(tst_ControllerState)
#include "tst_controllerstate.moc"

// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include "Interface.h"
#include "LogWindow.h"
#include "MooController.h"
#include "SettingsKeys.h"
#include "SingleInstance.h"
#include "UserDefaults.h"
#include "WorldServers.h"
#include "Worlds.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QRegularExpression>

using namespace paddock;
using namespace paddock::test;

namespace {

const QString First = QStringLiteral("First world");
const QString Copy = QStringLiteral("Test copy");
const QString CopyId = QStringLiteral("World2");

// The settings of the world called name: the first world's are the standard store's own keys.
void setWorldSetting(const QString &name, const QString &key, const std::string &value)
{
    UserDefaults &store = UserDefaults::standardUserDefaults();
    if (name == First)
        store.setString(key, value);
    else
        Worlds(store).settings(CopyId)->setString(key, value);
}

// A Paddock in this process with two worlds on the stand-in, each with a database in a folder
// of its own, answering on the private runtime folder's socket as the real one does.
struct RunningPaddock {
    RunningPaddock(const QByteArray &firstScript, const QByteArray &copyScript)
    {
        Worlds worlds(UserDefaults::standardUserDefaults());
        if (!worlds.contains(CopyId))
            QCOMPARE(worlds.add(Copy), std::optional<QString>(CopyId));
        for (const auto &[name, script] :
             {std::pair(First, firstScript), std::pair(Copy, copyScript)}) {
            const QString world = folder.filePath(name == First ? QStringLiteral("first") : CopyId);
            QDir().mkpath(world);
            setWorldSetting(name, MOOExecutableURL, standInServerPath());
            setWorldSetting(name, MOONewDBNameFormat, "%@.new");
            setWorldSetting(name, MOOLastDBName,
                            writeDatabase(world, "castle.db", script.toStdString()));
        }
    }
    // Every server ends before the Paddock that runs it: none outlives the test.
    ~RunningPaddock()
    {
        if (!interface)
            return;
        QList<const MooController *> controllers;
        for (const QString &id : interface->worlds().ids())
            controllers.append(&interface->worldServers().server(id)->controller());
        if (!endRuns(controllers))
            qWarning("A server's output was still open when the test ended");
    }
    Q_DISABLE_COPY_MOVE(RunningPaddock)
    void open()
    {
        interface = std::make_unique<Interface>();
        interface->setStopGracePeriod(std::chrono::milliseconds(1000));
        QVERIFY(instance.claim());
        instance.setRequestHandler([this](const QString &verb, const QJsonObject &request,
                                          const SingleInstance::Respond &respond) {
            interface->answerRequest(verb, request, respond);
        });
    }
    // The answer to a request made in this process, once it has come; empty for an error.
    QJsonObject ask(const QString &verb, const QString &world = {})
    {
        std::optional<SingleInstance::Answer> answer;
        QJsonObject request{{QStringLiteral("request"), verb}};
        if (!world.isEmpty())
            request[QStringLiteral("world")] = world;
        interface->answerRequest(
            verb, request, [&answer](const SingleInstance::Answer &given) { answer = given; });
        if (!QTest::qWaitFor([&answer] { return answer.has_value(); }, 20000) ||
            !std::holds_alternative<QJsonObject>(*answer))
            return {};
        return std::get<QJsonObject>(*answer);
    }
    QStringList running()
    {
        QStringList names;
        for (const QJsonValue world :
             ask(QStringLiteral("status"))[QStringLiteral("worlds")].toArray())
            if (world[QStringLiteral("pid")].isDouble())
                names.append(world[QStringLiteral("name")].toString());
        return names;
    }

    QTemporaryDir folder;
    std::unique_ptr<Interface> interface;
    SingleInstance instance;
};

} // namespace

class tst_Remote final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void commands_againstARunningPaddock_data();
    void commands_againstARunningPaddock();
    void status_twoWorldsAsJson_firstWorldsFieldsAndEachWorld();
};

void tst_Remote::commands_againstARunningPaddock_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("firstScript");
    QTest::addColumn<QByteArray>("copyScript");
    // "VERB WORLD", asked in this process first; "ready WORLD" waits until its server listens,
    // its script's earlier commands done (a signal before them would end it).
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("setting"); // KEY=VALUE for the world named last; {copy}: its folder
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("said"); // a pattern for what it printed
    QTest::addColumn<QStringList>("runningAfter");
    const auto args = [](const char *verb, const QString &world = {}) {
        QStringList list{QString::fromLatin1(verb)};
        if (!world.isEmpty())
            list.append(world);
        return list;
    };
    const QString startCopy = QStringLiteral("start Test copy");
    const QByteArray idle, listening("listen 0\n");
    QTest::newRow("start from the last output, in another case")
        << args("start", QStringLiteral("test COPY")) << idle << listening
        << QStringList{startCopy, QStringLiteral("ready Test copy"),
                       QStringLiteral("stop Test copy")}
        << QString() << 0
        << QStringLiteral("^“Test copy” runs, PID \\d+, on “/.*/World2/castle\\.db\\.new”\\.$")
        << QStringList{Copy};
    QTest::newRow("start, running already")
        << args("start", Copy) << idle << idle << QStringList{startCopy} << QString() << 1
        << QStringLiteral("^“Test copy” runs a server already\\.$") << QStringList{Copy};
    QTest::newRow("start, a clash, as the window says it")
        << args("start", First) << idle << idle << QStringList{startCopy}
        << QStringLiteral("MOOLastDBName={copy}/castle.db") << 1
        << QStringLiteral("^The server could not be started\\. The world “Test copy” has its "
                          "databases in")
        << QStringList{Copy};
    QTest::newRow("start, a risk nobody can accept here")
        << args("start", First) << idle << idle << QStringList()
        << QStringLiteral("MOONewDBNameFormat=%@") << 1
        << QStringLiteral("^The server could not be started\\. The output name “castle\\.db” is "
                          "the database the server runs on: .*nobody was asked")
        << QStringList();
    QTest::newRow("start, no executable")
        << args("start", Copy) << idle << idle << QStringList()
        << QStringLiteral("MOOExecutableURL=") << 1
        << QStringLiteral("^No MOO server program is chosen for “Test copy”") << QStringList();
    QTest::newRow("start, its folder gone")
        << args("start", Copy) << idle << idle << QStringList()
        << QStringLiteral("MOOLastDBName={copy}/gone/castle.db") << 1
        << QStringLiteral("^The database “Test copy” would start from, “/.*/gone/castle\\.db”, is "
                          "not there")
        << QStringList();
    QTest::newRow("stop") << args("stop", Copy) << idle << idle << QStringList{startCopy}
                          << QString() << 0
                          << QStringLiteral("^The server of “Test copy” has stopped\\.$")
                          << QStringList();
    QTest::newRow("stop, not ending within the grace period, not forced")
        << args("stop", First) << QByteArray("ignore-term\n" + listening) << idle
        << QStringList{QStringLiteral("start First world"), QStringLiteral("ready First world")}
        << QString() << 1
        << QStringLiteral("^The server of “First world” has not stopped in the 1 s")
        << QStringList{First};
    QTest::newRow("stop, none running")
        << args("stop", Copy) << idle << idle << QStringList() << QString() << 0
        << QStringLiteral("^“Test copy” runs no server\\.$") << QStringList();
    QTest::newRow("checkpoint") << args("checkpoint", Copy) << idle
                                << QByteArray("usr2-handler\n" + listening)
                                << QStringList{startCopy, QStringLiteral("ready Test copy")}
                                << QString() << 0
                                << QStringLiteral("^“Test copy” was asked for a checkpoint")
                                << QStringList{Copy};
    QTest::newRow("checkpoint, not caught")
        << args("checkpoint", Copy) << idle << idle << QStringList{startCopy} << QString() << 1
        << QStringLiteral("^The checkpoint request could not be sent\\. The server does not "
                          "handle SIGUSR2")
        << QStringList{Copy};
    QTest::newRow("unknown world")
        << args("stop", QStringLiteral("Live")) << idle << idle << QStringList{startCopy}
        << QString() << 2
        << QStringLiteral("^Paddock has no world called “Live”; its worlds are “First world”, "
                          "“Test copy”\\.$")
        << QStringList{Copy};
    QTest::newRow("no world named among several")
        << args("checkpoint") << idle << idle << QStringList() << QString() << 2
        << QStringLiteral("^Paddock keeps several worlds: name one of") << QStringList();
    QTest::newRow("status, a line for each world")
        << args("status") << idle << idle << QStringList{startCopy} << QString() << 0
        << QStringLiteral("^First world: No server is running\\.\\nTest copy: Running, PID \\d+")
        << QStringList{Copy};
    QTest::newRow("status of one world, none running there")
        << args("status", First) << idle << idle << QStringList{startCopy} << QString() << 3
        << QStringLiteral("^No server is running\\.$") << QStringList{Copy};
    QTest::newRow("status of an unknown world")
        << args("status", QStringLiteral("Live")) << idle << idle << QStringList() << QString() << 2
        << QStringLiteral("^Paddock has no world called “Live”") << QStringList();
}

void tst_Remote::commands_againstARunningPaddock()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, firstScript);
    QFETCH(QByteArray, copyScript);
    QFETCH(QStringList, before);
    QFETCH(QString, setting);
    QFETCH(int, exitStatus);
    QFETCH(QString, said);
    QFETCH(QStringList, runningAfter);
    RunningPaddock paddock(firstScript, copyScript);
    if (!setting.isEmpty())
        setWorldSetting(arguments.constLast(), setting.section(u'=', 0, 0),
                        osPath(setting.section(u'=', 1).replace(QStringLiteral("{copy}"),
                                                                paddock.folder.filePath(CopyId))));
    paddock.open();
    for (const QString &request : before) {
        const QString verb = request.section(u' ', 0, 0), world = request.section(u' ', 1);
        if (verb == QStringLiteral("ready")) {
            QTRY_VERIFY_WITH_TIMEOUT(
                !paddock.ask(QStringLiteral("status"), world)[QStringLiteral("ports")]
                     .toArray()
                     .isEmpty(),
                10000);
            continue;
        }
        const QJsonObject answer = paddock.ask(verb, world);
        QVERIFY2(answer[QStringLiteral("done")].toBool(),
                 qPrintable(request + u' ' + answer[QStringLiteral("message")].toString()));
    }

    const ProgramAnswer answer = runServing(QStringLiteral(PADDOCK_PATH), arguments);
    // Only one of the two streams is written to: the outcome, or why there is none.
    const QString shown = QString::fromLocal8Bit(answer.out + answer.err).trimmed();
    QVERIFY2(answer.status == exitStatus,
             qPrintable(QString::number(answer.status) + u' ' + shown));
    QVERIFY2(QRegularExpression(said).match(shown).hasMatch(), qPrintable(shown));
    QCOMPARE(paddock.running(), runningAfter);
    // A start refused for the window's world says there what it says here, word for word.
    const auto *box =
        paddock.interface->logWindow().findChild<QMessageBox *>(QStringLiteral("failureMessage"));
    QCOMPARE(bool(box), said.contains(QStringLiteral("could not be started")));
    if (box)
        QCOMPARE(shown, box->text() + u' ' + box->informativeText());
}

void tst_Remote::status_twoWorldsAsJson_firstWorldsFieldsAndEachWorld()
{
    RunningPaddock paddock({}, {});
    paddock.open();
    QVERIFY(paddock.ask(QStringLiteral("start"), Copy)[QStringLiteral("done")].toBool());
    const ProgramAnswer answer = runServing(QStringLiteral(PADDOCK_PATH),
                                            {QStringLiteral("status"), QStringLiteral("--json")});
    QCOMPARE(answer.status, 0); // a server runs, though not the first world's
    const QJsonObject report = QJsonDocument::fromJson(answer.out).object();
    // The first world's fields at the top, as a script reading one world expects them.
    QCOMPARE(report[QStringLiteral("state")].toString(), QStringLiteral("stopped"));
    QVERIFY(report[QStringLiteral("pid")].isNull());
    const QJsonArray worlds = report[QStringLiteral("worlds")].toArray();
    QCOMPARE(worlds.size(), 2);
    QCOMPARE(worlds[0][QStringLiteral("name")].toString(), First);
    QCOMPARE(worlds[0][QStringLiteral("state")].toString(), QStringLiteral("stopped"));
    QCOMPARE(worlds[1][QStringLiteral("name")].toString(), Copy);
    QCOMPARE(worlds[1][QStringLiteral("state")].toString(), QStringLiteral("running"));
    QVERIFY(worlds[1][QStringLiteral("database")].toString().endsWith(
        QStringLiteral("/World2/castle.db")));
}

PADDOCK_WIDGETS_TEST_MAIN(tst_Remote)
#include "tst_remote.moc"

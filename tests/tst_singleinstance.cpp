// SPDX-License-Identifier: MIT
#include "SingleInstance.h"
#include "TestSupport.h"
#include "WidgetTestSupport.h"

#include "DescriptorPassing.h"
#include "Interface.h"
#include "KeeperClient.h"
#include "MooController.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "SettingsKeys.h"
#include "SystemError.h"
#include "UserDefaults.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <atomic>
#include <cstring>
#include <latch>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

class tst_SingleInstance final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void secondPaddock_asksTheFirstForwardAndExits();
    void staleSocket_doesNotBlockANewPaddock();
    void runtimeFolder_anyLength_oneListenerOrSaysWhyNot_data();
    void runtimeFolder_anyLength_oneListenerOrSaysWhyNot();
    void claimsAtOnce_exactlyOneWins();
    void paddocksStartedTogether_exactlyOneKeepsRunning();
    void status_commandLine_answersForTheRunningPaddock_data();
    void status_commandLine_answersForTheRunningPaddock();
};

void tst_SingleInstance::secondPaddock_asksTheFirstForwardAndExits()
{
    SingleInstance first;
    QVERIFY(!SingleInstance::defaultPath().isEmpty());
    QVERIFY(first.claim());
    QSignalSpy asked(&first, &SingleInstance::activationRequested);

    // The real program, in the same private runtime folder (the environment is inherited).
    QProcess second;
    second.start(QStringLiteral(PADDOCK_PATH), {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 10000);
}

void tst_SingleInstance::staleSocket_doesNotBlockANewPaddock()
{
    // A socket file no one listens on, as a crashed Paddock leaves it.
    const QByteArray path = QFile::encodeName(SingleInstance::defaultPath());
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
    }
    SingleInstance paddock;
    QVERIFY(paddock.claim());
    SingleInstance later;
    QSignalSpy asked(&paddock, &SingleInstance::activationRequested);
    QVERIFY(!later.claim());
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 10000);
}

void tst_SingleInstance::runtimeFolder_anyLength_oneListenerOrSaysWhyNot_data()
{
    QTest::addColumn<int>("length"); // of the runtime folder's name below a temporary folder
    QTest::addColumn<bool>("usable");
    QTest::newRow("short") << 3 << true;
    QTest::newRow("past a socket address's 108 bytes") << 150 << true;
    QTest::newRow("its paddock folder is a file") << 3 << false;
}

void tst_SingleInstance::runtimeFolder_anyLength_oneListenerOrSaysWhyNot()
{
    QFETCH(int, length);
    QFETCH(bool, usable);
    QTemporaryDir base;
    const QByteArray runtime = QFile::encodeName(base.path()) + '/' + QByteArray(length, 'r');
    QVERIFY(::mkdir(runtime.constData(), 0700) == 0);
    if (!usable)
        QVERIFY(writeFile(QFile::decodeName(runtime) + QStringLiteral("/paddock"), "not a folder"));
    const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime);
    const std::string keeperSocket = keeperSocketPath(4242).path;
    const QString instanceSocket = SingleInstance::defaultPath();
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_RUNTIME_DIR", before);
        // A long runtime folder's sockets lie in a shared short folder: leave nothing there.
        ::unlink(keeperSocket.c_str());
        if (!instanceSocket.isEmpty())
            QFile::remove(instanceSocket + QStringLiteral(".lock"));
        ::rmdir(("/tmp/paddock-" + std::to_string(::geteuid())).c_str());
    });

    SingleInstance first;
    QVERIFY(first.claim());
    if (!usable) {
        // Paddock runs all the same, but says that a second one could start beside it.
        QVERIFY2(first.problem().contains(u"not a folder"), qPrintable(first.problem()));
        QVERIFY(contains(keeperSocketPath(4242).problem, "not a folder"));
        return;
    }
    QCOMPARE(first.problem(), QString());
    SingleInstance later;
    QSignalSpy asked(&first, &SingleInstance::activationRequested);
    QVERIFY(!later.claim());
    QTRY_COMPARE_WITH_TIMEOUT(asked.count(), 1, 10000);

    // A keeper can listen there too, in a folder only this user can reach.
    int error = 0;
    const UniqueFd keeper = listenUnixSocket(keeperSocket, error);
    QVERIFY2(keeper, errorText(error).c_str());
    QCOMPARE(checkPrivateFolder(keeperSocket.substr(0, keeperSocket.rfind('/'))), std::string());
    QVERIFY(connectUnixSocket(keeperSocket, 1000, error));
}

void tst_SingleInstance::claimsAtOnce_exactlyOneWins()
{
    // Threads let the claims meet at the same moment, which processes starting up rarely do;
    // each opens its own lock file description, so they contend as processes would.
    QTemporaryDir folder;
    const QString socket = folder.filePath(QStringLiteral("paddock.socket"));
    constexpr int Count = 8;
    for (int round = 0; round < 100; ++round) {
        std::latch ready(Count), claimed(Count);
        std::atomic<int> won = 0;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int i = 0; i < Count; ++i) {
            threads.emplace_back(QThread::create([&] {
                SingleInstance instance(socket);
                ready.arrive_and_wait();
                won += instance.claim() ? 1 : 0;
                claimed.arrive_and_wait(); // the winner listens until every claim is made
            }));
            threads.back()->start();
        }
        for (const auto &thread : threads)
            QVERIFY(thread->wait(30000));
        QCOMPARE(won.load(), 1);
    }
}

void tst_SingleInstance::paddocksStartedTogether_exactlyOneKeepsRunning()
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
        environment.insert(QString::fromLatin1(name), home.path());
    const QString socket = home.path() + QStringLiteral("/paddock/paddock.socket");
    constexpr int Count = 5;
    // The second round meets the socket the killed first one left.
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<QProcess>> paddocks;
        const auto reap = qScopeGuard([&paddocks] {
            for (const auto &paddock : paddocks) {
                paddock->kill();
                paddock->waitForFinished(20000);
            }
        });
        for (int i = 0; i < Count; ++i) {
            paddocks.push_back(std::make_unique<QProcess>());
            paddocks.back()->setProcessEnvironment(environment);
            paddocks.back()->start(QStringLiteral(PADDOCK_PATH), {});
        }
        const auto finished = [&paddocks] {
            return std::count_if(paddocks.begin(), paddocks.end(), [](const auto &paddock) {
                return paddock->state() == QProcess::NotRunning;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(finished(), Count - 1, 30000);
        for (const auto &paddock : paddocks)
            if (paddock->state() == QProcess::NotRunning)
                QVERIFY(paddock->error() == QProcess::UnknownError && paddock->exitCode() == 0);
        // The one left is the Paddock: it answers there. Killed, it leaves its socket behind
        // for the next round.
        SingleInstance asker(socket);
        QVERIFY(!asker.claim());
    }
}

void tst_SingleInstance::status_commandLine_answersForTheRunningPaddock_data()
{
    QTest::addColumn<bool>("paddock");
    QTest::addColumn<QByteArray>("script"); // the server's; empty: none runs
    QTest::addColumn<int>("exitStatus");
    QTest::addColumn<QString>("line"); // a pattern; %1 stands for the server's PID
    QTest::addColumn<QString>("state");
    QTest::newRow("no Paddock") << false << QByteArray() << 4
                                << QStringLiteral("^Paddock is not running\\.$") << QString();
    QTest::newRow("Paddock, no server")
        << true << QByteArray() << 3 << QStringLiteral("^No server is running\\.$")
        << QStringLiteral("stopped");
    QTest::newRow("a server with players")
        << true << QByteArray("listen 0\nlogin Wizard 2\nlogin Ann 5\nlogout Ann 5\nlogin Bob 6\n")
        << 0
        << QStringLiteral("^Running, PID %1, since \\S+; listening on \\d+; 2 players on; "
                          "database /.*/in\\.db$")
        << QStringLiteral("running");
}

void tst_SingleInstance::status_commandLine_answersForTheRunningPaddock()
{
    QFETCH(bool, paddock);
    QFETCH(QByteArray, script);
    QFETCH(int, exitStatus);
    QFETCH(QString, line);
    QFETCH(QString, state);
    std::unique_ptr<Interface> interface;
    SingleInstance instance;
    QSignalSpy forward(&instance, &SingleInstance::activationRequested);
    int pid = 0;
    if (paddock) {
        interface = std::make_unique<Interface>();
        QVERIFY(instance.claim());
        Interface &answering = *interface;
        instance.setRequestHandler([&answering](const QString &verb, const QJsonObject &request,
                                                const SingleInstance::Respond &respond) {
            answering.answerRequest(verb, request, respond);
        });
    }
    const auto reap = qScopeGuard([&interface] {
        if (interface)
            reapTasks({interface->controller().task()});
    });
    QTemporaryDir folder;
    if (!script.isEmpty()) {
        MooController &controller = interface->controller();
        UserDefaults::standardUserDefaults().setString(MOOExecutableURL, standInServerPath());
        controller.setDbPath(
            makeString(writeDatabase(folder.path(), "in.db", script.toStdString())));
        controller.setNewDbPath(makeString("out.db"));
        QVERIFY(interface->perform([&controller] { controller.runMoo(); }));
        pid = controller.task()->processIdentifier();
        QTRY_VERIFY_WITH_TIMEOUT(
            interface->players().count() == 2 && !interface->life().ports().isEmpty(), 10000);
    }

    // The real program, in the same private runtime folder; this event loop answers it.
    const auto ask = [](const QStringList &arguments) {
        const ProgramAnswer answer = runServing(QStringLiteral(PADDOCK_PATH), arguments);
        return std::pair(answer.status, answer.out);
    };
    const auto [plainStatus, plain] = ask({QStringLiteral("status")});
    QCOMPARE(plainStatus, exitStatus);
    QVERIFY2(
        QRegularExpression(line.arg(pid)).match(QString::fromLocal8Bit(plain).trimmed()).hasMatch(),
        plain.constData());

    const auto [jsonStatus, json] = ask({QStringLiteral("status"), QStringLiteral("--json")});
    QCOMPARE(jsonStatus, exitStatus);
    const QJsonObject report = QJsonDocument::fromJson(json).object();
    QCOMPARE(report.value(QStringLiteral("state")).toString(), state);
    QVERIFY(!report.contains(QStringLiteral("worlds"))); // one world: as before there were several
    if (paddock) {
        QVERIFY(report.value(QStringLiteral("responding")).isNull());
        QCOMPARE(report.value(QStringLiteral("pid")).toInt(), pid);
        QCOMPARE(report.value(QStringLiteral("players")).isNull(), pid == 0);
        QCOMPARE(report.value(QStringLiteral("players")).toInt(), pid ? 2 : 0);
        QCOMPARE(report.value(QStringLiteral("ports")).toArray().isEmpty(), pid == 0);
        QCOMPARE(
            QDateTime::fromString(report.value(QStringLiteral("started")).toString(), Qt::ISODate)
                .isValid(),
            pid != 0);
    }
    // Asking is no request to come forward.
    QCOMPARE(forward.count(), 0);
}

PADDOCK_WIDGETS_TEST_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"

// SPDX-License-Identifier: MIT
#include "EmergencyConsole.h"
#include "InputPipe.h"
#include "LogWindow.h"
#include "Run.h"
#include "ServerLife.h"
#include "ServerStatus.h"
#include "WidgetTestSupport.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

class tst_Emergency final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void inputPipe_neverBlocksNorRaisesSigpipe_data();
    void inputPipe_neverBlocksNorRaisesSigpipe();
    void console_roundTrip_promptAnswersHistoryAndProgram();
    void wayOut_data();
    void wayOut();
    void reattach_afterLauncherKilled_consoleBackAndServerStillInTheMode();
};

namespace {

constexpr int Deadline = 10000;
const std::string Prompt = "MOO (#2): ";

// A controller with the window and the console it shows, and the server's life.
struct EmergencyWorld {
    ControllerFixture fixture;
    LogWindow window;
    EmergencyConsole *console = EmergencyConsole::addTo(window, fixture.controller());
    ServerLife life{fixture.controller()};
    ServerStatus status{fixture.controller(), life};

    EmergencyWorld() { window.show(); }
    ~EmergencyWorld() { fixture.reapAll(); }
    bool startOn(const std::string &script)
    {
        const std::string db = writeDatabase(fixture.folder(), "castle.db", script);
        return fixture.controller().startInEmergencyMode(db);
    }
    // The first prompt is in the log. Not necessarily at its end: what the server writes on its
    // error stream meanwhile (its start-up lines) may be read after it.
    bool promptShown() const { return contains(fixture.log(), Prompt); }
    void type(const QString &line) const
    {
        console->input()->insert(line); // keyClicks takes Latin-1 alone
        QTest::keyClick(console->input(), Qt::Key_Return);
    }
    bool consoleShown() const { return console->isVisibleTo(&window) && console->run(); }
};

} // namespace

void tst_Emergency::inputPipe_neverBlocksNorRaisesSigpipe_data()
{
    QTest::addColumn<qsizetype>("bytes");
    QTest::addColumn<bool>("readerGone");
    QTest::newRow("a line") << qsizetype(10) << false;
    QTest::newRow("more than the pipe holds, queued and in order") << (qsizetype(1) << 20) << false;
    QTest::newRow("reader gone: EPIPE, not SIGPIPE") << qsizetype(10) << true;
}

void tst_Emergency::inputPipe_neverBlocksNorRaisesSigpipe()
{
    QFETCH(qsizetype, bytes);
    QFETCH(bool, readerGone);
    const std::shared_ptr<InputPipe> pipe = InputPipe::create();
    QSignalSpy failed(pipe.get(), &InputPipe::failed);
    const int reader = pipe->readDescriptor();
    if (readerGone)
        pipe->closeReadEnd();
    const QByteArray sent = QByteArray::fromStdString(patterned(std::size_t(bytes)));
    // Returns at once whatever the pipe can take; the rest goes as the reader reads.
    QVERIFY(pipe->write(sent));
    if (readerGone) {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), EPIPE);
        QVERIFY(!pipe->isOpen() && !pipe->write("more"));
        return;
    }
    QByteArray received;
    QSocketNotifier readable(reader, QSocketNotifier::Read);
    connect(&readable, &QSocketNotifier::activated, [&] {
        char buffer[65536];
        const ssize_t got = ::read(reader, buffer, sizeof buffer);
        if (got > 0)
            received.append(buffer, got);
    });
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), sent.size(), Deadline);
    QVERIFY(received == sent);
    QCOMPARE(pipe->pending(), 0);
    QCOMPARE(failed.count(), 0);
}

void tst_Emergency::console_roundTrip_promptAnswersHistoryAndProgram()
{
    EmergencyWorld world;
    QVERIFY(world.startOn(""));
    QVERIFY(world.consoleShown());
    QTRY_VERIFY2_WITH_TIMEOUT(world.promptShown(), world.fixture.log().c_str(), Deadline);

    // Sent as typed, UTF-8 and all; answered in the log, the next prompt after it.
    world.type(QStringLiteral(";\"caf\u00e9\""));
    QTRY_VERIFY_WITH_TIMEOUT(contains(world.fixture.log(), "=> \"caf\xc3\xa9\"\n" + Prompt),
                             Deadline);
    world.type(QStringLiteral(";2 + 2"));
    QTRY_VERIFY_WITH_TIMEOUT(contains(world.fixture.log(), "=> 2 + 2\n" + Prompt), Deadline);

    // Up and Down walk the lines sent, back to what was being typed.
    QLineEdit *input = world.console->input();
    QTest::keyClicks(input, QStringLiteral("draft"));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral(";2 + 2"));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral(";\"caf\u00e9\""));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral(";\"caf\u00e9\""));
    QTest::keyClick(input, Qt::Key_Down);
    QTest::keyClick(input, Qt::Key_Down);
    QCOMPARE(input->text(), QStringLiteral("draft"));
    input->clear();

    // A program goes line by line up to ".", and "quit" inside it is code, not a stop.
    for (const char *line : {"program #0:server_started", "quit", "."})
        world.type(QString::fromLatin1(line));
    QTRY_VERIFY_WITH_TIMEOUT(contains(world.fixture.log(), "Verb programmed (1 lines)."), Deadline);
    QVERIFY(world.fixture.controller().run()->inEmergencyMode());
    QVERIFY(!world.fixture.controller().run()->stopRequested());
}

void tst_Emergency::wayOut_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<bool>("keepsRunning");
    QTest::addColumn<bool>("outputWritten");
    QTest::newRow("continue, then it listens") << "continue" << true << false;
    QTest::newRow("quit and save") << "quit" << false << true;
    QTest::newRow("abort, only after the question") << "abort" << false << false;
    QTest::newRow("Stop sends quit") << "stop" << false << true;
    QTest::newRow("quit typed") << "typed quit" << false << true;
    QTest::newRow("Paddock quits: the server quits, saving")
        << "Quit Server and Save" << false << true;
    QTest::newRow("Paddock quits: the start-up goes on") << "Continue Start-up" << true << false;
}

void tst_Emergency::wayOut()
{
    QFETCH(QString, way);
    QFETCH(bool, keepsRunning);
    QFETCH(bool, outputWritten);
    EmergencyWorld world;
    // Started as usual, the stand-in listens at once; here only once the mode is left.
    QVERIFY(world.startOn("listen 0\n"));
    Run *run = world.fixture.controller().run();
    QTRY_VERIFY_WITH_TIMEOUT(world.promptShown(), Deadline);
    QVERIFY(!contains(world.fixture.log(), "LISTEN"));
    QCOMPARE(world.status.text(), ServerStatus::emergencyText(run->processIdentifier()));
    QSignalSpy left(run, &Run::emergencyModeLeft);

    if (way == QStringLiteral("continue")) {
        world.console->continueButton()->click();
    } else if (way == QStringLiteral("quit")) {
        world.console->quitButton()->click();
    } else if (way == QStringLiteral("typed quit")) {
        world.type(QStringLiteral("quit"));
    } else if (way == QStringLiteral("abort")) {
        bool asked = false;
        answerNextQuestion(QStringLiteral("abortQuestion"), QStringLiteral("Cancel"), &asked);
        world.console->abortButton()->click();
        QVERIFY(asked);
        QVERIFY(run->inEmergencyMode() && world.consoleShown());
        asked = false;
        answerNextQuestion(QStringLiteral("abortQuestion"), QStringLiteral("Abort Without Saving"),
                           &asked);
        world.console->abortButton()->click();
        QVERIFY(asked);
    } else if (way.endsWith(QStringLiteral("Start-up")) || way.endsWith(QStringLiteral("Save"))) {
        // Asked each time; Cancel keeps the window, and the server in the mode.
        world.window.setServerRunning(true);
        bool asked = false;
        answerNextQuestion(QStringLiteral("emergencyQuitQuestion"), QStringLiteral("Cancel"),
                           &asked);
        QVERIFY(!world.window.close());
        QVERIFY(asked);
        QVERIFY(run->inEmergencyMode() && world.consoleShown());
        asked = false;
        answerNextQuestion(QStringLiteral("emergencyQuitQuestion"), way, &asked);
        QVERIFY(world.window.close());
        QVERIFY(asked);
    } else {
        // SIGTERM would go unread in the mode: a stop that sent it would wait for ever.
        const int pid = run->processIdentifier();
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [pid] { ::kill(pid, SIGKILL); });
        watchdog.start(Deadline);
        world.life.stop();
    }

    QTRY_VERIFY_WITH_TIMEOUT(!world.console->run() && !world.console->isVisibleTo(&world.window),
                             Deadline);
    QTRY_VERIFY_WITH_TIMEOUT(run->hasEnded() != keepsRunning, Deadline);
    QVERIFY(!left.isEmpty());
    if (keepsRunning) {
        QTRY_VERIFY_WITH_TIMEOUT(contains(world.fixture.log(), "LISTEN: #0 now listening"),
                                 Deadline);
        QVERIFY2(world.status.text().startsWith(QStringLiteral("Running, PID ")),
                 qPrintable(world.status.text()));
        QVERIFY(!run->sendInput("quit\n"));
    } else {
        QCOMPARE(world.life.end(), ServerEnd::Stopped);
    }
    QCOMPARE(QFile::exists(qtPath(run->outputPath())), outputWritten);
}

void tst_Emergency::reattach_afterLauncherKilled_consoleBackAndServerStillInTheMode()
{
    QTemporaryDir dir;
    const std::string db = writeDatabase(dir.path(), "castle.db", "");
    const int server = launchInAnotherProcessAndKillIt(QStringLiteral(STRESS_LAUNCHER_PATH), db,
                                                       {QStringLiteral("-e")});
    QVERIFY(server > 0);
    const auto killServer = qScopeGuard([server] { ::kill(server, SIGKILL); });
    // The keeper writes the prompt to the log file: the server waits in the mode, its input
    // still open although the Paddock that started it is gone.
    const QString logFile = dir.filePath(QStringLiteral("server.log"));
    QTRY_VERIFY_WITH_TIMEOUT(readFile(logFile).contains(QByteArray::fromStdString(Prompt)),
                             Deadline);

    EmergencyWorld world;
    world.fixture.controller().reattach();
    QVERIFY(world.fixture.controller().isMooRunning());
    QCOMPARE(world.fixture.controller().task()->processIdentifier(), server);
    QVERIFY(world.consoleShown());
    QCOMPARE(world.status.text(), ServerStatus::emergencyText(server));
    world.type(QStringLiteral(";7"));
    QTRY_VERIFY_WITH_TIMEOUT(contains(world.fixture.log(), "=> 7\n" + Prompt), Deadline);
    world.console->quitButton()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!isProcessAlive(server), Deadline);
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("castle.db.new"))));
}

PADDOCK_WIDGETS_TEST_MAIN(tst_Emergency)
#include "tst_emergency.moc"

// SPDX-License-Identifier: MIT
#include "DescriptorIo.h"
#include "LogFileOrder.h"
#include "TestSupport.h"

#include <QSignalSpy>

#include <atomic>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>

using namespace paddock;
using namespace paddock::test;

namespace {

// Everything the read ends deliver, per read end and in delivery order, copied as it
// arrives (so the handles' own buffers are never held).
class ChunkRecorder final {
public:
    ChunkRecorder()
    {
        NotificationCenter::defaultCenter().addObserver(
            this,
            [this](const Notification &n) {
                ++notices;
                const auto item = n.userInfo.constFind(FileHandleNotificationDataItem);
                if (item == n.userInfo.constEnd()) {
                    ++failures;
                    return;
                }
                const QByteArray chunk = item->toByteArray();
                streams[n.sender.get()].append(chunk.constData(), size_t(chunk.size()));
                delivered.append(chunk.constData(), size_t(chunk.size()));
            },
            FileHandleReadCompletionNotification);
    }
    ~ChunkRecorder() { NotificationCenter::defaultCenter().removeObserver(this); }
    Q_DISABLE_COPY_MOVE(ChunkRecorder)

    std::map<const QObject *, std::string> streams;
    std::string delivered;
    int notices = 0;
    int failures = 0;
};

// The two read ends of the current run, kept so the run can be watched to its end.
struct ReadEnds {
    std::shared_ptr<FileHandle> out, err;
};

ReadEnds currentRun(MooController &controller)
{
    return ReadEnds{controller.taskStdOut()->fileHandleForReading(),
               controller.taskStdError()->fileHandleForReading()};
}

bool finished(const ReadEnds &run)
{
    return run.out->isAtEnd() && run.err->isAtEnd();
}

} // namespace

class tst_OutputLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void noticeOfAnotherName_changesNothingAndStartsNoRead();
    void logSetToNone_nextChunkStartsItAfresh();
    void outputSizes_everyByteArrivesOnce_data();
    void outputSizes_everyByteArrivesOnce();
    void everyByteValue_isOneCharacter();
    void standardErrorThenOutput_arriveInCompletionOrder();
    void secondRun_appendsToTheFirst();
    void replacedServer_outputStillArrives();
    void endOfStream_closesTheDescriptorAndStopsReading();
    void failedRead_storesNothingAndStopsReading();
    void logFileOrder_windowTakesChunksInTheFilesOrder_data();
    void logFileOrder_windowTakesChunksInTheFilesOrder();
    void readingThread_nothingTakenFromAPipeIsLost_data();
    void readingThread_nothingTakenFromAPipeIsLost();
    void logFile_holdsEachChunkBeforeAnyOtherWorkOnIt();
};

void tst_OutputLog::cleanup()
{
    // Whatever a failed test left running, the next one starts without children.
    reapChildren();
}

void tst_OutputLog::noticeOfAnotherName_changesNothingAndStartsNoRead()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    const std::shared_ptr<Pipe> pipe = Pipe::create();
    const std::shared_ptr<FileHandle> handle = pipe->fileHandleForReading();
    const LogTextPtr before = controller.outputString();
    QSignalSpy changed(&controller, &MooController::outputStringChanged);

    controller.readDataNotification(
        Notification{QStringLiteral("SomethingElseNotification"),
                     handle,
                     {{FileHandleNotificationDataItem, QByteArray("not for the log")}}});
    QVERIFY(controller.outputString() == before);
    QCOMPARE(changed.count(), 0);
    QVERIFY(!handle->isReadPending());

    // The same notice under the read-completion name is taken and starts the next read.
    controller.readDataNotification(
        Notification{FileHandleReadCompletionNotification,
                     handle,
                     {{FileHandleNotificationDataItem, QByteArray("taken")}}});
    QCOMPARE(fixture.log(), std::string("taken"));
    QVERIFY(handle->isReadPending());

    pipe->closeWriteEnd();
    QTRY_VERIFY_WITH_TIMEOUT(handle->isAtEnd(), 10000);
    QCOMPARE(fixture.log(), std::string("taken"));
}

void tst_OutputLog::logSetToNone_nextChunkStartsItAfresh()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    controller.setOutputString(nullptr);
    controller.readDataNotification(
        Notification{FileHandleReadCompletionNotification,
                     nullptr,
                     {{FileHandleNotificationDataItem, QByteArray("after")}}});
    QCOMPARE(fixture.log(), std::string("after"));
}

void tst_OutputLog::outputSizes_everyByteArrivesOnce_data()
{
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<bool>("onStandardError");
    QTest::newRow("nothing") << qsizetype(0) << false;
    QTest::newRow("one byte") << qsizetype(1) << false;
    QTest::newRow("PIPE_BUF") << qsizetype(PIPE_BUF) << false;
    QTest::newRow("64 KiB") << qsizetype(64 * 1024) << false;
    QTest::newRow("1 MiB") << qsizetype(1 << 20) << false;
    QTest::newRow("64 KiB on standard error") << qsizetype(64 * 1024) << true;
    QTest::newRow("3 MiB on standard error") << qsizetype(3 << 20) << true;
}

void tst_OutputLog::outputSizes_everyByteArrivesOnce()
{
    QFETCH(qsizetype, size);
    QFETCH(bool, onStandardError);

    ControllerFixture fixture;
    ChunkRecorder recorder;
    fixture.launch("flood " + std::to_string(size) + (onStandardError ? " stderr" : "") +
                   "\nexit 0\n");
    const ReadEnds run = currentRun(fixture.controller());
    QTRY_VERIFY_WITH_TIMEOUT(finished(run), 20000);

    // The flooded stream is the stand-in's one greeting line, then exactly the flood.
    const std::string &stream = recorder.streams[onStandardError ? run.err.get() : run.out.get()];
    const std::string flood = expectedFlood(size_t(size));
    QVERIFY(stream.size() > flood.size());
    const std::string greeting = stream.substr(0, stream.size() - flood.size());
    QVERIFY2(greeting.find('\n') == greeting.size() - 1, greeting.c_str());
    QVERIFY(stream.compare(greeting.size(), std::string::npos, flood) == 0);
    // The log is every chunk of both streams, in the order delivered, nothing twice.
    QCOMPARE(fixture.log().size(), recorder.delivered.size());
    QVERIFY(fixture.log() == recorder.delivered);
}

void tst_OutputLog::everyByteValue_isOneCharacter()
{
    ControllerFixture fixture;
    fixture.launch("bytes\nexit 0\n");
    const ReadEnds run = currentRun(fixture.controller());
    QTRY_VERIFY_WITH_TIMEOUT(finished(run), 10000);

    QString all;
    for (int value = 0; value < 256; ++value)
        all.append(QChar(char16_t(value)));
    const LogTextPtr log = fixture.controller().outputString();
    const QString text = log->toQString();
    QCOMPARE(text.size(), log->length());
    QVERIFY2(text.contains(all), qPrintable(text.left(200)));
}

void tst_OutputLog::standardErrorThenOutput_arriveInCompletionOrder()
{
    ControllerFixture fixture;
    fixture.launch(
        "stderr said on standard error\nwait-usr1\nstdout said on standard output\nexit 0\n");
    const ReadEnds run = currentRun(fixture.controller());
    // The second write waits until the first completion has been handled.
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "said on standard error"), 10000);
    QVERIFY(fixture.controller().task()->sendSignal(SIGUSR1));
    QTRY_VERIFY_WITH_TIMEOUT(finished(run), 10000);

    const std::string log = fixture.log();
    const size_t error = log.find("said on standard error\n");
    const size_t output = log.find("said on standard output\n");
    QVERIFY2(error != std::string::npos && output != std::string::npos, log.c_str());
    QVERIFY2(error < output, log.c_str());
}

void tst_OutputLog::secondRun_appendsToTheFirst()
{
    ControllerFixture fixture;
    fixture.launch("stdout from the first run\nexit 0\n");
    const ReadEnds first = currentRun(fixture.controller());
    QTRY_VERIFY_WITH_TIMEOUT(finished(first), 10000);
    const std::string firstLog = fixture.log();
    QVERIFY(contains(firstLog, "from the first run"));

    fixture.launch("stdout from the second run\nexit 0\n");
    const ReadEnds second = currentRun(fixture.controller());
    QTRY_VERIFY_WITH_TIMEOUT(finished(second), 10000);
    const std::string log = fixture.log();
    QVERIFY(log.compare(0, firstLog.size(), firstLog) == 0);
    QVERIFY2(contains(log.substr(firstLog.size()), "from the second run"), log.c_str());
}

void tst_OutputLog::replacedServer_outputStillArrives()
{
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    fixture.launch("", "first.out", "first.db");
    const std::shared_ptr<Task> first = controller.task();
    const ReadEnds firstRun = currentRun(controller);
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "stand-in-server: running"), 10000);

    fixture.launch("stdout the replacement speaks\nexit 0\n", "second.out", "second.db");
    QVERIFY(currentRun(controller).out != firstRun.out);

    // Only now does the replaced server write, into the pipes the controller let go of.
    QVERIFY(first->sendSignal(SIGUSR2));
    QTRY_VERIFY_WITH_TIMEOUT(contains(fixture.log(), "checkpoint, wrote \"first.out\""), 10000);
    QVERIFY(first->terminate());
    QTRY_VERIFY_WITH_TIMEOUT(finished(firstRun), 10000);
    QVERIFY(contains(fixture.log(), "shut down, wrote \"first.out\""));
    QVERIFY(contains(fixture.log(), "the replacement speaks"));
}

void tst_OutputLog::endOfStream_closesTheDescriptorAndStopsReading()
{
    ControllerFixture fixture;
    ChunkRecorder recorder;
    fixture.launch("stdout goodbye\nexit 0\n");
    const ReadEnds run = currentRun(fixture.controller());
    QTRY_VERIFY_WITH_TIMEOUT(finished(run) && !fixture.controller().task(), 10000);

    for (const auto &handle : {run.out, run.err}) {
        QCOMPARE(handle->fileDescriptor(), -1);
        QVERIFY(!handle->isReadPending());
    }
    // Many turns of the event loop later, no read has been started again.
    const int notices = recorder.notices;
    const LogTextPtr log = fixture.controller().outputString();
    for (int turn = 0; turn < 200; ++turn)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCOMPARE(recorder.notices, notices);
    QVERIFY(fixture.controller().outputString() == log);
    QVERIFY(contains(fixture.log(), "goodbye"));
}

void tst_OutputLog::failedRead_storesNothingAndStopsReading()
{
    ControllerFixture fixture;
    ChunkRecorder recorder;
    // A folder is always readable, and reading it always fails.
    UniqueFd folder(::open(QFile::encodeName(fixture.folder()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QVERIFY(folder);
    const std::shared_ptr<FileHandle> handle = FileHandle::create(std::move(folder));
    const LogTextPtr before = fixture.controller().outputString();

    handle->readInBackgroundAndNotify();
    QTRY_VERIFY_WITH_TIMEOUT(handle->isAtEnd(), 10000);
    QCOMPARE(recorder.failures, 1);
    QCOMPARE(handle->fileDescriptor(), -1);
    QVERIFY(fixture.controller().outputString() == before);

    // The controller asked for the next read; the failed handle takes no more.
    QVERIFY(!handle->isReadPending());
    for (int turn = 0; turn < 200; ++turn)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCOMPARE(recorder.notices, 1);
}

void tst_OutputLog::logFileOrder_windowTakesChunksInTheFilesOrder_data()
{
    // Chunks as they arrive: "W:O:T" is text T, written by writer W at offset O of its log
    // (W 0: in no file). Then the texts in the order the window takes them.
    QTest::addColumn<QList<QByteArray>>("arriving");
    QTest::addColumn<QByteArray>("taken");
    QTest::newRow("in order") << QList<QByteArray>{"1:0:ab", "1:2:c"} << QByteArray("ab c");
    QTest::newRow("a later run's chunk first")
        << QList<QByteArray>{"1:2:c", "1:3:d", "1:0:ab"} << QByteArray("ab c d");
    QTest::newRow("in no file: at once") << QList<QByteArray>{"1:2:c", "0:0:x", "1:0:ab"} << QByteArray("x ab c");
    QTest::newRow("a new writer: the last one's waiting are due, its late ones at once")
        << QList<QByteArray>{"1:2:c", "2:1:e", "2:0:d", "1:0:ab"} << QByteArray("c d e ab");
    QList<QByteArray> gap;
    for (int n = 1; n <= int(LogFileOrder::MaxWaiting) + 1; ++n)
        gap.append("1:" + QByteArray::number(n) + ':' + QByteArray::number(n % 10));
    QTest::newRow("one never comes: the log is not held back for good")
        << gap << QByteArray("1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3");
}

void tst_OutputLog::logFileOrder_windowTakesChunksInTheFilesOrder()
{
    QFETCH(QList<QByteArray>, arriving);
    QFETCH(QByteArray, taken);
    const auto file = std::make_shared<const LogFileSegments>();
    LogFileOrder order;
    QList<QByteArray> delivered;
    for (const QByteArray &chunk : arriving) {
        const QList<QByteArray> parts = chunk.split(':');
        SharedLogFile::Appended appended;
        appended.writer = parts[0].toULongLong();
        appended.file = appended.writer > 0 ? file : nullptr;
        appended.fileOffset = parts[1].toULongLong();
        order.take(parts[2], appended,
                   [&](const QByteArray &bytes, const SharedLogFile::Appended &) {
                       delivered.append(bytes);
                   });
    }
    QCOMPARE(delivered.join(' '), taken);
}

void tst_OutputLog::readingThread_nothingTakenFromAPipeIsLost_data()
{
    QTest::addColumn<bool>("abandonFirst");
    // Stopped while a flood waits in the pipe, as when Paddock exits: every chunk the thread
    // took went through its work, and the rest is still in the pipe, in order.
    QTest::newRow("stopped during a flood") << false;
    // Read together with another whose taker is gone: the other's chunks still come.
    QTest::newRow("one of two abandoned") << true;
}

void tst_OutputLog::readingThread_nothingTakenFromAPipeIsLost()
{
    QFETCH(bool, abandonFirst);
    PipeEnds first = makePipeEnds(), second = makePipeEnds();
    ::fcntl(first.writeEnd.get(), F_SETFL, O_NONBLOCK);
    std::mutex mutex;
    std::string worked;
    const ChunkWork record = [&](const QByteArray &chunk) {
        const std::lock_guard lock(mutex);
        worked.append(chunk.constData(), size_t(chunk.size()));
        return QVariant();
    };
    ReadingThread reader({{first.readEnd.get(), {{QStringLiteral("recorded"), record}}},
                          {second.readEnd.get(), {}}});
    reader.start();
    // Fills the first pipe until it takes no more for now.
    std::string written;
    const auto fill = [&] {
        for (;;) {
            const std::string block(4096, char('a' + written.size() / 4096 % 26));
            if (::write(first.writeEnd.get(), block.data(), block.size()) != ssize_t(block.size()))
                return;
            written += block;
        }
    };
    const auto readable = [&](std::size_t source) {
        pollfd ready{reader.readyDescriptor(source), POLLIN, 0};
        return ::poll(&ready, 1, 0) == 1;
    };
    fill();
    QTRY_VERIFY_WITH_TIMEOUT(readable(0), 10000);
    fill();

    if (abandonFirst) {
        reader.abandon(0);
        QVERIFY(writeAll(second.writeEnd.get(), "after"));
        QTRY_VERIFY_WITH_TIMEOUT(readable(1), 10000);
        const std::optional<ReadChunk> chunk = reader.take(1);
        QVERIFY(chunk);
        QCOMPARE(chunk->bytes, QByteArray("after"));
        return;
    }
    reader.stop();
    std::string rest;
    first.writeEnd.reset();
    QCOMPARE(readAll(first.readEnd.get(), rest), 0);
    const std::lock_guard lock(mutex);
    QVERIFY(!worked.empty());
    QCOMPARE(worked.size() + rest.size(), written.size());
    QVERIFY(worked + rest == written);
}

void tst_OutputLog::logFile_holdsEachChunkBeforeAnyOtherWorkOnIt()
{
    // What is taken from a pipe is in the log file before the lines are cut: a Paddock killed
    // in between then loses nothing it had read. A work added earlier still runs after it.
    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    controller.setDbPath(makeString(osPath(fixture.folder()) + "/in.db"));
    controller.openLogFile();
    const std::string logFile = controller.logFilePath();
    QVERIFY(!logFile.empty());
    const std::shared_ptr<Pipe> pipe = Pipe::create();
    const std::shared_ptr<FileHandle> handle = pipe->fileHandleForReading();
    std::atomic<int> looked = 0, foundInFile = 0;
    handle->addChunkWork(QStringLiteral("looked"), [&](const QByteArray &chunk) {
        if (!chunk.isEmpty()) {
            foundInFile += readFile(logFile).endsWith(chunk);
            ++looked;
        }
        return QVariant();
    });
    controller.logWhereRead(handle);
    handle->readInBackgroundAndNotify();
    for (const char *line : {"first\n", "second\n"}) {
        const int before = looked;
        QVERIFY(writeAll(pipe->writeDescriptor(), line));
        QTRY_COMPARE_WITH_TIMEOUT(looked.load(), before + 1, 10000);
    }
    pipe->closeWriteEnd();
    QTRY_VERIFY_WITH_TIMEOUT(handle->isAtEnd(), 10000);
    QCOMPARE(foundInFile.load(), 2);
}

PADDOCK_TEST_MAIN(tst_OutputLog)
#include "tst_outputlog.moc"

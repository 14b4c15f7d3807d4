// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "SettingsKeys.h"

#include <QSignalSpy>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>

using namespace paddock;
using namespace paddock::test;

namespace {

std::string fileContents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool exists(const std::string &path)
{
    return std::ifstream(path).good();
}

// Runs a flood of size bytes to its end; the log then holds the greeting line and the flood.
bool runFlood(ControllerFixture &fixture, qsizetype size)
{
    fixture.launch("flood " + std::to_string(size) + "\nexit 0\n");
    const auto out = fixture.controller().taskStdOut()->fileHandleForReading();
    const auto err = fixture.controller().taskStdError()->fileHandleForReading();
    return QTest::qWaitFor([&] { return out->isAtEnd() && err->isAtEnd(); }, 60000);
}

constexpr qsizetype MiB = qsizetype(1) << 20;

} // namespace

class tst_BoundedLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void logFile_holdsEveryByteInOrder_data();
    void logFile_holdsEveryByteInOrder();
    void unwritableLog_serverRunsOnAndMemoryKeepsAll_data();
    void unwritableLog_serverRunsOnAndMemoryKeepsAll();
    void noLogFile_scrollbackDropsTheOldest();
};

void tst_BoundedLog::logFile_holdsEveryByteInOrder_data()
{
    QTest::addColumn<qsizetype>("flood");
    QTest::addColumn<qsizetype>("rotateSize");
    QTest::newRow("never rotated") << qsizetype(100000) << qsizetype(0);
    QTest::newRow("rotated at 64 KiB") << qsizetype(300000) << qsizetype(65536);
    // Past five kept files the oldest are removed and read as dropped.
    QTest::newRow("oldest removed") << qsizetype(1000000) << qsizetype(65536);
    // Enough to drop blocks from memory: they are read back from the files.
    QTest::newRow("read back from files") << 40 * MiB << 8 * MiB;
}

void tst_BoundedLog::logFile_holdsEveryByteInOrder()
{
    QFETCH(qsizetype, flood);
    QFETCH(qsizetype, rotateSize);
    ControllerFixture fixture;
    fixture.controller().setLogFileRotateSize(std::uint64_t(rotateSize));
    QVERIFY(runFlood(fixture, flood));

    const LogTextPtr text = fixture.controller().outputString();
    const std::string path = osPath(fixture.folder()) + "/server.log";
    std::string files;
    for (int i = 5; i >= 1; --i) {
        const std::string file = fileContents(path + "." + std::to_string(i));
        if (exists(path + "." + std::to_string(i)))
            QCOMPARE(qsizetype(file.size()), rotateSize); // split only at the limit
        files += file;
    }
    QVERIFY(!exists(path + ".6"));
    files += fileContents(path);
    QVERIFY(rotateSize == 0 || qsizetype(fileContents(path).size()) <= rotateSize);

    // The files hold the log's newest bytes, in order. What is neither in memory nor in a
    // file any more reads as dropped, and only that.
    const std::string log = fixture.log();
    QCOMPARE(log.size(), size_t(text->length()));
    QVERIFY(files.size() <= log.size());
    const size_t lost = log.size() - files.size();
    QVERIFY(log.compare(lost, std::string::npos, files) == 0);
    const auto begin = size_t(text->begin());
    QVERIFY(begin <= lost);
    QCOMPARE(log.find_first_not_of(LogText::Dropped), begin);
    const std::string expected = expectedFlood(size_t(flood));
    QVERIFY(log.compare(std::max(begin, log.size() - expected.size()), std::string::npos, expected,
                        expected.size() - std::min(expected.size(), log.size() - begin)) == 0);
    QVERIFY(text->memoryInUse() <= LogText::FileBackedMemory + 2 * MiB);
}

void tst_BoundedLog::unwritableLog_serverRunsOnAndMemoryKeepsAll_data()
{
    QTest::addColumn<QString>("logName");
    QTest::addColumn<qsizetype>("sizeLimit");
    // A regular file where the log's folder should be.
    QTest::newRow("folder is a file") << QStringLiteral("blocker/server.log") << qsizetype(0);
    // A file size limit stands in for a full disk: the write fails part way.
    QTest::newRow("file size limit") << QStringLiteral("server.log") << qsizetype(150000);
}

void tst_BoundedLog::unwritableLog_serverRunsOnAndMemoryKeepsAll()
{
    QFETCH(QString, logName);
    QFETCH(qsizetype, sizeLimit);
    ControllerFixture fixture;
    fixture.store().setString(MOOLogFileName, osPath(logName));
    {
        std::ofstream(osPath(fixture.folder()) + "/blocker") << "x";
    }
    QSignalSpy failed(&fixture.controller(), &MooController::logFileFailed);

    SignalDisposition ignoreFileSize(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    ::getrlimit(RLIMIT_FSIZE, &previous);
    if (sizeLimit > 0) {
        rlimit limit = previous;
        limit.rlim_cur = rlim_t(sizeLimit);
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    const bool ran = runFlood(fixture, 400000);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    QVERIFY(ran);

    QCOMPARE(failed.count(), 1);
    QVERIFY(failed.at(0).at(0).toString().contains(QStringLiteral("server.log")));
    const std::string log = fixture.log();
    const std::string flood = expectedFlood(400000);
    QVERIFY(log.size() > flood.size());
    QVERIFY(log.compare(log.size() - flood.size(), std::string::npos, flood) == 0);
    QCOMPARE(fixture.controller().outputString()->begin(), qsizetype(0));
    if (sizeLimit > 0) // what was written is a true prefix of the log
        QVERIFY(log.compare(0, size_t(sizeLimit),
                            fileContents(osPath(fixture.folder()) + "/server.log")) == 0);
}

void tst_BoundedLog::noLogFile_scrollbackDropsTheOldest()
{
    ControllerFixture fixture;
    fixture.store().setString(MOOLogFileName, "");
    fixture.store().setString(MOOScrollbackMiB, "4");
    QVERIFY(runFlood(fixture, 24 * MiB));

    const LogTextPtr text = fixture.controller().outputString();
    QVERIFY(!exists(osPath(fixture.folder()) + "/server.log"));
    QVERIFY(text->memoryInUse() <= 6 * MiB);
    const qsizetype begin = text->begin();
    QVERIFY(begin > 16 * MiB);
    const std::string log = fixture.log();
    QVERIFY(log.find_first_not_of(LogText::Dropped) == size_t(begin));
    const std::string flood = expectedFlood(size_t(24 * MiB));
    QVERIFY(log.compare(size_t(begin), std::string::npos, flood,
                        flood.size() - (log.size() - size_t(begin))) == 0);
}

PADDOCK_TEST_MAIN(tst_BoundedLog)

#include "tst_boundedlog.moc"

// SPDX-License-Identifier: MIT
#include "LogFileHistory.h"
#include "LogFileOwnership.h"
#include "LogFileSegments.h"
#include "LogFileWriter.h"
#include "SettingsKeys.h"
#include "SystemError.h"
#include "TestSupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace paddock;
using namespace paddock::test;

namespace {

std::optional<std::string> fileContents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Everything the segments hold in [from, to), or none if part of it is unreachable.
std::optional<std::string> readBack(const LogFileSegments &segments, std::uint64_t from,
                                    std::uint64_t to)
{
    std::string bytes;
    if (!segments.forEachPiece(from, to - from, [&](std::string_view piece) { bytes += piece; }))
        return std::nullopt;
    return bytes;
}

} // namespace

class tst_LogFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void append_filesHoldEveryByteSplitAtTheLimit_data();
    void append_filesHoldEveryByteSplitAtTheLimit();
    void append_unusablePath_failsAtOnceWithoutBlocking_data();
    void append_unusablePath_failsAtOnceWithoutBlocking();
    void append_fileSizeLimit_failsOnceAndWritesNothingMore();
    void rotate_filesNotPaddocks_neverMovedOrRemoved_data();
    void rotate_filesNotPaddocks_neverMovedOrRemoved();
    void start_serverArgumentsLogToTheSameFile_warns_data();
    void start_serverArgumentsLogToTheSameFile_warns();
    void segments_readAcrossWindowsAndFiles_data();
    void segments_readAcrossWindowsAndFiles();
    void history_fromARunsStart_readsOnlyItsTail_data();
    void history_fromARunsStart_readsOnlyItsTail();
};

void tst_LogFile::append_filesHoldEveryByteSplitAtTheLimit_data()
{
    QTest::addColumn<int>("existing");
    QTest::addColumn<int>("rotateSize");
    QTest::addColumn<int>("keep");
    QTest::addColumn<QList<int>>("chunks");

    QTest::newRow("one small chunk") << 0 << 10 << 5 << QList<int>{3};
    QTest::newRow("chunks ending exactly at the limit") << 0 << 10 << 5 << QList<int>{4, 6, 10};
    QTest::newRow("one chunk over several files") << 0 << 10 << 5 << QList<int>{35};
    QTest::newRow("more files than kept") << 0 << 10 << 2 << QList<int>{7, 23, 1, 40};
    QTest::newRow("none kept") << 0 << 10 << 0 << QList<int>{25};
    QTest::newRow("existing file continued") << 6 << 10 << 5 << QList<int>{3, 5};
    QTest::newRow("existing file at the limit") << 10 << 10 << 5 << QList<int>{1};
    QTest::newRow("existing file over the limit") << 25 << 10 << 5 << QList<int>{4, 12};
    QTest::newRow("existing file, nothing appended") << 6 << 10 << 5 << QList<int>{0};
    QTest::newRow("no rotation") << 3 << 0 << 5 << QList<int>{40, 1};
    QTest::newRow("large chunks") << 0 << 65536 << 5
                                  << QList<int>{(1 << 20) + 3, 65536, 1, 65535, 200000};
}

void tst_LogFile::append_filesHoldEveryByteSplitAtTheLimit()
{
    QFETCH(int, existing);
    QFETCH(int, rotateSize);
    QFETCH(int, keep);
    QFETCH(QList<int>, chunks);

    QTemporaryDir dir;
    const std::string path = osPath(dir.path()) + "/server.log";
    const std::string registry = osPath(dir.path()) + "/state/log-files";
    const std::string before = patterned(std::size_t(existing), 7);
    if (existing) {
        // Left by an earlier run of Paddock: its own, so it rotates as if it were continued.
        LogFileWriter earlier(path, 0, keep, LogFileOwnership(registry));
        QVERIFY(earlier.append(before).ok());
    }

    LogFileWriter writer(path, std::uint64_t(rotateSize), keep, LogFileOwnership(registry));
    std::string data;
    for (int size : chunks) {
        const std::string chunk = patterned(std::size_t(size), data.size());
        QVERIFY(writer.append(chunk).ok());
        data += chunk;
    }
    QCOMPARE(writer.written(), data.size());

    // Cut the whole stream (the file that was there, then the log) into files: the first ends
    // at the limit or where the existing file already was, each later one holds the limit.
    const std::string stream = before + data;
    std::vector<std::string> files; // oldest first
    const std::size_t limit = rotateSize ? std::size_t(rotateSize) : stream.size();
    std::size_t start = 0;
    std::size_t end = data.empty() ? stream.size() : std::max(before.size(), limit);
    std::vector<std::size_t> starts;
    for (;;) {
        starts.push_back(start);
        files.push_back(stream.substr(start, std::min(end, stream.size()) - start));
        if (end >= stream.size())
            break;
        start = end;
        end += limit;
    }
    const std::size_t kept = std::min(files.size() - 1, std::size_t(keep));
    QCOMPARE(fileContents(path),
             existing || !data.empty() ? std::optional(files.back()) : std::nullopt);
    for (std::size_t n = 1; n <= kept; ++n)
        QCOMPARE(fileContents(path + '.' + std::to_string(n)), files[files.size() - 1 - n]);
    QCOMPARE(fileContents(path + '.' + std::to_string(kept + 1)), std::nullopt);

    // What this writer appended reads back from the files still there, and only from them.
    const auto segments = writer.segments();
    const std::size_t oldest = starts[files.size() - 1 - kept];
    const std::uint64_t first = data.empty() ? 0 : std::max(oldest, before.size()) - before.size();
    QCOMPARE(segments->begin(), first);
    QCOMPARE(segments->end(), data.size());
    QCOMPARE(readBack(*segments, first, data.size()), data.substr(first));
    if (first > 0) {
        QVERIFY(segments->pieceAt(first - 1).bytes.empty());
        QCOMPARE(readBack(*segments, first - 1, data.size()), std::nullopt);
    }
}

void tst_LogFile::append_unusablePath_failsAtOnceWithoutBlocking_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("expected");

    QTest::newRow("folder missing") << "missing" << ENOENT;
    QTest::newRow("folder is a regular file") << "file as folder" << ENOTDIR;
    QTest::newRow("path is a folder") << "folder" << EISDIR;
    QTest::newRow("path is a FIFO without reader") << "fifo" << EINVAL;
    QTest::newRow("path is a FIFO with a reader") << "fifo with reader" << EINVAL;
    QTest::newRow("path is a link to a file") << "link" << ELOOP;
    QTest::newRow("path is a link to nothing") << "dangling link" << ELOOP;
}

void tst_LogFile::append_unusablePath_failsAtOnceWithoutBlocking()
{
    QFETCH(QString, kind);
    QFETCH(int, expected);

    QTemporaryDir dir;
    const std::string root = osPath(dir.path());
    std::string path = root + "/server.log";
    UniqueFd reader;
    if (kind == QLatin1String("missing")) {
        path = root + "/gone/server.log";
    } else if (kind == QLatin1String("file as folder")) {
        QVERIFY(test::writeFile(root + "/plain", "x"));
        path = root + "/plain/server.log";
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(::mkdir(path.c_str(), 0755) == 0);
    } else if (kind.contains(QLatin1String("link"))) {
        if (kind == QLatin1String("link"))
            QVERIFY(test::writeFile(root + "/elsewhere", "precious\n"));
        QVERIFY(::symlink((root + "/elsewhere").c_str(), path.c_str()) == 0);
    } else {
        QVERIFY(::mkfifo(path.c_str(), 0644) == 0);
        if (kind == QLatin1String("fifo with reader"))
            reader.reset(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    }

    LogFileWriter writer(path);
    const int error = writer.append("a line\n").error;
    QVERIFY2(error == expected, errorText(error).c_str());
    QVERIFY(writer.failed());
    QCOMPARE(writer.error(), expected);
    QCOMPARE(writer.append("more\n").error, expected);
    QCOMPARE(writer.written(), 0u);
    // Nothing went through a link: what it points to is as it was, or still missing.
    QCOMPARE(fileContents(root + "/elsewhere"), kind == QLatin1String("link")
                                                    ? std::optional<std::string>("precious\n")
                                                    : std::nullopt);
    if (reader) {
        char byte;
        QVERIFY(::read(reader.get(), &byte, 1) <= 0);
    }
}

void tst_LogFile::append_fileSizeLimit_failsOnceAndWritesNothingMore()
{
    QTemporaryDir dir;
    const std::string path = osPath(dir.path()) + "/server.log";
    rlimit saved{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 1000;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);

    LogFileWriter writer(path, 4096);
    const std::string data = patterned(1400);
    const int first = writer.append(std::string_view(data).substr(0, 600)).error;
    const int second = writer.append(std::string_view(data).substr(600, 600)).error;
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(first, 0);
    QCOMPARE(second, EFBIG);
    QCOMPARE(writer.append(std::string_view(data).substr(1200)).error, EFBIG);
    QCOMPARE(writer.error(), EFBIG);
    QCOMPARE(writer.written(), 1000u);
    QCOMPARE(fileContents(path), data.substr(0, 1000));
    QCOMPARE(readBack(*writer.segments(), 0, 1000), data.substr(0, 1000));
}

void tst_LogFile::rotate_filesNotPaddocks_neverMovedOrRemoved_data()
{
    // Files the user had before Paddock ("->": a link to a file elsewhere), the bytes then
    // appended (limit 10, keep 5), and Paddock's files afterwards with the part of the log
    // each holds ("from-to"), after what the user's file held.
    QTest::addColumn<QString>("others");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("ours");
    QTest::newRow("the user's log and numbered logs")
        << "server.log server.log.1 server.log.2 server.log.3 server.log.4 server.log.5" << 35
        << "server.log=0-35";
    QTest::newRow("the user's numbered logs only")
        << "server.log.1 server.log.2 server.log.3 server.log.4 server.log.5" << 35
        << "server.log=0-35";
    QTest::newRow("a link where Paddock's first would go")
        << "server.log.1->" << 35 << "server.log=0-35";
    QTest::newRow("one of the user's amid Paddock's")
        << "server.log.3" << 35 << "server.log=30-35 server.log.1=20-30 server.log.2=10-20";
    QTest::newRow("the user's oldest name")
        << "server.log.5" << 65
        << "server.log=60-65 server.log.1=50-60 server.log.2=40-50 server.log.3=30-40 "
           "server.log.4=20-30";
}

void tst_LogFile::rotate_filesNotPaddocks_neverMovedOrRemoved()
{
    QFETCH(QString, others);
    QFETCH(int, bytes);
    QFETCH(QString, ours);
    QTemporaryDir dir;
    const std::string root = osPath(dir.path());
    const std::string path = root + "/server.log";
    QVERIFY(test::writeFile(root + "/elsewhere", "not a log\n"));
    std::map<std::string, std::string> theirs; // name: contents
    for (const QString &other : others.split(u' ')) {
        const std::string name = other.section(QStringLiteral("->"), 0, 0).toStdString();
        if (other.endsWith(QStringLiteral("->"))) {
            QVERIFY(::symlink((root + "/elsewhere").c_str(), (root + "/" + name).c_str()) == 0);
        } else {
            theirs[name] = "the user's " + name + "\n";
            QVERIFY(test::writeFile(root + "/" + name, QByteArray::fromStdString(theirs[name])));
        }
    }

    LogFileWriter writer(path, 10, 5, LogFileOwnership(root + "/state/log-files"));
    const std::string data = patterned(std::size_t(bytes));
    for (std::size_t at = 0; at < data.size(); at += 7)
        QVERIFY(writer.append(std::string_view(data).substr(at, 7)).ok());

    std::map<std::string, std::string> expected = theirs;
    for (const QString &file : ours.split(u' ')) {
        const std::string name = file.section(u'=', 0, 0).toStdString();
        const int from = file.section(u'=', 1).section(u'-', 0, 0).toInt();
        const int to = file.section(u'=', 1).section(u'-', 1).toInt();
        expected[name] += data.substr(std::size_t(from), std::size_t(to - from));
    }
    std::map<std::string, std::string> found;
    for (const QString &name :
         QDir(dir.path())
             .entryList({QStringLiteral("server.log*")}, QDir::Files | QDir::NoSymLinks))
        found[name.toStdString()] = fileContents(root + "/" + name.toStdString()).value();
    QCOMPARE(found, expected);
    QCOMPARE(fileContents(root + "/elsewhere"), std::optional<std::string>("not a log\n"));
    if (others.contains(QStringLiteral("->")))
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("server.log.1"))).isSymLink());
}

void tst_LogFile::start_serverArgumentsLogToTheSameFile_warns_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("logName");
    QTest::addColumn<bool>("warned");
    QTest::newRow("-l on the log file") << "-l server.log"
                                        << "server.log" << true;
    QTest::newRow("another spelling") << "-l ./logs//world.log"
                                      << "logs/world.log" << true;
    QTest::newRow("--log=") << "--log=server.log"
                            << "server.log" << true;
    QTest::newRow("absolute path") << "-l <folder>/server.log"
                                   << "server.log" << true;
    QTest::newRow("another file") << "-l other.log"
                                  << "server.log" << false;
    QTest::newRow("no log file of Paddock's") << "-l server.log"
                                              << "" << false;
    QTest::newRow("no -l") << "-e"
                           << "server.log" << false;
}

void tst_LogFile::start_serverArgumentsLogToTheSameFile_warns()
{
    QFETCH(QString, arguments);
    QFETCH(QString, logName);
    QFETCH(bool, warned);
    ControllerFixture fixture;
    QVERIFY(QDir(fixture.folder()).mkpath(QStringLiteral("logs")));
    fixture.store().setString(
        MOOArgumentsBefore,
        arguments.replace(QLatin1String("<folder>"), fixture.folder()).toStdString());
    fixture.store().setString(MOOLogFileName, logName.toStdString());
    QSignalSpy shared(&fixture.controller(), &MooController::logFileShared);
    // The stand-in refuses the extra arguments and ends; the start itself goes on.
    fixture.launch("");
    QVERIFY(fixture.controller().task());
    QCOMPARE(shared.count(), warned ? 1 : 0);
    if (warned)
        QVERIFY2(shared.at(0).at(0).toString().contains(logName.section(u'/', -1)),
                 qPrintable(shared.at(0).at(0).toString()));
}

void tst_LogFile::segments_readAcrossWindowsAndFiles_data()
{
    QTest::addColumn<int>("windows");
    QTest::addColumn<int>("cachedWindows");

    QTest::newRow("every window cached") << 1 << 100;
    QTest::newRow("two windows cached, the rest read again") << 1 << 2;
    QTest::newRow("one window cached, windows of three pages") << 3 << 1;
}

void tst_LogFile::segments_readAcrossWindowsAndFiles()
{
    QFETCH(int, windows);
    QFETCH(int, cachedWindows);

    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    const std::uint64_t window = std::uint64_t(windows) * page;
    QTemporaryDir dir;
    const std::string root = osPath(dir.path());
    // Two files, each starting with bytes from before the log began.
    const std::string log = patterned(9 * page + 17);
    const std::size_t split = 4 * page + 5;
    const std::string heads[] = {"earlier", std::string(page - 3, '-')};
    const std::string parts[] = {log.substr(0, split), log.substr(split)};
    LogFileSegments segments(window, std::uint64_t(cachedWindows) * window);
    for (int i = 0; i < 2; ++i) {
        const std::string path = root + "/part" + std::to_string(i);
        QVERIFY(test::writeFile(path, QByteArray::fromStdString(heads[i] + parts[i])));
        segments.addFile(
            std::make_shared<const UniqueFd>(::open(path.c_str(), O_RDONLY | O_CLOEXEC)),
            heads[i].size());
        segments.grow(parts[i].size());
    }

    for (const std::size_t from : {std::size_t(0), page - 1, split - 1, split, 7 * page + 3})
        for (const std::size_t to : {from + 1, from + page + 1, log.size()})
            QCOMPARE(readBack(segments, from, std::min(to, log.size())),
                     log.substr(from, std::min(to, log.size()) - from));

    // Needles placed across a window's end and across the files' boundary are found there.
    for (const std::size_t at : {page - 2, split - 3, 2 * page, log.size() - 5}) {
        const std::string needle = log.substr(at, 5);
        QCOMPARE(segments.indexOf(needle, 0), std::int64_t(log.find(needle)));
        QCOMPARE(segments.indexOf(needle, at), std::int64_t(at));
    }
    QCOMPARE(segments.indexOf("not in the log", 0), -1);

    segments.keepNewest(1);
    QCOMPARE(segments.begin(), split);
    QVERIFY(segments.pieceAt(split - 1).bytes.empty());
    QCOMPARE(segments.indexOf(log.substr(0, 8), 0), -1);
    QCOMPARE(segments.indexOf(log.substr(split, 8), 0), std::int64_t(split));

    // Someone cuts the file short (logrotate's copytruncate): what was read stays readable,
    // what the file no longer holds is unreachable, and nothing ends the process.
    const LogFilePiece held = segments.pieceAt(split + page);
    QVERIFY(!held.bytes.empty());
    QVERIFY(::truncate((root + "/part1").c_str(), off_t(heads[1].size() + 10)) == 0);
    QCOMPARE(std::string(held.bytes), log.substr(split + page, held.bytes.size()));
    QCOMPARE(segments.indexOf("not in the log", 0), -1);
    const LogFilePiece end = segments.pieceAt(log.size() - 1);
    QVERIFY(end.bytes.empty() || end.bytes == log.substr(log.size() - 1));
}

PADDOCK_TEST_MAIN(tst_LogFile)
void tst_LogFile::history_fromARunsStart_readsOnlyItsTail_data()
{
    // Steps: "write TEXT" appends to the log, "start" takes the run's start (where the log
    // ends), "rotate" renames the log to .1 (.1 to .2), "remove NAME", "link NAME" (to a file
    // outside). The history is read from the start taken (from none: all of it), its newest
    // bytes within the limit, and its oldest.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QByteArray>("history");
    QTest::addColumn<QByteArray>("head");
    const QString earlier = QStringLiteral("write earlier\n");
    QTest::newRow("no start: all of it") << QStringList{earlier, QStringLiteral("write run\n")}
                                         << 100 << QByteArray("earlier\nrun\n")
                                         << QByteArray("earlier\nrun\n");
    QTest::newRow("the run's part of the file")
        << QStringList{earlier, QStringLiteral("start"), QStringLiteral("write run\n")} << 100
        << QByteArray("run\n") << QByteArray("run\n");
    QTest::newRow("its file rotated since")
        << QStringList{QStringLiteral("rotate"), earlier,
                       QStringLiteral("start"),  QStringLiteral("write one\n"),
                       QStringLiteral("rotate"), QStringLiteral("write two\n"),
                       QStringLiteral("rotate"), QStringLiteral("write three\n")}
        << 100 << QByteArray("one\ntwo\nthree\n") << QByteArray("one\ntwo\nthree\n");
    QTest::newRow("its file rotated away: all there is")
        << QStringList{earlier,
                       QStringLiteral("start"),
                       QStringLiteral("write one\n"),
                       QStringLiteral("rotate"),
                       QStringLiteral("remove server.log.1"),
                       QStringLiteral("write two\n")}
        << 100 << QByteArray("two\n") << QByteArray("two\n");
    QTest::newRow("the newest bytes within the limit")
        << QStringList{earlier, QStringLiteral("start"), QStringLiteral("write one\n"),
                       QStringLiteral("rotate"), QStringLiteral("write two\n")}
        << 6 << QByteArray("e\ntwo\n") << QByteArray("one\ntw");
    QTest::newRow("a link at a rotated name is not followed")
        << QStringList{QStringLiteral("link server.log.1"), QStringLiteral("write run\n")} << 100
        << QByteArray("run\n") << QByteArray("run\n");
}

void tst_LogFile::history_fromARunsStart_readsOnlyItsTail()
{
    QFETCH(QStringList, steps);
    QFETCH(int, limit);
    QTemporaryDir folder;
    QTemporaryDir outside;
    const QString log = folder.filePath(QStringLiteral("server.log"));
    QVERIFY(writeFile(outside.filePath(QStringLiteral("secret")), "secret\n"));
    std::optional<LogFilePosition> start;
    for (const QString &step : std::as_const(steps)) {
        const QString argument = step.section(u' ', 1);
        if (step.startsWith(u"write ")) {
            QFile file(log);
            QVERIFY(file.open(QIODevice::Append) && file.write(argument.toUtf8()) > 0);
        } else if (step == u"start") {
            start = logFileEnd(osPath(log));
            QVERIFY(start);
        } else if (step == u"rotate") {
            QFile::rename(log + QStringLiteral(".1"), log + QStringLiteral(".2"));
            QFile::rename(log, log + QStringLiteral(".1"));
        } else if (step.startsWith(u"remove ")) {
            QVERIFY(QFile::remove(folder.filePath(argument)));
        } else if (step.startsWith(u"link ")) {
            QVERIFY(
                QFile::link(outside.filePath(QStringLiteral("secret")), folder.filePath(argument)));
        }
    }
    QTEST(QByteArray::fromStdString(readLogFileTail(osPath(log), std::uint64_t(limit), start)),
          "history");
    QTEST(QByteArray::fromStdString(readLogFileHead(osPath(log), std::uint64_t(limit), start)),
          "head");
}

#include "tst_logfile.moc"

// SPDX-License-Identifier: MIT
// log_history: the whole history of a long-running server, with a log file.
//
// Floods BYTES (default 4 GiB) through the controller with a log view attached and a log file
// large enough to keep all of it on disk, then prints:
//   rss_growth_mib        resident memory after the flood less before it (bar: under 64)
//   ingest_ratio          the controller's rate against a plain reader that appends the same
//                         output to a file, measured in this run (bar: 0.5 or more)
//   find_mib_per_s        a search through the whole log once its files are cached (bar: 1024)
//   scroll_to_top_ms      the time to draw after scrolling from the end to the top (bar: 100)
// The files are removed afterwards.

#include "LogSearch.h"
#include "LogView.h"
#include "MooController.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

using namespace paddock;

namespace {

constexpr qint64 MiB = qint64(1) << 20;

qint64 residentBytes(const char *field = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)))
                       .trimmed()
                       .chopped(3)
                       .trimmed()
                       .toLongLong() *
                   1024;
    return -1;
}

std::string writeDatabase(const QTemporaryDir &folder, qint64 bytes)
{
    QFile file(folder.filePath(QStringLiteral("in.db")));
    const std::string script = "flood " + std::to_string(bytes) + "\nexit 0\n";
    if (!file.open(QIODevice::WriteOnly) || file.write(script.data(), qint64(script.size())) < 0)
        std::abort();
    return QFile::encodeName(file.fileName()).toStdString();
}

void print(const char *key, double value, const char *bar = nullptr)
{
    std::printf("%-22s %12.2f%s%s\n", key, value, bar ? "   bar: " : "", bar ? bar : "");
    std::fflush(stdout);
}

// Reads the stand-in's flood with blocking reads and appends each read to a file.
double plainSeconds(const QTemporaryDir &folder, qint64 bytes)
{
    const std::string db = writeDatabase(folder, bytes);
    const std::string logPath =
        QFile::encodeName(folder.filePath(QStringLiteral("plain.log"))).toStdString();
    const int log =
        ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    int fds[2];
    if (log < 0 || ::pipe2(fds, O_CLOEXEC) != 0)
        std::abort();
    ::fcntl(fds[0], F_SETPIPE_SZ, int(FileHandle::MaxChunk));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string server = STAND_IN_SERVER_PATH, out = "out.db", input = db;
    char *argv[] = {server.data(), input.data(), out.data(), nullptr};
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, server.c_str(), &actions, nullptr, argv, environ) != 0)
        std::abort();
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::vector<char> buffer(size_t(FileHandle::MaxChunk));
    for (;;) {
        const ssize_t got = ::read(fds[0], buffer.data(), buffer.size());
        if (got > 0) {
            if (::write(log, buffer.data(), size_t(got)) != got)
                std::abort();
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    ::close(fds[0]);
    ::close(log);
    ::waitpid(pid, nullptr, 0);
    ::unlink(logPath.c_str());
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const qint64 bytes = argc > 1 ? std::atoll(argv[1]) : 4096 * MiB;
    QTemporaryDir folder;

    UserDefaults store{
        QFile::encodeName(folder.filePath(QStringLiteral("settings/paddock.conf"))).toStdString()};
    UserDefaultsController prefs{store};
    MooController controller;
    controller.connectOutlets(&prefs, nullptr, nullptr);
    controller.awakeFromNib();
    store.setString(MOOExecutableURL, STAND_IN_SERVER_PATH);
    controller.setLogFileRotateSize(std::uint64_t(1) << 30); // 6 GiB kept: all of the flood
    LogView view;
    QObject::connect(&controller, &MooController::outputStringChanged, &view,
                     [&] { view.setLogText(controller.outputString()); });
    view.resize(900, 700);
    view.show();
    QCoreApplication::processEvents();

    const double plain = plainSeconds(folder, bytes);

    QEventLoop loop;
    std::shared_ptr<FileHandle> out, err;
    const auto checkDone = [&] {
        if (out && out->isAtEnd() && err->isAtEnd() && !controller.isMooRunning())
            loop.quit();
    };
    QObject::connect(&controller, &MooController::outputStringChanged, &loop, checkDone);
    QObject::connect(&controller, &MooController::isMooRunningChanged, &loop, checkDone);
    const qint64 rssBefore = residentBytes();
    QElapsedTimer clock;
    clock.start();
    controller.setDbPath(makeString(writeDatabase(folder, bytes)));
    controller.setNewDbPath(makeString("out.db"));
    controller.runMoo();
    out = controller.taskStdOut()->fileHandleForReading();
    err = controller.taskStdError()->fileHandleForReading();
    loop.exec();
    const double ingest = double(clock.nsecsElapsed()) / 1e9;
    const LogTextPtr text = controller.outputString();
    while (view.shownLength() < text->length())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();
    const qint64 rssAfter = residentBytes();

    print("logged_mib", double(text->length()) / double(MiB));
    print("first_reachable", double(text->begin()));
    print("in_memory_mib", double(text->memoryInUse()) / double(MiB));
    print("plain_mib_per_s", double(bytes) / double(MiB) / plain);
    print("ingest_mib_per_s", double(bytes) / double(MiB) / ingest);
    print("ingest_ratio", plain / ingest, ">= 0.5");
    print("rss_growth_mib", double(rssAfter - rssBefore) / double(MiB), "< 64");
    print("rss_file_mib", double(residentBytes("RssFile:")) / double(MiB));
    print("rss_anon_mib", double(residentBytes("RssAnon:")) / double(MiB));

    // Scroll from the end to the top and draw.
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    view.viewport()->repaint();
    clock.start();
    view.verticalScrollBar()->setValue(0);
    view.viewport()->repaint();
    print("scroll_to_top_ms", double(clock.nsecsElapsed()) / 1e6, "<= 100");

    // A needle that never occurs, so the search reads every byte; the first pass caches.
    const LogSearch search(QStringLiteral("no such line anywhere"), true);
    for (int pass = 0; pass < 2; ++pass) {
        clock.start();
        const bool found = search.first(*text, 0, text->length(), text->length()).found();
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        if (pass == 1) {
            print("find_mib_per_s", double(text->length()) / double(MiB) / seconds, ">= 1024");
            print("find_found", found ? 1 : 0);
        }
    }
    print("rss_after_find_mib", double(residentBytes() - rssBefore) / double(MiB));
    return 0; // the temporary folder and its log files go with it
}

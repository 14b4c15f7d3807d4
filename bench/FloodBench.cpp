// SPDX-License-Identifier: MIT
#include "FloodBench.h"

#include "UniqueFd.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace paddock::bench {

std::string floodScript(qint64 bytes)
{
    return "flood " + std::to_string(bytes) + "\nexit 0\n";
}

bool writeText(const QString &path, const std::string &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(text.data(), qint64(text.size())) == qint64(text.size());
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double threadCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

void print(const std::string &key, double value)
{
    std::printf("%s=%.6f\n", key.c_str(), value);
    std::fflush(stdout);
}

bool verdict(bool met)
{
    std::printf("  %s\n", met ? "met" : "NOT MET");
    return met;
}

std::string loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "unknown";
    return file.readLine().split(' ').mid(0, 3).join(' ').toStdString();
}

int runPlainReader(qint64 bytes, bool largePipe, bool toFile)
{
    QTemporaryDir folder;
    const QString db = folder.filePath(QStringLiteral("in.db"));
    UniqueFd file;
    if (toFile) {
        file = UniqueFd(::open(QFile::encodeName(folder.filePath(QStringLiteral("plain.log"))),
                               O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (!file)
            return 1;
    }
    int fds[2];
    if (!writeText(db, floodScript(bytes)) || ::pipe2(fds, O_CLOEXEC) != 0)
        return 1;
    if (largePipe)
        ::fcntl(fds[0], F_SETPIPE_SZ, int(MiB));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string server = STAND_IN_SERVER_PATH, input = QFile::encodeName(db).toStdString(),
                output = "out.db";
    char *argv[] = {server.data(), input.data(), output.data(), nullptr};

    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, server.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (spawned != 0)
        return 1;
    std::vector<char> buffer(static_cast<size_t>(MiB));
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(fds[0], buffer.data(), buffer.size());
        if (got > 0) {
            total += got;
            if (file && ::write(file.get(), buffer.data(), size_t(got)) != got)
                return 1;
        } else if (got == 0 || errno != EINTR) {
            break;
        }
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    ::close(fds[0]);
    ::waitpid(pid, nullptr, 0);
    print("seconds", seconds);
    print("cpu_seconds", cpu);
    print("bytes", double(total));
    return 0;
}

Figures measure(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(-1);
    Figures figures;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0)
            figures[line.left(equals).toStdString()] = line.mid(equals + 1).toDouble();
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0 || figures.empty()) {
        std::fprintf(stderr, "%s: %s failed\n",
                     qPrintable(QCoreApplication::applicationName()),
                     qPrintable(arguments.join(u' ')));
        std::exit(1);
    }
    return figures;
}

TurnGaps::TurnGaps()
{
    // A timer that fires on every turn of the loop.
    m_turns.setTimerType(Qt::PreciseTimer);
    m_turns.setInterval(1);
    QObject::connect(&m_turns, &QTimer::timeout, [this] {
        m_longest = std::max(m_longest, m_sinceTurn.nsecsElapsed());
        m_sinceTurn.start();
        const double cpu = threadCpuSeconds();
        m_longestCpu = std::max(m_longestCpu, cpu - m_turnCpu);
        m_turnCpu = cpu;
    });
}

void TurnGaps::start()
{
    m_sinceTurn.start();
    m_turnCpu = threadCpuSeconds();
    m_turns.start();
}

} // namespace paddock::bench

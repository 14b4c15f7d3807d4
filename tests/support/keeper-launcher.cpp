// SPDX-License-Identifier: MIT
// A launcher for the keeper's tests to kill, doing what Paddock does at a launch: starts the
// server on the database with both outputs on pipes and the keeper with both read ends, in a
// session of its own. It reads the first READ_FIRST bytes of the server's output into the log
// file itself, prints "SERVER_PID KEEPER_PID", and then reads nothing more until it is killed.
//   keeper-launcher KEEPER SERVER DATABASE LOG SOCKET READ_FIRST
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <unistd.h>

extern char **environ;

namespace {

pid_t spawn(const char *path, char *const argv[], int fd1, int fd2, int target1, bool session)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fd1, target1);
    posix_spawn_file_actions_adddup2(&actions, fd2, target1 + 1);
    posix_spawn_file_actions_addclosefrom_np(&actions, target1 + 2);
    if (session)
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, path, &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return rc == 0 ? pid : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 7)
        return 2;
    int output[2], error[2];
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(error, O_CLOEXEC) != 0)
        return 1;
    std::string database = argv[3], outputName = "out.db";
    char *serverArgv[] = {argv[2], database.data(), outputName.data(), nullptr};
    const pid_t server = spawn(argv[2], serverArgv, output[1], error[1], STDOUT_FILENO, false);
    ::close(output[1]);
    ::close(error[1]);
    std::string launcher = "--launcher=" + std::to_string(::getpid());
    std::string serverPid = "--server=" + std::to_string(server);
    std::string log = std::string("--log=") + argv[4];
    std::string socket = std::string("--socket=") + argv[5];
    std::string rotate = "--rotate-size=" + std::to_string(1ull << 40);
    char *keeperArgv[] = {argv[1],       launcher.data(), serverPid.data(), log.data(),
                          socket.data(), rotate.data(),   nullptr};
    const pid_t keeper = spawn(argv[1], keeperArgv, output[0], error[0], 3, true);
    if (server < 0 || keeper < 0)
        return 1;

    long long left = std::atoll(argv[6]);
    const int logFd =
        left > 0 ? ::open(argv[4], O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600)
                 : -1;
    char buffer[65536];
    while (left > 0 && logFd >= 0) {
        const ssize_t got =
            ::read(output[0], buffer, size_t(std::min<long long>(left, sizeof buffer)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || ::write(logFd, buffer, size_t(got)) != got)
            return 1;
        left -= got;
    }
    std::printf("%d %d\n", int(server), int(keeper));
    std::fflush(stdout);
    for (;;)
        ::pause();
}

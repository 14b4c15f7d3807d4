// SPDX-License-Identifier: MIT
// paddock-keeper: keeps a server's output pipes read while no Paddock is there to read them.
//
// Paddock starts one with every server, in a session of its own, and hands it duplicates of
// both pipes' read ends. While a Paddock holds them the keeper only sleeps in poll(), on a
// pidfd of each such Paddock and on its listening socket; it never reads then, so Paddock
// sees every byte in order. Once every holder has ended (Quit, a crash, SIGKILL) it reads
// both pipes into the log file until they end, so the server never meets a pipe without a
// reader. A later Paddock of the same user connects to the socket and gets both read ends
// back, after everything read so far is in the log file; the keeper then waits for that
// Paddock in turn. It exits, removing its socket, once the server's output has ended and
// been read by someone.
//
// A server started in its emergency mode reads the user's commands from a pipe: the keeper
// holds that pipe's write end too, never writing, so the input does not end with Paddock.
//
//   paddock-keeper --launcher=PID --server=PID --log=PATH --socket=PATH
//                  [--stdout-fd=3] [--stderr-fd=4] [--stdin-fd=N] [--rotate-size=BYTES] [--keep=N]
//                  [--owned=REGISTRY]
//
// REGISTRY lists the log files Paddock created; only those are ever rotated away.
#include "DescriptorIo.h"
#include "DescriptorPassing.h"
#include "KeeperClient.h"
#include "LogFileWriter.h"
#include "PrivateFolder.h"
#include "ProcessInfo.h"
#include "UniqueFd.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace paddock;

namespace {

struct Options {
    int outputFd = 3;
    int errorFd = 4;
    int inputFd = -1; // none
    pid_t launcher = 0;
    pid_t server = 0;
    std::string logPath;
    std::uint64_t rotateSize = 64ull << 20;
    int keep = 5;
    std::string socketPath;
    std::string ownedRegistry;
};

bool parseNumber(const std::string &text, std::uint64_t limit, std::uint64_t &value)
{
    if (text.empty() || text.size() > 20 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    value = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0 && value <= limit;
}

bool parseOptions(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::size_t equals = argument.find('=');
        if (argument.compare(0, 2, "--") != 0 || equals == std::string::npos)
            return false;
        const std::string name = argument.substr(2, equals - 2);
        const std::string value = argument.substr(equals + 1);
        std::uint64_t number = 0;
        constexpr std::uint64_t MaxPid = 0x3fffffff;
        if (name == "log" || name == "socket") {
            (name == "log" ? options.logPath : options.socketPath) = value;
        } else if (name == "owned") {
            options.ownedRegistry = value;
        } else if (name == "rotate-size" && parseNumber(value, UINT64_MAX, number)) {
            options.rotateSize = number;
        } else if (name == "keep" && parseNumber(value, 1000, number)) {
            options.keep = int(number);
        } else if ((name == "stdout-fd" || name == "stderr-fd") &&
                   parseNumber(value, 65535, number)) {
            (name == "stdout-fd" ? options.outputFd : options.errorFd) = int(number);
        } else if (name == "stdin-fd" && parseNumber(value, 65535, number)) {
            options.inputFd = int(number);
        } else if ((name == "launcher" || name == "server") && parseNumber(value, MaxPid, number) &&
                   number > 0) {
            (name == "launcher" ? options.launcher : options.server) = pid_t(number);
        } else {
            return false;
        }
    }
    return options.launcher > 0 && options.server > 0 && !options.logPath.empty() &&
           !options.socketPath.empty() && options.outputFd != options.errorFd &&
           options.inputFd != options.outputFd && options.inputFd != options.errorFd;
}

class Keeper final {
public:
    Keeper(Options options, UniqueFd output, UniqueFd error, UniqueFd input)
        : m_options(std::move(options))
        , m_input(std::move(input))
    {
        m_pipes[0] = std::move(output);
        m_pipes[1] = std::move(error);
    }

    int run();

private:
    void listen();
    void watchLauncher();
    void acceptAll();
    void handBack(UniqueFd connection);
    void drain(int index);
    bool outputEnded() const { return m_ended[0] && m_ended[1]; }
    bool unreadOutput() const;
    void removeSocket();

    Options m_options;
    UniqueFd m_pipes[2];
    // The server's input, held and never written: handed back with the pipes.
    UniqueFd m_input;
    // Poll reported the pipe's writers all gone; read to its end only while draining.
    bool m_hungUp[2] = {false, false};
    bool m_ended[2] = {false, false};
    // A pidfd of each Paddock that holds the read ends: while any lives, nothing is read.
    std::vector<UniqueFd> m_holders;
    UniqueFd m_listener;
    dev_t m_socketDevice = 0;
    ino_t m_socketInode = 0;
    std::optional<LogFileWriter> m_log;
    std::uint64_t m_lost = 0;
    int m_logError = 0;
};

void Keeper::listen()
{
    const std::string &path = m_options.socketPath;
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    // Whoever can reach the socket gets the server's output: only in a private folder.
    if (!checkPrivateFolder(folder).empty())
        return;
    struct stat status;
    if (::lstat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode)) {
        // A socket left by a keeper that died: one server has one keeper, so none listens.
        int error = 0;
        if (!connectUnixSocket(path, 1000, error) && error == ECONNREFUSED)
            ::unlink(path.c_str());
    }
    int error = 0;
    m_listener = listenUnixSocket(path, error);
    if (m_listener && ::lstat(path.c_str(), &status) == 0) {
        m_socketDevice = status.st_dev;
        m_socketInode = status.st_ino;
    }
}

void Keeper::watchLauncher()
{
    // Paddock spawns the keeper, so the launcher starts out as our parent: once the pidfd is
    // open, still being its child proves the pidfd is the launcher's and not a reused PID's.
    const bool childOfLauncher = ::getppid() == m_options.launcher;
    UniqueFd pidfd(pidfdOpen(m_options.launcher));
    if (pidfd && (!childOfLauncher || ::getppid() == m_options.launcher))
        m_holders.push_back(std::move(pidfd));
}

void Keeper::removeSocket()
{
    struct stat status;
    if (m_listener && ::lstat(m_options.socketPath.c_str(), &status) == 0 &&
        status.st_dev == m_socketDevice && status.st_ino == m_socketInode)
        ::unlink(m_options.socketPath.c_str());
    m_listener.reset();
}

bool Keeper::unreadOutput() const
{
    for (int i = 0; i < 2; ++i) {
        int waiting = 0;
        if (!m_ended[i] && ::ioctl(m_pipes[i].get(), FIONREAD, &waiting) == 0 && waiting > 0)
            return true;
    }
    return false;
}

void Keeper::acceptAll()
{
    for (;;) {
        UniqueFd connection(retryOnInterrupt(
            [&] { return ::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC); }));
        if (!connection) {
            if (errno == ECONNABORTED)
                continue;
            return; // EAGAIN: no one else is waiting
        }
        handBack(std::move(connection));
    }
}

void Keeper::handBack(UniqueFd connection)
{
    PeerCredentials peer;
    if (peerCredentials(connection.get(), peer) != 0 || !isSameUser(peer))
        return;
    // Watch the new holder before it has the pipes, so its end can never go unseen; one that
    // is already gone gets nothing.
    UniqueFd holder(pidfdOpen(peer.pid));
    if (!holder)
        return;
    // Everything read so far is in the log file already (append writes it through); say
    // what could not be written.
    const std::string message = std::string(KeeperGreeting) + "\nlost=" + std::to_string(m_lost) +
                                "\nerror=" + std::to_string(m_logError) + "\n";
    std::vector<int> descriptors{m_pipes[0].get(), m_pipes[1].get()};
    if (m_input)
        descriptors.push_back(m_input.get());
    if (sendDescriptors(connection.get(), message, descriptors) != 0)
        return;
    m_holders.push_back(std::move(holder));
    // The log file is the new holder's now; a later drain opens it afresh.
    m_log.reset();
    m_lost = 0;
    m_logError = 0;
}

void Keeper::drain(int index)
{
    char buffer[65536];
    const ssize_t got = readSome(m_pipes[index].get(), buffer, sizeof buffer);
    if (got < 0 && errno == EAGAIN)
        return;
    if (got <= 0) {
        m_ended[index] = m_hungUp[index] = true;
        return;
    }
    if (!m_log)
        m_log.emplace(m_options.logPath, m_options.rotateSize, m_options.keep,
                      LogFileOwnership(m_options.ownedRegistry));
    // With the log file failing, keep reading all the same: a server blocked on a full pipe
    // stops serving its users, which is worse than output lost (and counted).
    if (m_log->failed() || !m_log->append(std::string_view(buffer, std::size_t(got))).ok()) {
        m_logError = m_log->error();
        m_lost += std::uint64_t(got);
    }
}

int Keeper::run()
{
    listen();
    watchLauncher();
    while (!outputEnded()) {
        const bool draining = m_holders.empty();
        // While a holder lives, poll the pipes for no events: a hang-up is still reported.
        // A pipe whose writers are gone drops out, or it would report so without end.
        std::vector<pollfd> watched;
        for (int i = 0; i < 2; ++i)
            watched.push_back({m_pipes[i].get(), short(draining ? POLLIN : 0), 0});
        for (int i = 0; i < 2; ++i)
            if (m_ended[i] || (!draining && m_hungUp[i]))
                watched[std::size_t(i)].fd = -1;
        watched.push_back({m_listener ? m_listener.get() : -1, POLLIN, 0});
        for (const UniqueFd &holder : m_holders)
            watched.push_back({holder.get(), POLLIN, 0});

        int timeout = -1;
        if (!draining && m_hungUp[0] && m_hungUp[1]) {
            // The server's output has ended. Once the holder has read the rest there is
            // nothing left to keep; until then (moments), look again now and then, so that
            // the rest is still drained if the holder dies before it has read it.
            if (!unreadOutput())
                break;
            timeout = 100;
        }
        // No deadline to keep: a wait a signal cut short starts again as it was.
        if (retryOnInterrupt([&] { return ::poll(watched.data(), watched.size(), timeout); }) < 0)
            break;
        for (std::size_t i = m_holders.size(); i-- > 0;)
            if (watched[3 + i].revents)
                m_holders.erase(m_holders.begin() + std::ptrdiff_t(i));
        for (int i = 0; i < 2; ++i) {
            const short events = watched[std::size_t(i)].revents;
            if (draining && (events & (POLLIN | POLLHUP | POLLERR)))
                drain(i);
            else if (!draining && (events & (POLLHUP | POLLERR)))
                m_hungUp[i] = true;
        }
        if (watched[2].revents & POLLIN)
            acceptAll();
    }
    removeSocket();
    return 0;
}

// Descriptors 0, 1 and 2 become /dev/null; a pipe handed over on one of them moves first.
bool settleDescriptors(int &outputFd, int &errorFd, int &inputFd)
{
    for (int *fd : {&outputFd, &errorFd, &inputFd}) {
        if (fd == &inputFd && inputFd < 0)
            continue;
        if (::fcntl(*fd, F_GETFD) < 0)
            return false;
        const int moved = ::fcntl(*fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        if (moved < 0)
            return false;
        if (*fd > STDERR_FILENO)
            ::close(*fd);
        *fd = moved;
    }
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0)
        return false;
    for (int fd = 0; fd <= STDERR_FILENO; ++fd)
        if (fd != null && ::dup2(null, fd) < 0)
            return false;
    if (null > STDERR_FILENO)
        ::close(null);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parseOptions(argc, argv, options))
        return 2;
    if (!settleDescriptors(options.outputFd, options.errorFd, options.inputFd))
        return 1;
    // A session of its own, so closing the terminal Paddock ran in ends neither the keeper
    // nor the server; Paddock spawns it so already, and then setsid() fails harmlessly.
    ::setsid();
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGPIPE, SIG_IGN);
    // A file size limit then fails the log file's write instead of ending the keeper.
    ::signal(SIGXFSZ, SIG_IGN);
    Keeper keeper(options, UniqueFd(options.outputFd), UniqueFd(options.errorFd),
                  UniqueFd(options.inputFd));
    return keeper.run();
}

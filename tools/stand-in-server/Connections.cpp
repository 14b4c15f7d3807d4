// SPDX-License-Identifier: MIT
#include "Connections.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace standin {

namespace {

using Clock = std::chrono::steady_clock;

std::string connectionName(int port, const sockaddr_in &peer)
{
    return "port " + std::to_string(port) + " from 127.0.0.1, port " +
           std::to_string(ntohs(peer.sin_port));
}

// Greets one client and waits until it closes, as a server busy with nothing else would.
void answer(int fd, int port, const sockaddr_in &peer, int number, const Log &log)
{
    const std::string name = "#-" + std::to_string(number) + " on " + connectionName(port, peer);
    log("ACCEPT: " + name);
    static const char greeting[] = "*** Connected ***\r\n";
    if (::send(fd, greeting, sizeof greeting - 1, MSG_NOSIGNAL) >= 0) {
        char buffer[512];
        for (ssize_t got = 1; got > 0 || (got < 0 && errno == EINTR);)
            got = ::read(fd, buffer, sizeof buffer);
    }
    ::close(fd);
    log("CLIENT DISCONNECTED: " + name);
}

void answerUntil(int listener, int port, Clock::time_point until, bool forever, Log log)
{
    for (int number = 1;; ++number) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (!forever && left <= 0)
            return; // frozen: the listener stays open, and nobody takes its connections
        pollfd ready{listener, POLLIN, 0};
        if (::poll(&ready, 1, forever ? -1 : int(left)) <= 0)
            continue;
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd =
            ::accept4(listener, reinterpret_cast<sockaddr *>(&peer), &size, SOCK_CLOEXEC);
        if (fd >= 0)
            answer(fd, port, peer, number, log);
    }
}

} // namespace

int listenOnLoopback(int port, long answerMs, const Log &log)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    const int one = 1;
    // A MOO server's backlog: the kernel completes five connections nobody takes.
    if (listener < 0 || ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 5) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        log(std::string("*** Binding listening socket: ") + std::strerror(errno));
        if (listener >= 0)
            ::close(listener);
        return 0;
    }
    const int bound = ntohs(address.sin_port);
    log("LISTEN: #0 now listening on port " + std::to_string(bound));
    std::thread(answerUntil, listener, bound, Clock::now() + std::chrono::milliseconds(answerMs),
                answerMs < 0, log)
        .detach();
    return bound;
}

std::string playerLine(bool in, const std::string &name, long long object, int port)
{
    return std::string(in ? "CONNECTED: " : "DISCONNECTED: ") + name + " (#" +
           std::to_string(object) + ") on port " + std::to_string(port) + " from 127.0.0.1, port " +
           std::to_string(40000 + object % 20000);
}

} // namespace standin

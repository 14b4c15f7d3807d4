// SPDX-License-Identifier: MIT
#include "DescriptorPassing.h"

#include "DescriptorIo.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace paddock {

namespace {

constexpr std::size_t MaxPayload = 4096;
constexpr std::size_t MaxDescriptors = 16;

bool makeAddress(const std::string &path, sockaddr_un &address, socklen_t &length)
{
    address = {};
    address.sun_family = AF_UNIX;
    // A NUL inside would name another (abstract or shorter) socket.
    if (path.empty() || path.size() >= sizeof address.sun_path ||
        path.find('\0') != std::string::npos)
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

// A non-blocking stream socket, with the address for path; none (error set) when path
// cannot be a socket's address or no socket can be made.
UniqueFd newUnixSocket(const std::string &path, sockaddr_un &address, socklen_t &length, int &error)
{
    if (!makeAddress(path, address, length)) {
        error = ENAMETOOLONG;
        return {};
    }
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!socket)
        error = errno;
    return socket;
}

// Waits for events on fd until the deadline; returns 0, ETIMEDOUT or the errno value.
int waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline)
{
    pollfd watched{fd, events, 0};
    // A wait a signal cut short goes on for what is left of it, not for the whole time again;
    // rounded up, so that a poll that times out has reached the deadline.
    const int ready = retryOnInterrupt([&] {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        return left.count() <= 0 ? 0 : ::poll(&watched, 1, int(left.count()));
    });
    if (ready > 0)
        return 0;
    return ready == 0 ? ETIMEDOUT : errno;
}

} // namespace

int peerCredentials(int socket, PeerCredentials &credentials)
{
    ucred peer = {};
    socklen_t length = sizeof peer;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0)
        return errno;
    credentials = {peer.pid, peer.uid, peer.gid};
    return 0;
}

bool isSameUser(const PeerCredentials &credentials)
{
    return credentials.uid == ::geteuid();
}

int sendDescriptors(int socket, std::string_view payload, const std::vector<int> &descriptors)
{
    if (payload.empty() || payload.size() > MaxPayload || descriptors.size() > MaxDescriptors)
        return EINVAL;
    iovec data{const_cast<char *>(payload.data()), payload.size()};
    msghdr message = {};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * MaxDescriptors)] = {};
    if (!descriptors.empty()) {
        const std::size_t bytes = sizeof(int) * descriptors.size();
        message.msg_control = control;
        message.msg_controllen = CMSG_SPACE(bytes);
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(bytes);
        std::memcpy(CMSG_DATA(header), descriptors.data(), bytes);
    }
    const ssize_t sent =
        retryOnInterrupt([&] { return ::sendmsg(socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT); });
    if (sent == ssize_t(payload.size()))
        return 0;
    if (sent >= 0)
        return EMSGSIZE; // a stream socket took part of it: the peer would misread the rest
    return errno;
}

int receiveDescriptors(int socket, int timeoutMs, std::size_t maxDescriptors,
                       ReceivedMessage &message)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[MaxPayload];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * MaxDescriptors)];
    for (;;) {
        if (const int error = waitFor(socket, POLLIN, deadline))
            return error;
        iovec data{buffer, sizeof buffer};
        msghdr header = {};
        header.msg_iov = &data;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t got = retryOnInterrupt(
            [&] { return ::recvmsg(socket, &header, MSG_CMSG_CLOEXEC | MSG_DONTWAIT); });
        if (got < 0 && errno == EAGAIN)
            continue;
        if (got < 0)
            return errno;
        // Take ownership of whatever came before judging it, so nothing leaks.
        std::vector<UniqueFd> received;
        for (cmsghdr *c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
                received.emplace_back(fd);
            }
        }
        if (got == 0)
            return ECONNRESET;
        if ((header.msg_flags & (MSG_CTRUNC | MSG_TRUNC)) || received.size() > maxDescriptors)
            return EPROTO;
        message.payload.assign(buffer, std::size_t(got));
        message.descriptors = std::move(received);
        return 0;
    }
}

UniqueFd connectUnixSocket(const std::string &path, int timeoutMs, int &error)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    sockaddr_un address;
    socklen_t length;
    UniqueFd socket = newUnixSocket(path, address, length, error);
    if (!socket)
        return {};
    for (;;) {
        if (retryOnInterrupt([&] {
                return ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&address),
                                 length);
            }) == 0)
            break;
        // A Unix socket whose listener's backlog is full says EAGAIN instead of waiting:
        // try again until the deadline, but never hang on a keeper that accepts nothing.
        if (errno == EAGAIN) {
            error = waitFor(socket.get(), POLLOUT, deadline);
            if (error == 0 && std::chrono::steady_clock::now() < deadline)
                continue;
            error = ETIMEDOUT;
            return {};
        }
        if (errno != EINPROGRESS) {
            error = errno;
            return {};
        }
        if ((error = waitFor(socket.get(), POLLOUT, deadline)) != 0)
            return {};
        int result = 0;
        socklen_t size = sizeof result;
        if (::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &result, &size) != 0)
            result = errno;
        if (result != 0) {
            error = result;
            return {};
        }
        break;
    }
    error = 0;
    return socket;
}

UniqueFd listenUnixSocket(const std::string &path, int &error)
{
    sockaddr_un address;
    socklen_t length;
    UniqueFd socket = newUnixSocket(path, address, length, error);
    if (!socket)
        return {};
    if (::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), length) != 0) {
        error = errno;
        return {};
    }
    // The socket appears with the umask's mode; the folder keeps others out meanwhile.
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(socket.get(), 8) != 0) {
        error = errno;
        ::unlink(path.c_str());
        return {};
    }
    error = 0;
    return socket;
}

} // namespace paddock

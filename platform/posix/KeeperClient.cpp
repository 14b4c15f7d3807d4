// SPDX-License-Identifier: MIT
#include "KeeperClient.h"

#include "DescriptorPassing.h"
#include "ProcessInfo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <poll.h>

namespace paddock {

namespace {

// The number after "key=" on its own line in text; false if it is missing or malformed.
bool field(const std::string &text, const std::string &key, std::uint64_t &value)
{
    const std::size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos)
        return false;
    const char *start = text.c_str() + at + key.size() + 2;
    char *end = nullptr;
    errno = 0;
    value = std::strtoull(start, &end, 10);
    return end != start && *end == '\n' && errno == 0;
}

} // namespace

PrivateSocketPath keeperSocketPath(pid_t serverPid)
{
    return privateSocketPath("server-" + std::to_string(serverPid) + ".socket");
}

int reclaimPipes(const std::string &socketPath, pid_t keeperPid, int timeoutMs,
                 KeeperHandBack &handBack)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int error = 0;
    UniqueFd socket;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - Clock::now());
        socket = connectUnixSocket(socketPath, int(std::max<long long>(left.count(), 0)), error);
        // A keeper that still runs but does not listen yet has only just been started: the
        // Paddock that started it was killed at once. Its socket comes within milliseconds.
        const bool notListeningYet = error == ENOENT || error == ECONNREFUSED;
        if (socket || !notListeningYet || keeperPid <= 0 || !processStartTime(keeperPid) ||
            Clock::now() >= deadline)
            break;
        ::poll(nullptr, 0, 10);
    }
    if (!socket)
        return error;
    // The folder is the user's own, but a socket may still be bound there by a process of
    // another user that root started: trust only a keeper running as ourselves.
    PeerCredentials keeper;
    if ((error = peerCredentials(socket.get(), keeper)) != 0)
        return error;
    if (!isSameUser(keeper))
        return EPERM;
    ReceivedMessage message;
    if ((error = receiveDescriptors(socket.get(), timeoutMs, 3, message)) != 0)
        return error;
    std::uint64_t lost = 0, logError = 0;
    if (message.payload.compare(0, std::string(KeeperGreeting).size() + 1,
                                std::string(KeeperGreeting) + "\n") != 0 ||
        message.descriptors.size() < 2 || !field(message.payload, "lost", lost) ||
        !field(message.payload, "error", logError))
        return EPROTO;
    handBack.standardOutput = std::move(message.descriptors[0]);
    handBack.standardError = std::move(message.descriptors[1]);
    if (message.descriptors.size() > 2)
        handBack.standardInput = std::move(message.descriptors[2]);
    handBack.bytesLost = lost;
    handBack.logError = int(logError);
    return 0;
}

} // namespace paddock

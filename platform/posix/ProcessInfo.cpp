// SPDX-License-Identifier: MIT
#include "ProcessInfo.h"

#include "DescriptorIo.h"
#include "UniqueFd.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace paddock {

namespace {

std::optional<std::string> readSmallFile(const std::string &path)
{
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return std::nullopt;
    std::string text;
    if (readAll(fd.get(), text) != 0)
        return std::nullopt;
    return text;
}

std::string procPath(pid_t pid, const char *entry)
{
    return "/proc/" + std::to_string(pid) + "/" + entry;
}

} // namespace

std::optional<std::uint64_t> processStartTime(pid_t pid)
{
    if (pid <= 0)
        return std::nullopt;
    const std::optional<std::string> stat = readSmallFile(procPath(pid, "stat"));
    if (!stat)
        return std::nullopt;
    // The command name (field 2) may hold spaces and parentheses: count from the last ')',
    // which is followed by field 3.
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos)
        return std::nullopt;
    std::size_t position = close + 1;
    for (int field = 3; field < 22; ++field) {
        position = stat->find(' ', position + 1);
        if (position == std::string::npos)
            return std::nullopt;
    }
    const char *start = stat->c_str() + position + 1;
    char *end = nullptr;
    errno = 0;
    const unsigned long long ticks = std::strtoull(start, &end, 10);
    if (end == start || errno != 0 || (*end != ' ' && *end != '\n' && *end != '\0'))
        return std::nullopt;
    return std::uint64_t(ticks);
}

std::optional<std::string> processStatus(pid_t pid)
{
    if (pid <= 0)
        return std::nullopt;
    return readSmallFile(procPath(pid, "status"));
}

std::optional<uid_t> processUid(pid_t pid)
{
    const std::optional<std::string> status = processStatus(pid);
    if (!status)
        return std::nullopt;
    const std::size_t line = status->find("\nUid:");
    if (line == std::string::npos)
        return std::nullopt;
    const char *start = status->c_str() + line + 5;
    char *end = nullptr;
    errno = 0;
    const unsigned long uid = std::strtoul(start, &end, 10);
    if (end == start || errno != 0)
        return std::nullopt;
    return uid_t(uid);
}

bool processCatchesSignal(pid_t pid, int signal)
{
    const std::optional<std::string> status = processStatus(pid);
    if (!status)
        return false;
    const std::size_t field = status->find("\nSigCgt:");
    if (field == std::string::npos)
        return false;
    const unsigned long long mask = std::strtoull(status->c_str() + field + 8, nullptr, 16);
    return signal >= 1 && signal <= 64 && (mask >> (signal - 1)) & 1U;
}

std::optional<std::uint64_t> bootTime()
{
    const std::optional<std::string> stat = readSmallFile("/proc/stat");
    if (!stat)
        return std::nullopt;
    const std::size_t line = stat->find("\nbtime ");
    if (line == std::string::npos)
        return std::nullopt;
    const char *start = stat->c_str() + line + 7;
    char *end = nullptr;
    errno = 0;
    const unsigned long long seconds = std::strtoull(start, &end, 10);
    if (end == start || errno != 0 || seconds == 0)
        return std::nullopt;
    return std::uint64_t(seconds);
}

std::optional<std::int64_t> startTimeSinceEpochMs(std::uint64_t ticks)
{
    const long perSecond = ::sysconf(_SC_CLK_TCK);
    const std::optional<std::uint64_t> boot = bootTime();
    if (perSecond <= 0 || !boot)
        return std::nullopt;
    return std::int64_t(*boot * 1000 + ticks * 1000 / std::uint64_t(perSecond));
}

std::optional<std::string> processExecutable(pid_t pid)
{
    if (pid <= 0)
        return std::nullopt;
    char buffer[PATH_MAX + 16];
    const ssize_t length = ::readlink(procPath(pid, "exe").c_str(), buffer, sizeof buffer);
    if (length < 0 || std::size_t(length) >= sizeof buffer)
        return std::nullopt;
    return std::string(buffer, std::size_t(length));
}

int pidfdOpen(pid_t pid)
{
    // Linux gives pidfds close-on-exec whatever the flags.
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

int pidfdSendSignal(int pidfd, int signal)
{
    return int(::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0));
}

} // namespace paddock

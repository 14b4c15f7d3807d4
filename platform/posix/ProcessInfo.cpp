// SPDX-License-Identifier: MIT
#include "ProcessInfo.h"

#include "DescriptorIo.h"
#include "UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
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

std::optional<ProcessStat> processStat(pid_t pid)
{
    if (pid <= 0)
        return std::nullopt;
    const std::optional<std::string> stat = readSmallFile(procPath(pid, "stat"));
    if (!stat)
        return std::nullopt;
    // The command name (field 2) may hold spaces and parentheses: count from the last ')',
    // which is followed by field 3.
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos || close + 2 >= stat->size())
        return std::nullopt;
    std::vector<std::string_view> fields; // fields[0] is field 3
    std::string_view rest = std::string_view(*stat).substr(close + 2);
    while (!rest.empty() && fields.size() < 22) {
        const std::size_t space = rest.find_first_of(" \n");
        fields.push_back(rest.substr(0, space));
        rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
    }
    const auto number = [&fields](int field) -> std::optional<std::uint64_t> {
        const std::string_view text = fields[std::size_t(field - 3)];
        std::uint64_t value = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc() || end != text.data() + text.size())
            return std::nullopt;
        return value;
    };
    if (fields.size() < 22 || fields[0].size() != 1)
        return std::nullopt;
    const auto user = number(14), system = number(15), start = number(22), resident = number(24);
    if (!user || !system || !start || !resident)
        return std::nullopt;
    static const long pageSize = ::sysconf(_SC_PAGESIZE);
    return ProcessStat{fields[0][0], *user + *system, *start,
                       *resident * std::uint64_t(std::max(pageSize, 1L))};
}

long clockTicksPerSecond()
{
    static const long perSecond = ::sysconf(_SC_CLK_TCK);
    return perSecond;
}

std::optional<std::uint64_t> processStartTime(pid_t pid)
{
    const std::optional<ProcessStat> stat = processStat(pid);
    if (!stat)
        return std::nullopt;
    return stat->startTime;
}

std::vector<pid_t> childProcesses(pid_t pid)
{
    std::vector<pid_t> children;
    if (pid <= 0)
        return children;
    const auto addFrom = [&children](std::string_view text) {
        while (!text.empty()) {
            int child = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), child);
            if (error == std::errc())
                children.push_back(child);
            text.remove_prefix(std::size_t(end - text.data()));
            if (!text.empty())
                text.remove_prefix(1);
        }
    };
    // Each thread lists the children it made; the kernel has these files unless built without.
    const std::string tasks = procPath(pid, "task");
    const std::unique_ptr<DIR, int (*)(DIR *)> taskFolder(::opendir(tasks.c_str()), ::closedir);
    if (!taskFolder)
        return children;
    bool listed = false;
    while (const dirent *entry = ::readdir(taskFolder.get())) {
        if (entry->d_name[0] == '.')
            continue;
        if (const auto text = readSmallFile(tasks + "/" + entry->d_name + "/children")) {
            listed = true;
            addFrom(*text);
        }
    }
    if (listed)
        return children;
    const std::unique_ptr<DIR, int (*)(DIR *)> proc(::opendir("/proc"), ::closedir);
    while (const dirent *entry = proc ? ::readdir(proc.get()) : nullptr) {
        pid_t other = 0;
        const std::string_view name(entry->d_name);
        if (std::from_chars(name.data(), name.data() + name.size(), other).ec != std::errc())
            continue;
        const std::optional<std::string> stat = readSmallFile(procPath(other, "stat"));
        const std::size_t close = stat ? stat->rfind(") ") : std::string::npos;
        // Field 4, the parent, follows the one-letter state.
        if (close != std::string::npos && close + 4 < stat->size() &&
            std::atol(stat->c_str() + close + 4) == pid)
            children.push_back(other);
    }
    return children;
}

bool commandLineStartsWith(pid_t pid, std::string_view prefix)
{
    if (pid <= 0)
        return false;
    const std::optional<std::string> text = readSmallFile(procPath(pid, "cmdline"));
    return text && std::string_view(*text).substr(0, prefix.size()) == prefix;
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
    const long perSecond = clockTicksPerSecond();
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

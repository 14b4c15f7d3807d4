// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace paddock {

/// When process pid started, in clock ticks since boot (field 22 of /proc/PID/stat); none if
/// there is no such process. Together with the PID it names one process for good.
std::optional<std::uint64_t> processStartTime(pid_t pid);

/// What /proc/PID/stat tells of a process at one moment.
struct ProcessStat {
    /// The state letter: 'R' running, 'S' sleeping, 'D' waiting on a device, 'T' stopped,
    /// 't' stopped by a debugger, 'Z' ended but not reaped, 'X' dead.
    char state = '?';
    /// The processor time it has used, user and system, in clock ticks.
    std::uint64_t cpuTicks = 0;
    /// When it started, in clock ticks since boot (as processStartTime).
    std::uint64_t startTime = 0;
    /// Its resident memory, in bytes.
    std::uint64_t residentBytes = 0;
};

/// Reads /proc/PID/stat; none if there is no such process or the text is not understood.
std::optional<ProcessStat> processStat(pid_t pid);
/// The clock ticks in a second, in which /proc counts processor and start times.
long clockTicksPerSecond();

/// The children of process pid (from /proc/PID/task/*/children, or by their parent ids where
/// the kernel does not list them); empty when there are none or none can be read.
std::vector<pid_t> childProcesses(pid_t pid);
/// Whether the command line of process pid (/proc/PID/cmdline) begins with prefix; a process
/// may rewrite its command line to say what it does.
bool commandLineStartsWith(pid_t pid, std::string_view prefix);

/// The text of /proc/PID/status; none if there is no such process.
std::optional<std::string> processStatus(pid_t pid);
/// The real user id of process pid (from /proc/PID/status); none if there is no such process.
std::optional<uid_t> processUid(pid_t pid);

/// Whether process pid has a handler for signal (SigCgt in /proc/PID/status). A signal that is
/// neither caught nor ignored ends a process that does not block it.
bool processCatchesSignal(pid_t pid, int signal);

/// When the system booted, in seconds since the epoch (btime in /proc/stat); none if unknown.
std::optional<std::uint64_t> bootTime();
/// A start time in clock ticks since boot (see processStartTime) as milliseconds since the
/// epoch; none if the boot time or the clock's rate is unknown.
std::optional<std::int64_t> startTimeSinceEpochMs(std::uint64_t ticks);

/// The path process pid was started from (/proc/PID/exe), with the kernel's " (deleted)"
/// mark for a replaced file; none if it cannot be read.
std::optional<std::string> processExecutable(pid_t pid);

/// pidfd_open(2): a close-on-exec descriptor for process pid, or -1 with errno set.
int pidfdOpen(pid_t pid);
/// pidfd_send_signal(2): 0, or -1 with errno set (ESRCH once the process has been reaped).
int pidfdSendSignal(int pidfd, int signal);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <stdexcept>
#include <string>
#include <sys/types.h>
#include <vector>

namespace paddock {

/// What one of a child's standard descriptors (0, 1, 2) is.
struct ChildStream {
    enum class Kind { DevNull, Descriptor, Inherited };
    Kind kind = Kind::DevNull;
    int fd = -1;

    /// /dev/null, opened for reading and writing.
    static ChildStream devNull() { return {}; }
    /// A copy of fd (a pipe end, say), which stays the caller's.
    static ChildStream from(int fd) { return {Kind::Descriptor, fd}; }
    /// Whatever this process has at that number.
    static ChildStream inherited() { return {Kind::Inherited, -1}; }
};

/// Everything a child is started with.
struct SpawnOptions {
    /// The executable; a relative path is taken from this process's folder, not workingFolder.
    std::string program;
    /// The arguments after the program's own name; a NUL byte in one is refused.
    std::vector<std::string> arguments;
    /// The folder the child starts in; empty for this process's own.
    std::string workingFolder;
    ChildStream standardInput;
    ChildStream standardOutput;
    ChildStream standardError;
    /// Descriptors the child gets as 3, 4, ... in this order; every other one above 2 is closed.
    std::vector<int> passedDescriptors;
    /// A session of its own (a daemon that outlives its terminal), else a process group of its
    /// own: either way a Ctrl+C or hang-up aimed at this process never reaches the child.
    bool newSession = false;
    /// The child starts with SIGPIPE ignored, so its writes to a reader that is gone fail with
    /// EPIPE instead of ending it. Every other signal starts with its default disposition.
    bool sigpipeIgnored = false;
};

/// A child that was not started; nothing is left behind (no descriptor, no child process).
class SpawnError final : public std::runtime_error {
public:
    /// Where the attempt stopped: opening the working folder, preparing the spawn (a
    /// descriptor or the system refused a setting), or the spawn itself (exec failed).
    enum class Step { WorkingFolder, Prepare, Start };

    SpawnError(Step step, const std::string &call, int error)
        : std::runtime_error(call)
        , m_step(step)
        , m_error(error)
    {}
    Step step() const noexcept { return m_step; }
    /// The errno value of the failed call, whose name what() gives.
    int error() const noexcept { return m_error; }

private:
    Step m_step;
    int m_error;
};

/// Starts options.program with posix_spawn: an empty signal mask, default dispositions,
/// exactly the descriptors the options name. Returns the child's PID, which the caller must
/// reap. Throws SpawnError, every call's result checked; none of the given descriptors is
/// closed or changed.
pid_t spawnProcess(const SpawnOptions &options);

} // namespace paddock

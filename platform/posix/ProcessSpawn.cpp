// SPDX-License-Identifier: MIT
#include "ProcessSpawn.h"

#include "UniqueFd.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

extern char **environ;

namespace paddock {

namespace {

void check(int result, const char *call)
{
    if (result != 0)
        throw SpawnError(SpawnError::Step::Prepare, call, result);
}

// posix_spawn's attributes, released on every path out of the spawn.
class SpawnAttributes final {
public:
    SpawnAttributes() { check(posix_spawnattr_init(&m_attributes), "posix_spawnattr_init"); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;
    posix_spawnattr_t *get() { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

// posix_spawn's file actions, released on every path out of the spawn.
class SpawnFileActions final {
public:
    SpawnFileActions()
    {
        check(posix_spawn_file_actions_init(&m_actions), "posix_spawn_file_actions_init");
    }
    ~SpawnFileActions() { posix_spawn_file_actions_destroy(&m_actions); }
    SpawnFileActions(const SpawnFileActions &) = delete;
    SpawnFileActions &operator=(const SpawnFileActions &) = delete;
    posix_spawn_file_actions_t *get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

// posix_spawn can only reset signals to their default, so an ignored disposition is
// inherited: set it in this process for the moment of the spawn and put back whatever was
// there.
class SigpipeIgnoredForSpawn final {
public:
    SigpipeIgnoredForSpawn()
    {
        struct sigaction ignore = {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        if (::sigaction(SIGPIPE, &ignore, &m_previous) != 0)
            throw SpawnError(SpawnError::Step::Prepare, "sigaction", errno);
    }
    ~SigpipeIgnoredForSpawn() { ::sigaction(SIGPIPE, &m_previous, nullptr); }
    SigpipeIgnoredForSpawn(const SigpipeIgnoredForSpawn &) = delete;
    SigpipeIgnoredForSpawn &operator=(const SigpipeIgnoredForSpawn &) = delete;

private:
    struct sigaction m_previous = {};
};

std::string absoluteProgramPath(const std::string &path)
{
    if (path.empty() || path.front() == '/')
        return path;
    // posix_spawn looks a relative path up after the change of folder: resolve it here.
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd))
        return path;
    return std::string(cwd) + "/" + path;
}

// A close-on-exec copy of fd numbered above every number the child's descriptors get, so no
// action between the spawn and the exec can overwrite it before it is used, and a dup2 onto
// its target never meets the same number (which would keep close-on-exec set).
UniqueFd copyAbove(int fd, int highestTarget, SpawnError::Step step = SpawnError::Step::Prepare)
{
    UniqueFd copy(::fcntl(fd, F_DUPFD_CLOEXEC, highestTarget + 1));
    if (!copy)
        throw SpawnError(step, "fcntl", errno);
    return copy;
}

} // namespace

pid_t spawnProcess(const SpawnOptions &options)
{
    for (const std::string &argument : options.arguments)
        if (argument.find('\0') != std::string::npos)
            throw SpawnError(SpawnError::Step::Prepare, "argument", EINVAL);
    const int highestTarget = STDERR_FILENO + int(options.passedDescriptors.size());

    // Open the working folder first: it can fail, and nothing needs undoing yet. The child
    // changes into this very folder, even if the path is renamed meanwhile.
    UniqueFd folder;
    if (!options.workingFolder.empty()) {
        const UniqueFd opened(
            ::open(options.workingFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!opened)
            throw SpawnError(SpawnError::Step::WorkingFolder, "open", errno);
        folder = copyAbove(opened.get(), highestTarget, SpawnError::Step::WorkingFolder);
    }

    SpawnFileActions actions;
    std::vector<UniqueFd> copies;
    const auto giveAs = [&](int fd, int target) {
        copies.push_back(copyAbove(fd, highestTarget));
        check(posix_spawn_file_actions_adddup2(actions.get(), copies.back().get(), target),
              "posix_spawn_file_actions_adddup2");
    };
    // What runs between the spawn and the exec, in this order: the standard descriptors and
    // the passed ones take their numbers (dup2 clears close-on-exec on the copy), the child
    // changes into the folder, and every descriptor above is closed, also ones a library
    // opened without close-on-exec. A child reading this process's terminal would be
    // stopped by SIGTTIN, so standard input is never inherited by accident.
    const ChildStream *streams[] = {&options.standardInput, &options.standardOutput,
                                    &options.standardError};
    for (int target = STDIN_FILENO; target <= STDERR_FILENO; ++target) {
        const ChildStream &stream = *streams[target];
        if (stream.kind == ChildStream::Kind::DevNull)
            check(posix_spawn_file_actions_addopen(actions.get(), target, "/dev/null",
                                                   target == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0),
                  "posix_spawn_file_actions_addopen");
        else if (stream.kind == ChildStream::Kind::Descriptor)
            giveAs(stream.fd, target);
    }
    for (std::size_t i = 0; i < options.passedDescriptors.size(); ++i)
        giveAs(options.passedDescriptors[i], STDERR_FILENO + 1 + int(i));
    if (folder)
        check(posix_spawn_file_actions_addfchdir_np(actions.get(), folder.get()),
              "posix_spawn_file_actions_addfchdir_np");
    check(posix_spawn_file_actions_addclosefrom_np(actions.get(), highestTarget + 1),
          "posix_spawn_file_actions_addclosefrom_np");

    // An empty mask and default dispositions, whatever this process blocks or ignores.
    SpawnAttributes attributes;
    sigset_t empty;
    sigemptyset(&empty);
    // Every bit set, not sigfillset(): glibc leaves its two reserved real-time signals out
    // of a filled set and would then hand them to the child ignored.
    sigset_t defaults;
    std::memset(&defaults, 0xff, sizeof defaults);
    if (options.sigpipeIgnored)
        sigdelset(&defaults, SIGPIPE);
    check(posix_spawnattr_setsigmask(attributes.get(), &empty), "posix_spawnattr_setsigmask");
    check(posix_spawnattr_setsigdefault(attributes.get(), &defaults),
          "posix_spawnattr_setsigdefault");
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.newSession) {
        flags |= POSIX_SPAWN_SETSID;
    } else {
        check(posix_spawnattr_setpgroup(attributes.get(), 0), "posix_spawnattr_setpgroup");
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    check(posix_spawnattr_setflags(attributes.get(), flags), "posix_spawnattr_setflags");

    const std::string program = absoluteProgramPath(options.program);
    std::vector<char *> argv;
    argv.reserve(options.arguments.size() + 2);
    argv.push_back(const_cast<char *>(program.c_str()));
    for (const std::string &argument : options.arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    int rc = 0;
    if (options.sigpipeIgnored) {
        const SigpipeIgnoredForSpawn sigpipeIgnored;
        rc = ::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv.data(),
                           environ);
    } else {
        rc = ::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv.data(),
                           environ);
    }
    // glibc's posix_spawn reports a failed action or exec in the child as its result, and
    // has reaped that child already.
    if (rc != 0)
        throw SpawnError(SpawnError::Step::Start, "posix_spawn", rc);
    return pid;
}

} // namespace paddock

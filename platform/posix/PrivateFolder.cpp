// SPDX-License-Identifier: MIT
#include "PrivateFolder.h"

#include "SystemError.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace paddock {

namespace {

std::string absoluteEnvironment(const char *name)
{
    const char *value = std::getenv(name);
    // The base-directory rules say a relative value is invalid and must be ignored.
    return value && value[0] == '/' ? std::string(value) : std::string();
}

// The longest path a Unix socket's address holds, its terminating NUL aside.
constexpr std::size_t MaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;

std::string shortPrivateFolder()
{
    return "/tmp/paddock-" + std::to_string(::geteuid());
}

// FNV-1a: stable across runs and builds, so every Paddock of one runtime folder finds the same
// name; a collision would only let two runtime folders share a socket.
std::string folderHash(const std::string &folder)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char byte : folder)
        hash = (hash ^ byte) * 0x100000001b3ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

} // namespace

std::string checkPrivateFolder(const std::string &path)
{
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0)
        return "Cannot use the folder \"" + path + "\": " + errorText(errno);
    if (!S_ISDIR(status.st_mode))
        return "\"" + path + "\" is not a folder";
    if (status.st_uid != ::geteuid())
        return "The folder \"" + path + "\" belongs to another user";
    if (status.st_mode & (S_IWGRP | S_IWOTH))
        return "The folder \"" + path + "\" can be changed by other users";
    return {};
}

std::string makePrivateFolder(const std::string &path)
{
    if (path.empty() || path.front() != '/')
        return "Cannot use the folder \"" + path + "\": not an absolute path";
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!prefix.empty() && prefix.back() != '/' && ::mkdir(prefix.c_str(), 0700) != 0 &&
            errno != EEXIST)
            return "Cannot create the folder \"" + prefix + "\": " + errorText(errno);
        if (slash == std::string::npos)
            break;
    }
    return checkPrivateFolder(path);
}

std::string keeperSocketFolder()
{
    std::string runtime = absoluteEnvironment("XDG_RUNTIME_DIR");
    if (runtime.empty()) {
        const std::string perUser = "/run/user/" + std::to_string(::geteuid());
        struct stat status;
        if (::stat(perUser.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
            runtime = perUser;
    }
    // /tmp is shared, but the folder's owner and mode are checked before every use.
    if (runtime.empty())
        return shortPrivateFolder();
    return runtime + "/paddock";
}

PrivateSocketPath privateSocketPath(const std::string &name)
{
    const std::string folder = keeperSocketFolder();
    if (folder.size() + 1 + name.size() <= MaxSocketPath) {
        std::string problem = makePrivateFolder(folder);
        return {problem.empty() ? folder + "/" + name : std::string(), std::move(problem)};
    }
    // Binding through a name relative to the folder would need chdir, which is process-wide
    // and would move every other thread's relative paths; an abstract socket's name can be
    // taken by any user first. A short folder of our own, checked like the other, has neither
    // fault.
    const std::string fallback = shortPrivateFolder();
    if (std::string problem = makePrivateFolder(fallback); !problem.empty())
        return {{}, "The folder \"" + folder + "\" is too long for a socket's path; " + problem};
    return {fallback + "/" + folderHash(folder) + "-" + name, {}};
}

std::string serverRecordFolder()
{
    const std::string state = absoluteEnvironment("XDG_STATE_HOME");
    if (!state.empty())
        return state + "/paddock";
    const std::string home = absoluteEnvironment("HOME");
    return home.empty() ? std::string() : home + "/.local/state/paddock";
}

} // namespace paddock

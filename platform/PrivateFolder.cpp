// SPDX-License-Identifier: MIT
#include "PrivateFolder.h"

#include "SystemError.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace paddock {

namespace {

std::string absoluteEnvironment(const char *name)
{
    const char *value = std::getenv(name);
    // The base-directory rules say a relative value is invalid and must be ignored.
    return value && value[0] == '/' ? std::string(value) : std::string();
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
        return "/tmp/paddock-" + std::to_string(::geteuid());
    return runtime + "/paddock";
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

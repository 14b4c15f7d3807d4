// SPDX-License-Identifier: MIT
#include "KeeperLocation.h"

#include "ProcessInfo.h"

#include <filesystem>
#include <unistd.h>

namespace paddock {

std::string installedKeeperPath()
{
    // The kernel's link names the file that was started, so an installed tree that was moved
    // or unpacked elsewhere (dpkg -x) still finds its own keeper. A file replaced by an
    // upgrade reads "PATH (deleted)": its folder is still the right one.
    const std::optional<std::string> executable = processExecutable(::getpid());
    if (!executable || executable->empty() || executable->front() != '/')
        return {};
    const std::filesystem::path folder = std::filesystem::path(*executable).parent_path();
    return (folder / PADDOCK_KEEPER_FROM_PROGRAM / "paddock-keeper").lexically_normal().string();
}

} // namespace paddock

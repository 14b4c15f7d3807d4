// SPDX-License-Identifier: MIT
#include "RenameNoReplace.h"

#include <cerrno>
#include <fcntl.h>
#include <stdio.h> // renameat2
#include <unistd.h>

namespace paddock {

int renameNoReplace(int fromFolder, const char *from, int toFolder, const char *to)
{
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return 0;
    // EINVAL: the file system does not know the flag; ENOSYS: the kernel has no renameat2.
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    if (::linkat(fromFolder, from, toFolder, to, 0) != 0)
        return errno;
    return ::unlinkat(fromFolder, from, 0) == 0 ? 0 : errno;
}

} // namespace paddock

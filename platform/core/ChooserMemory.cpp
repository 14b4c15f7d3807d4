// SPDX-License-Identifier: MIT
#include "ChooserMemory.h"

#include "UserDefaults.h"

namespace paddock {

UserDefaults &chooserMemory()
{
    static UserDefaults *memory =
        new UserDefaults(chooserMemoryFilePath()); // lives for the process
    return *memory;
}

std::string chooserMemoryFilePath()
{
    return settingsFilePath("choosers.conf");
}

} // namespace paddock

#include "ChooserMemory.h"

#include "UserDefaults.h"

namespace paddock {

UserDefaults &chooserMemory()
{
    static UserDefaults *memory =
        new UserDefaults(chooserMemoryFilePath()); // lives for the process
    return *memory;
}

QString chooserMemoryFilePath()
{
    return settingsFilePath(QStringLiteral("choosers.conf"));
}

} // namespace paddock

#include "ChooserMemory.h"

#include <QStandardPaths>

namespace paddock {

UserDefaults &chooserMemory()
{
    static UserDefaults *memory =
        new UserDefaults(chooserMemoryFilePath()); // lives for the process
    return *memory;
}

QString chooserMemoryFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/paddock/choosers.conf");
}

} // namespace paddock

#include "MooController.h"

#include "SettingsKeys.h"
#include "UserDefaults.h"

namespace paddock {

void MooController::determineNewDbName()
{
    // Placeholder until the template expansion lands: the default template.
    const String input = dbPath();
    setNewDbPath(makeString((input ? lastPathComponent(*input) : std::string()) + ".new"));
}

} // namespace paddock

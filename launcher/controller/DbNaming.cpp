// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "NameTemplate.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <chrono>

namespace paddock {

void MooController::determineNewDbName()
{
    // Always a new object, so the setter stores it and records it under MOOLastDBName.
    setNewDbPath(makeString(formNewDbName()));
}

std::string MooController::formNewDbName() const
{
    // The first world names its outputs from the standard store, as it always has; a further
    // world from its own group.
    const UserDefaults &store = m_prefsController && !worldGroup().isEmpty()
                                    ? m_prefsController->defaults()
                                    : UserDefaults::standardUserDefaults();
    // Class initialisation writes the template, so it is absent only if it was removed
    // since; the default then keeps a launch from handing the server a single name.
    const std::string nameTemplate =
        store.stringForKey(MOONewDBNameFormat).value_or(DefaultNewDBNameFormat);
    const String input = dbPath();
    return expandNameTemplate(
        nameTemplate, [&store] { return store.stringForKey(MOODateFormat); },
        std::chrono::system_clock::now(), input ? std::string_view(*input) : std::string_view());
}

} // namespace paddock

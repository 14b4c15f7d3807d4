// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <sys/random.h>
#include <unistd.h>

namespace paddock {

namespace {

std::once_flag initializeOnce;
bool initialized = false;

unsigned int seedFromEntropy()
{
    unsigned int seed = 0;
    if (::getrandom(&seed, sizeof seed, 0) == ssize_t(sizeof seed))
        return seed;
    // No entropy to be had (a very old kernel): mix what differs between two processes.
    return unsigned(::time(nullptr)) ^ (unsigned(::getpid()) << 16) ^ unsigned(::clock());
}

} // namespace

void MooController::writeFormatDefaults(UserDefaults &store)
{
    if (!store.hasKey(MOONewDBNameFormat))
        store.setString(MOONewDBNameFormat, DefaultNewDBNameFormat);
    if (!store.hasKey(MOODateFormat))
        store.setString(MOODateFormat, DefaultDateFormat);
}

void MooController::initialize()
{
    std::call_once(initializeOnce, [] {
        writeFormatDefaults(UserDefaults::standardUserDefaults());
        ::srandom(seedFromEntropy());
        initialized = true;
    });
}

bool MooController::isInitialized()
{
    return initialized;
}

} // namespace paddock

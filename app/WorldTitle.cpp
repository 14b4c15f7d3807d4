// SPDX-License-Identifier: MIT
#include "WorldTitle.h"

#include "ServerLife.h"
#include "StateWords.h"
#include "String.h"

namespace paddock {

QString worldName(std::string_view databasePath)
{
    const size_t slash = databasePath.rfind('/');
    return displayPath(slash == std::string_view::npos ? databasePath
                                                       : databasePath.substr(slash + 1));
}

QString worldStateWord(const ServerLife &life)
{
    return titleWords(statePhrase(life.state(), life.end()));
}

} // namespace paddock

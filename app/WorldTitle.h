// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <string_view>

namespace paddock {

class ServerLife;

/// The world as the window's title names it: its database's file name (empty without one).
QString worldName(std::string_view databasePath);
/// The server's state in a word or two, for the window's title.
QString worldStateWord(const ServerLife &life);

} // namespace paddock

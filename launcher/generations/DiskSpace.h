// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <string>

namespace paddock {

/// The warning for the database at path (in the operating system's bytes) of databaseBytes on
/// a file system with freeBytes free, or an empty text when there is room for two copies of it.
QString diskSpaceWarning(const std::string &path, qint64 freeBytes, qint64 databaseBytes);

/// The same for the database file at path, measured now; empty when either cannot be measured.
QString diskSpaceWarning(const std::string &path);

/// Whether a snapshot of a database of databaseBytes may be written where freeBytes are free:
/// it may take as much as the database, and twice the database must stay free for the
/// server's next dump. An unknown free space (negative) does not hold it back.
bool snapshotFits(qint64 freeBytes, qint64 databaseBytes);

} // namespace paddock

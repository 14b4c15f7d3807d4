// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace paddock {

/// The warning for a database of databaseBytes on a file system with freeBytes free, or an
/// empty text when there is room for two copies of it.
QString diskSpaceWarning(const QString &database, qint64 freeBytes, qint64 databaseBytes);

/// The same for the database file at path, measured now; empty when either cannot be measured.
QString diskSpaceWarning(const QString &path);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QStringList>

namespace paddock {

inline constexpr int DefaultArchiveKeep = 10;
inline constexpr int DefaultArchiveDays = 30;

/// Which of the file names in an archive folder to remove: per database name, the newest keep
/// archives and every one younger than days stay. Only names Paddock gives
/// (<name>.<YYYY-MM-DDTHHMMSS>[.zst]) are ever chosen; an archive present both uncompressed and
/// compressed is being compressed and stays; at least one archive per name always stays.
QStringList archivesToRemove(const QStringList &fileNames, const QDateTime &now,
                             int keep = DefaultArchiveKeep, int days = DefaultArchiveDays);

/// Removes from folder the archives archivesToRemove chooses; returns a sentence for each file
/// that could not be removed (empty when all went).
QStringList pruneArchive(const QString &folder, const QDateTime &now, int keep = DefaultArchiveKeep,
                         int days = DefaultArchiveDays);

} // namespace paddock

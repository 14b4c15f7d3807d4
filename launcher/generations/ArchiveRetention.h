// SPDX-License-Identifier: MIT
#pragma once

#include "HeldFolder.h"

#include <QDateTime>
#include <QStringList>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paddock {

inline constexpr int DefaultArchiveKeep = 10;
inline constexpr int DefaultArchiveDays = 30;

/// The parts of an archive's file name as Paddock gives it: <database>.<YYYY-MM-DDTHHMMSS>[.zst],
/// the time being when the run that read the database started.
struct ArchiveName {
    std::string database;
    QDateTime time;
    bool compressed = false;
};

/// The parts of fileName; none when Paddock gives no such name.
std::optional<ArchiveName> parseArchiveName(std::string_view fileName);

/// Which of the file names in an archive folder to remove: per database name, the newest keep
/// archives and every one younger than days stay. Only names Paddock gives
/// (<name>.<YYYY-MM-DDTHHMMSS>[.zst]) are ever chosen; an archive present both uncompressed and
/// compressed is being compressed and stays; at least one archive per name always stays.
std::vector<std::string> archivesToRemove(const std::vector<std::string> &fileNames,
                                          const QDateTime &now, int keep = DefaultArchiveKeep,
                                          int days = DefaultArchiveDays);

/// Records in folder's list of archives that fileName is an archive Paddock made, on disk
/// before it returns unless durable is false; throws RotationError when the list cannot be
/// written (or is a link).
void recordArchived(const HeldFolder &folder, const std::string &fileName, bool durable = true);
/// The names folder's list of archives holds; none when it is missing or not a regular file.
std::vector<std::string> archivedByPaddock(const HeldFolder &folder);
/// Drops from folder's list of archives the names whose files are gone (pruned, or removed by
/// the user) and names listed twice, so the list does not grow for ever; it is replaced whole,
/// and only when something goes. Throws RotationError when it cannot be replaced.
void forgetArchivesGone(const HeldFolder &folder);

/// Removes from folder (never a link) the archives archivesToRemove chooses among those Paddock
/// recorded; returns a sentence for each file that could not be removed (empty when all went).
QStringList pruneArchive(const std::string &folder, const QDateTime &now,
                         int keep = DefaultArchiveKeep, int days = DefaultArchiveDays);

} // namespace paddock

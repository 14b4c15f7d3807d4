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

/// How snapshots thin with age: every one younger than hours, the newest of each day for
/// days, the newest of each week for weeks, and always the newest of all.
struct SnapshotRetention {
    int hours = 24;
    int days = 30;
    int weeks = 52;
    bool operator==(const SnapshotRetention &) const = default;
};

/// The parts of a snapshot's file name: <database>.<YYYY-MM-DDTHHMMSS>[-N].snapshot[.zst], the
/// time being when its checkpoint finished and N telling apart snapshots of the same second.
struct SnapshotName {
    std::string database;
    QDateTime time;
    int repeat = 1;
    bool compressed = false;
};

/// The name (uncompressed) of database's snapshot taken at time; repeat above 1 adds "-N".
std::string snapshotFileName(const std::string &database, const QDateTime &time, int repeat = 1);
/// The parts of fileName; none when it is not a snapshot's name as Paddock gives it.
std::optional<SnapshotName> parseSnapshotName(std::string_view fileName);

/// Which of the compressed snapshots among fileNames to remove at now, per database, as
/// retention keeps them; names of any other form are never chosen.
std::vector<std::string> snapshotsToRemove(const std::vector<std::string> &fileNames,
                                           const QDateTime &now,
                                           const SnapshotRetention &retention);

/// The compressed snapshots folder's list of archives holds that are there as regular files.
std::vector<std::string> recordedSnapshots(const HeldFolder &folder);
/// Removes from folder the snapshots Paddock recorded there that retention no longer keeps;
/// returns a sentence for each that could not be removed.
QStringList pruneSnapshots(const HeldFolder &folder, const QDateTime &now,
                           const SnapshotRetention &retention);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "SnapshotRetention.h"
#include "UniqueFd.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace paddock {

/// A finished checkpoint held for its snapshot, so the server's next checkpoint, renamed over
/// the database's name, cannot change it: by a hard link archive/<name> (no bytes copied), or
/// where no link can be made there (archive/ on another file system) by the file held open.
struct HeldCheckpoint {
    std::string folder;             ///< the world's folder
    std::string database;           ///< the checkpoint's file name in it
    std::string name;               ///< the snapshot's name in archive/, before compression
    bool linked = false;            ///< archive/<name> is the link
    std::shared_ptr<UniqueFd> file; ///< otherwise, the checkpoint open for reading
};

/// What holding a checkpoint came to: held, or a sentence saying why not (skipped for want of
/// space, or refused).
struct HoldOutcome {
    std::optional<HeldCheckpoint> held;
    QString problem;
};

/// Holds the checkpoint at databasePath, finished at time: cheap enough for the event loop (a
/// few calls on file names, no byte copied). Refuses a database that is not a regular file (a
/// link is never followed) and skips one whose snapshot could leave less than twice its size
/// free beside archive/. Never replaces a name in archive/: a taken name gets a "-N".
HoldOutcome holdCheckpoint(const std::string &databasePath, const QDateTime &time);

/// What to do with a held checkpoint on the worker.
struct SnapshotPlan {
    QDateTime now;
    SnapshotRetention retention;
    std::string offsite; ///< the off-site folder, or empty for none
    SnapshotRetention offsiteRetention;
    /// Runs before the compression (for tests, which hold the worker there).
    std::function<void()> beforeCompression;
    /// Snapshots taken before this, left uncompressed by an earlier Paddock, are finished.
    QDateTime leftoversBefore;
};

/// What became of a snapshot.
struct SnapshotResult {
    QString text; ///< what was kept, or why nothing was
    bool kept = false;
    QString offsiteProblem; ///< why the off-site copy failed; empty when it worked or is off
};

/// On the worker: checks that the checkpoint ends as a database does (else keeps nothing),
/// compresses it into archive/<name>.zst (written as .zst.part, verified, renamed without
/// replacing), records it as Paddock's, removes the link, prunes archive/ and brings the
/// off-site folder up to date. Also finishes snapshots an earlier Paddock left uncompressed.
/// Never throws.
SnapshotResult finishSnapshot(const HeldCheckpoint &held, const SnapshotPlan &plan);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "HeldFolder.h"

#include <QString>

#include <optional>
#include <string>

namespace paddock {

/// The files of one rotation, by name: input and output in the world's folder, archive (the
/// archive before compression) in its archive/ folder.
struct RotationPlan {
    std::string input;
    std::string output;
    std::string archive;
    /// The renames are done: the world's database is under its name and only the archive's
    /// compression is left, which looks at no name a new run may take.
    bool inPlace = false;
};

/// The file in a world's folder that records its unfinished rotation.
inline const std::string JournalName = ".paddock-rotation";
/// The archive folder's name in a world's folder.
inline const std::string ArchiveFolderName = "archive";

/// Writes plan as folder's journal: under a temporary name made new, fsynced, then renamed
/// without replacing a journal already there, or over this rotation's own journal when
/// replacing is set. Throws RotationError.
void writeJournal(const HeldFolder &folder, const RotationPlan &plan, bool replacing = false);

/// What a world folder's journal says: a plan Paddock may act on, or the sentence refusing
/// it; neither when there is no journal.
struct JournalReading {
    std::optional<RotationPlan> plan;
    QString refusal;
};
/// Reads folder's journal. A journal is refused when it is not a regular file, names anything
/// but plain names in folder and its archive/, or finds a link (or anything but a file) at
/// one of those names or as archive/. Never throws.
JournalReading readJournal(const HeldFolder &folder);

/// A compression that failed for want of space: the archive it was for, and the bytes free
/// once its partial file was gone.
struct FullDisk {
    std::string archive;
    qint64 free = 0;
};
/// Records a failed compression in folder; false when even that could not be written.
bool recordFullDisk(const HeldFolder &folder, const FullDisk &failure);
/// The failed compression recorded in folder, if any.
std::optional<FullDisk> fullDiskRecord(const HeldFolder &folder);
/// Forgets the failed compression recorded in folder, so the next one is tried whatever is
/// free; throws RotationError.
void forgetFullDisk(const HeldFolder &folder);

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "RotationError.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <string>

namespace paddock {

class HeldFolder;

/// The moments between the steps of a rotation, where a crash can leave the files.
enum class RotationStep {
    JournalWritten,    ///< the plan is on disk, nothing moved yet
    InputArchived,     ///< the input database is in archive/ under its run's time
    OutputRenamed,     ///< the output database carries the input's name
    CompressedWritten, ///< the compressed copy is written and verified under a temporary name
    CompressedInPlace, ///< the compressed copy carries its final name
    UncompressedGone,  ///< the uncompressed archive is removed
};

/// Moves the previous database into archive/ after a clean stop, gives the output the world's
/// name and compresses the archived copy. Every step is recorded by a journal beside the
/// database, so a crash at any point leaves each database whole and recover() can finish.
/// A journal may have been put there by someone else: it only ever names files in its own
/// folder and archive/, every file is reached through the folder's descriptor, and no link
/// is followed. A compression that fails for want of space keeps the uncompressed archive
/// and waits until more space is free.
class DatabaseRotation final {
public:
    /// Called after each step; a test throws from it to stand in for a crash.
    using StepHook = std::function<void(RotationStep)>;
    /// How far to go: everything, or only until the world's database is back under its name
    /// (the renames), leaving the compression and the journal for a later recover(). From
    /// there on the journal records that only the archive is left, and its compression looks
    /// at no name a new run may take.
    enum class Until { Done, InPlace };

    /// Plans moving input aside and output into its place (paths in the operating system's
    /// bytes); started is the run's start time.
    DatabaseRotation(const std::string &input, const std::string &output, const QDateTime &started);

    /// The archived name before compression: <folder>/archive/<name>.<YYYY-MM-DDTHHMMSS>.
    const std::string &archivePath() const { return m_archive; }
    /// The journal's path for a database folder.
    static std::string journalPath(const std::string &folder);

    /// Runs every step on the calling thread; throws RotationError (also when the compression
    /// waits for space), or whatever hook throws. Input and output must be regular files in
    /// one folder.
    void run(const StepHook &hook = {}, Until until = Until::Done) const;

    /// Finishes a rotation a crash left in folder; returns an empty text when there was none or
    /// it is now complete, else a sentence: why its journal is refused, why the compression
    /// waits, or which database is the newest. Never throws.
    static QString recover(const std::string &folder, const StepHook &hook = {},
                           Until until = Until::Done);
    /// Whether folder holds the journal of an unfinished rotation that recover() acts on.
    static bool unfinishedIn(const std::string &folder);
    /// The sentence refusing folder's journal, which recover() never acts on; empty when there
    /// is none or it is one Paddock acts on.
    static QString journalRefusal(const std::string &folder);
    /// Whether folder's unfinished rotation has its renames done: the world's database is under
    /// its name, and only the archive's compression is left.
    static bool onlyCompressionLeftIn(const std::string &folder);
    /// Lets the next recover() try again a compression that failed for want of space, however
    /// much is free; for a user's Retry. Throws RotationError when that cannot be recorded.
    static void retryCompression(const std::string &folder);

private:
    DatabaseRotation(std::string input, std::string output, std::string archive, bool inPlace);
    QString continueFromFiles(const HeldFolder &world, const HeldFolder &archive,
                              const StepHook &hook, Until until) const;

    std::string m_input;
    std::string m_output;
    std::string m_archive;
    bool m_inPlace = false; // the renames are done: the input's and output's names are not looked at
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <stdexcept>

namespace paddock {

/// The moments between the steps of a rotation, where a crash can leave the files.
enum class RotationStep {
    JournalWritten,    ///< the plan is on disk, nothing moved yet
    InputArchived,     ///< the input database is in archive/ under its run's time
    OutputRenamed,     ///< the output database carries the input's name
    CompressedWritten, ///< the compressed copy is written and verified under a temporary name
    CompressedInPlace, ///< the compressed copy carries its final name
    UncompressedGone,  ///< the uncompressed archive is removed
};

/// A failure of a rotation step: the files are whole under some name and the journal stays.
class RotationError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Moves the previous database into archive/ after a clean stop, gives the output the world's
/// name and compresses the archived copy. Every step is recorded by a journal beside the
/// database, so a crash at any point leaves each database whole and recover() can finish.
class DatabaseRotation final {
public:
    /// Called after each step; a test throws from it to stand in for a crash.
    using StepHook = std::function<void(RotationStep)>;
    /// How far to go: everything, or only until the world's database is back under its name
    /// (the renames), leaving the compression and the journal for a later recover(). From
    /// there on the journal records that only the archive is left, and its compression looks
    /// at no name a new run may take.
    enum class Until { Done, InPlace };

    /// Plans moving input aside and output into its place; started is the run's start time.
    DatabaseRotation(QString input, QString output, const QDateTime &started);

    /// The archived name before compression: <folder>/archive/<name>.<YYYY-MM-DDTHHMMSS>.
    QString archivePath() const { return m_archive; }
    /// The journal's path for a database folder.
    static QString journalPath(const QString &folder);

    /// Runs every step on the calling thread; throws RotationError, or whatever hook throws.
    void run(const StepHook &hook = {}, Until until = Until::Done) const;

    /// Finishes a rotation a crash left in folder; returns an empty text when there was none or
    /// it is now complete, else a sentence naming the newest database. Never throws.
    static QString recover(const QString &folder, const StepHook &hook = {},
                           Until until = Until::Done);
    /// Whether folder holds the journal of an unfinished rotation.
    static bool unfinishedIn(const QString &folder);
    /// Whether folder's unfinished rotation has its renames done: the world's database is under
    /// its name, and only the archive's compression is left.
    static bool onlyCompressionLeftIn(const QString &folder);

private:
    DatabaseRotation(QString input, QString output, QString archive, bool inPlace);
    void continueFromFiles(const StepHook &hook, Until until) const;

    QString m_input;
    QString m_output;
    QString m_archive;
    bool m_inPlace =
        false; // the renames are done: the input's and output's names are not looked at
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "ArchiveRetention.h"
#include "DatabaseRotation.h"
#include "RunHistory.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <map>
#include <optional>
#include <string>

namespace paddock {

class MooController;
class Run;
class ServerLife;
class UserDefaults;

/// The archiving preferences as their readers take them: an absent or unreadable value is
/// the default (no rotation, DefaultArchiveKeep, DefaultArchiveDays).
struct ArchivePolicy {
    bool rotate = false;
    int keep = DefaultArchiveKeep;
    int days = DefaultArchiveDays;
};
ArchivePolicy archivePolicy(const UserDefaults &store);

/// Keeps a world's databases in order around each run: finishes a rotation a crash left
/// before a start, warns when the disk is too full for the next dump (before a start and
/// before a stop), records each run in the history, and after a clean stop rotates the
/// databases (when the user wants it) and prunes the archive. Everything that moves or
/// compresses a database runs on a worker, one per folder: a rename to another file system is
/// a copy. Until the renames are done, a start in that folder is refused with a sentence; the
/// compression after them looks at no name a new run may take, so a start may go ahead.
class DatabaseGenerations final : public QObject {
    Q_OBJECT
public:
    /// Follows controller and life, which must outlive this, and installs itself as the
    /// controller's check before each start.
    DatabaseGenerations(MooController &controller, ServerLife &life, QObject *parent = nullptr);
    ~DatabaseGenerations() override;
    Q_DISABLE_COPY_MOVE(DatabaseGenerations)

    /// Where runs are recorded (the state folder's history unless changed, for tests).
    void setHistory(RunHistory history) { m_history = std::move(history); }
    const RunHistory &history() const { return m_history; }
    /// How long to wait for a stopped server's last lines before deciding without them.
    void setOutputGrace(int milliseconds) { m_outputGrace.setInterval(milliseconds); }

    /// At Paddock's start: finishes a rotation left unfinished in the last world's folder,
    /// unless a server runs there. What cannot be finished is told through note.
    void recoverLastWorld();
    /// Called on the worker after each step of a rotation or recovery (for tests, which hold
    /// the worker there).
    void setStepHook(DatabaseRotation::StepHook hook) { m_stepHook = std::move(hook); }

    /// The check before a start on db: refuses it with a sentence while databases in its folder
    /// are being moved (or an unfinished rotation there must be finished first, which it
    /// begins), and warns of low disk space.
    std::string beforeStart(const std::string &db);

Q_SIGNALS:
    /// What the window should say about the world's databases: a rotation done or refused,
    /// a disk too full, a recovery; an empty text clears it. warning marks a problem.
    void note(const QString &text, bool warning);
    /// A rotation, with its compression and pruning, has ended (for tests and the Databases
    /// window); text as in note.
    void archivingFinished(const QString &text, bool warning);
    /// The renames of a rotation or recovery in folder have ended: the world's database is
    /// under its name again, or archivingFinished follows with why not.
    void renamesEnded(const std::string &folder);

private:
    struct Rotation {
        std::string input;
        std::string output;
        QDateTime started;
    };
    void onLifeChanged();
    void onRunStarted(const Run &run);
    void decideAfterStop();
    struct Work {
        bool renaming = true;            // the world's database may not be under its name
        std::optional<Rotation> waiting; // the next rotation, after this one's compression
    };
    void rotate(const Rotation &rotation);
    void archiveInBackground(const std::string &folder, const std::optional<Rotation> &rotation,
                             const QString &done);
    void renamesDone(const std::string &folder, const std::optional<Rotation> &rotation,
                     const QString &problem);
    void archivingDone(const std::string &folder, const QString &text, bool failed);
    void say(const QString &text, bool warning);
    ArchivePolicy policy() const;

    MooController &m_controller;
    ServerLife &m_life;
    RunHistory m_history;
    QTimer m_outputGrace;      // the wait for a stopped server's last lines
    bool m_stopWarned = false; // the disk was looked at for this stop
    bool m_endDecided = true;  // the current run's end needs no decision (yet)
    std::map<std::string, Work> m_work; // the folders a worker archives in
    std::map<std::string, QString>
        m_stuck; // folders whose unfinished rotation could not be finished
    DatabaseRotation::StepHook m_stepHook;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace paddock {

class UserDefaults;
class WorldServer;

/// The newest database of world, to start a copy of it from: the output of its last run when
/// that file is there, else the database that run started on; empty when neither is a regular
/// file (a link is never taken) or the world has not run.
std::string newestDatabase(const WorldServer &world);

/// Why folder cannot take a copy of the database at source under name, a sentence; empty when
/// it can. Refused: no folder, the database's own folder, a folder where name is taken, and a
/// folder that holds a database already (the copy's files would mix with another world's).
QString copyFolderProblem(const std::string &folder, const std::string &source,
                          const std::string &name);

/// Settles a duplicate world's settings: copy, when given, becomes the database its next Start
/// suggests; and its snapshots go to no off-site folder, where thinning them would thin the
/// original world's snapshots of the same name too.
void settleDuplicate(UserDefaults &settings, const std::string &copy);

/// One database copied into another folder for a duplicate world, on a worker thread (a
/// database can be gigabytes). The source is read without following a link; the copy is
/// written as "<name>.part" in the target folder, fsynced, then renamed to name without
/// replacing anything there. A failure or cancel removes the part, so the folder is left as it
/// was or with the whole copy.
class DatabaseCopy final : public QObject {
    Q_OBJECT
public:
    /// A copy of source into targetFolder under name; nothing happens before start().
    DatabaseCopy(std::string source, std::string targetFolder, std::string name,
                 QObject *parent = nullptr);
    /// Cancels a copy still running; its worker removes the part on its own.
    ~DatabaseCopy() override;
    Q_DISABLE_COPY_MOVE(DatabaseCopy)

    /// Starts the copy on the worker; finished() follows exactly once.
    void start();
    /// Stops the copy at its next chunk (before start(): at its first); finished() then says it
    /// was cancelled.
    void cancel();
    bool isRunning() const { return m_running; }
    /// The copy's path once in place.
    std::string targetPath() const;

Q_SIGNALS:
    /// Some more of the source's total bytes were copied; not for every chunk.
    void progressed(std::uint64_t copied, std::uint64_t total);
    /// The copy ended: problem is empty once it is in place, else why not (cancelled says
    /// whether by cancel()).
    void finished(const QString &problem, bool cancelled);

private:
    struct Shared;
    void report();

    std::string m_source;
    std::string m_folder;
    std::string m_name;
    std::shared_ptr<Shared> m_shared;
    bool m_running = false;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "RunHistory.h"

#include <QString>

#include <memory>

namespace paddock {

class DatabaseGenerations;
class MooController;
class ResponsivenessWatch;
class RunPlayers;
class ServerLife;
class Snapshots;
class UserDefaults;
class UserDefaultsController;

/// One world's server side: its controller on the world's settings, the server's life (stop,
/// Checkpoint Now, restarts), its databases' generations (rotation, archive, history), the
/// snapshots of its checkpoints, who is on and whether it answers, so that nothing one world
/// does reaches another's.
class WorldServer final {
public:
    /// Makes and owns the parts for world id on its settings; the world's runs are recorded in
    /// a history of its own.
    WorldServer(QString id, std::unique_ptr<UserDefaults> settings);
    /// Refers to parts made elsewhere (the first world's, which the interface makes); they
    /// must outlive this.
    WorldServer(QString id, MooController &controller, ServerLife &life,
                DatabaseGenerations &generations, Snapshots &snapshots);
    ~WorldServer();
    Q_DISABLE_COPY_MOVE(WorldServer)

    const QString &id() const { return m_id; }
    MooController &controller() const { return *m_controller; }
    ServerLife &life() const { return *m_life; }
    DatabaseGenerations &generations() const { return *m_generations; }
    Snapshots &snapshots() const { return *m_snapshots; }
    RunPlayers &players() const { return *m_players; }
    ResponsivenessWatch &watch() const { return *m_watch; }
    /// Whether the world's server process runs (also while it is being stopped).
    bool isRunning() const;
    /// The database the world runs or last ran on and its output name, resolved (from the
    /// world's history when this Paddock has not run it yet); empty paths before its first run.
    RunRecord lastRun() const;

private:
    QString m_id;
    // Owned parts, for a world made here; declared in the order they are made.
    std::unique_ptr<UserDefaults> m_ownSettings;
    std::unique_ptr<UserDefaultsController> m_ownPrefs;
    std::unique_ptr<MooController> m_ownController;
    std::unique_ptr<ServerLife> m_ownLife;
    std::unique_ptr<DatabaseGenerations> m_ownGenerations;
    std::unique_ptr<Snapshots> m_ownSnapshots;
    MooController *m_controller;
    ServerLife *m_life;
    DatabaseGenerations *m_generations;
    Snapshots *m_snapshots;
    std::unique_ptr<RunPlayers> m_players;
    std::unique_ptr<ResponsivenessWatch> m_watch;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "WorldServer.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace paddock {

class Worlds;

/// Every world's server side at once: a WorldServer for each world, a check before each
/// world's start that refuses a clash with another world's running server, and taking back,
/// at Paddock's start, each recorded server that still runs into its own world.
class WorldServers final : public QObject {
    Q_OBJECT
public:
    /// Server sides for each of worlds' worlds (worlds must outlive this). The first world's is
    /// first when given (the interface makes its parts), else made here like the others.
    explicit WorldServers(Worlds &worlds, std::unique_ptr<WorldServer> first = nullptr,
                          QObject *parent = nullptr);
    /// Withdraws the clash checks it installed, leaving each world's own; every server runs
    /// on, as when Paddock quits.
    ~WorldServers() override;
    Q_DISABLE_COPY_MOVE(WorldServers)

    /// The world's server side; null for an id that is no world.
    WorldServer *server(const QString &id) const;
    /// Takes back every recorded server that still runs, each into its world (see
    /// MooController::reattach), then finishes what rotation each world left unfinished in its
    /// last folder (DatabaseGenerations::recoverLastWorld).
    void reattachAll();
    /// Why a start of world id on db is refused: another world has its databases in the same
    /// folder (the one it runs or last ran on), or runs a server on a port this world would use
    /// (announced, or in the arguments). The sentence names the other world; empty when nothing
    /// clashes.
    QString clashFor(const QString &id, const std::string &db) const;
    /// Takes world id off the list unless its server runs; returns the sentence why not, or
    /// empty once removed. Its settings and files stay.
    QString remove(const QString &id);

private:
    void follow(std::unique_ptr<WorldServer> server);
    void worldsChanged();
    std::vector<int> portsOf(const WorldServer &server) const;

    Worlds &m_worlds;
    std::vector<std::unique_ptr<WorldServer>> m_servers;
};

} // namespace paddock

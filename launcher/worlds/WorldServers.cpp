// SPDX-License-Identifier: MIT
#include "WorldServers.h"

#include "DatabaseGenerations.h"
#include "MooController.h"
#include "RunHistory.h"
#include "ServerLife.h"
#include "String.h"
#include "UserDefaults.h"
#include "WorldClashes.h"
#include "Worlds.h"

#include <algorithm>

namespace paddock {

WorldServers::WorldServers(Worlds &worlds, std::unique_ptr<WorldServer> first, QObject *parent)
    : QObject(parent)
    , m_worlds(worlds)
{
    if (first)
        follow(std::move(first));
    worldsChanged();
    connect(&worlds, &Worlds::changed, this, &WorldServers::worldsChanged);
}

WorldServers::~WorldServers()
{
    // Parts made elsewhere outlive this: their starts go back to their own databases' check.
    for (const std::unique_ptr<WorldServer> &server : m_servers)
        server->controller().setBeforeStart(
            [&generations = server->generations()](const std::string &db) {
                return generations.beforeStart(db);
            });
}

void WorldServers::follow(std::unique_ptr<WorldServer> server)
{
    WorldServer &world = *server;
    // Each start looks at the other worlds first, then at its own databases.
    world.controller().setBeforeStart([this, &world](const std::string &db) {
        if (const QString clash = clashFor(world.id(), db); !clash.isEmpty())
            return pathBytes(clash);
        return world.generations().beforeStart(db);
    });
    m_servers.push_back(std::move(server));
}

void WorldServers::worldsChanged()
{
    // A world added since gets its server side; a removed one keeps its own until Paddock
    // quits, since remove() refuses while its server runs and it may still be archiving.
    for (const QString &id : m_worlds.ids())
        if (!server(id))
            follow(std::make_unique<WorldServer>(id, m_worlds.settings(id)));
}

WorldServer *WorldServers::server(const QString &id) const
{
    const auto found = std::find_if(m_servers.begin(), m_servers.end(),
                                    [&id](const auto &server) { return server->id() == id; });
    return found == m_servers.end() ? nullptr : found->get();
}

void WorldServers::reattachAll()
{
    for (const std::unique_ptr<WorldServer> &server : m_servers)
        if (m_worlds.contains(server->id()))
            server->controller().reattach();
    // After every world has its server back: a folder a server runs in is left alone.
    for (const std::unique_ptr<WorldServer> &server : m_servers)
        if (m_worlds.contains(server->id()))
            server->generations().recoverLastWorld();
}

std::vector<int> WorldServers::portsOf(const WorldServer &server) const
{
    std::vector<int> ports;
    if (const UserDefaultsController *prefs = server.controller().prefsController())
        ports = portArguments(prefs->defaults());
    // The ports its server announced: the same again when the arguments name none.
    for (const int port : server.life().ports())
        ports.push_back(port);
    return ports;
}

QString WorldServers::clashFor(const QString &id, const std::string &db) const
{
    const WorldServer *starting = server(id);
    if (!starting)
        return {};
    const std::vector<int> ports = portsOf(*starting);
    for (const std::unique_ptr<WorldServer> &other : m_servers) {
        if (other.get() == starting || !m_worlds.contains(other->id()))
            continue;
        const QString name = m_worlds.name(other->id());
        // Running or not: its log file, archive and rotation journal are in its folder.
        if (const std::string otherDb = other->lastRun().input;
            !otherDb.empty() && sameDatabaseFolder(otherDb, db))
            return tr("The world “%1” has its databases in “%2”, and two worlds in one folder "
                      "would write the same log file, archive and databases. Give this world a "
                      "folder of its own.")
                .arg(name, displayPath(folderOf(absolutePath(db))));
        if (!other->isRunning())
            continue;
        const std::vector<int> otherPorts = portsOf(*other);
        for (const int port : ports)
            if (std::find(otherPorts.begin(), otherPorts.end(), port) != otherPorts.end())
                return tr("The world “%1” uses port %2, which this world would listen on too. "
                          "Give one of them another port in its arguments, or stop “%1” first.")
                    .arg(name)
                    .arg(port);
    }
    return {};
}

QString WorldServers::remove(const QString &id)
{
    if (const WorldServer *world = server(id); world && world->isRunning())
        return tr("The world “%1” runs a server: stop it before removing the world.")
            .arg(m_worlds.name(id));
    if (!m_worlds.remove(id))
        return tr("The world “%1” cannot be removed.").arg(m_worlds.name(id));
    return {};
}

} // namespace paddock

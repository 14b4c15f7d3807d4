// SPDX-License-Identifier: MIT
#include "WorldServer.h"

#include "DatabaseGenerations.h"
#include "MooController.h"
#include "OutputDatabase.h"
#include "ResponsivenessWatch.h"
#include "RunHistory.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "Snapshots.h"
#include "String.h"
#include "UserDefaults.h"

namespace paddock {

WorldServer::WorldServer(QString id, std::unique_ptr<UserDefaults> settings)
    : m_id(std::move(id))
    , m_ownSettings(std::move(settings))
    , m_ownPrefs(std::make_unique<UserDefaultsController>(*m_ownSettings))
    , m_ownController(std::make_unique<MooController>())
    , m_ownLife(std::make_unique<ServerLife>(*m_ownController))
    , m_ownGenerations(std::make_unique<DatabaseGenerations>(*m_ownController, *m_ownLife))
    , m_ownSnapshots(std::make_unique<Snapshots>(*m_ownController))
    , m_controller(m_ownController.get())
    , m_life(m_ownLife.get())
    , m_generations(m_ownGenerations.get())
    , m_snapshots(m_ownSnapshots.get())
    , m_players(std::make_unique<RunPlayers>(*m_controller))
    , m_watch(std::make_unique<ResponsivenessWatch>(*m_controller))
{
    m_ownController->connectOutlets(m_ownPrefs.get(), nullptr, nullptr);
    m_ownController->awakeFromNib();
    m_ownLife->setStopGracePeriod(std::chrono::milliseconds(10000));
    // The last run in a world's history is the one whose folder a recovery looks at: each world
    // has its own.
    const std::string shared = RunHistory::defaultPath();
    if (!m_id.isEmpty())
        m_ownGenerations->setHistory(
            RunHistory(shared.empty() ? shared : shared + '-' + m_id.toStdString()));
}

WorldServer::WorldServer(QString id, MooController &controller, ServerLife &life,
                         DatabaseGenerations &generations, Snapshots &snapshots)
    : m_id(std::move(id))
    , m_controller(&controller)
    , m_life(&life)
    , m_generations(&generations)
    , m_snapshots(&snapshots)
    , m_players(std::make_unique<RunPlayers>(*m_controller))
    , m_watch(std::make_unique<ResponsivenessWatch>(*m_controller))
{}

WorldServer::~WorldServer() = default;

bool WorldServer::isRunning() const
{
    const std::shared_ptr<Task> task = m_controller->task();
    return task && task->isRunning();
}

RunRecord WorldServer::lastRun() const
{
    if (const String db = m_controller->dbPath(); db && !db->empty()) {
        const String output = m_controller->newDbPath();
        return {{}, *db, output && !output->empty() ? resolvedOutputPath(*db, *output) : ""};
    }
    const QList<RunRecord> runs = m_generations->history().runs();
    return runs.isEmpty() ? RunRecord() : runs.constLast();
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "WorldDatabases.h"

#include "DatabaseGenerations.h"
#include "DatabasesWindow.h"
#include "MooController.h"
#include "RunHistory.h"
#include "Snapshots.h"
#include "String.h"
#include "WorldServer.h"

namespace paddock {

WorldDatabases::WorldDatabases(WorldServer &server, QWidget &parent, Perform perform,
                               QObject *owner)
    : QObject(owner)
    , m_server(server)
    , m_parent(parent)
    , m_perform(std::move(perform))
{}

WorldDatabases::~WorldDatabases()
{
    delete m_window.data(); // its start goes through this
}

std::string WorldDatabases::worldDatabase() const
{
    if (const String db = m_server.controller().dbPath(); db && !db->empty())
        return *db;
    const QList<RunRecord> runs = m_server.generations().history().runs();
    return runs.isEmpty() ? std::string() : runs.last().input;
}

void WorldDatabases::make()
{
    MooController *controller = &m_server.controller();
    m_window = new DatabasesWindow(
        [this, controller](const std::string &db) {
            bool running = false;
            m_perform([&] { running = controller->startFromDatabase(db); });
            return running;
        },
        m_server.generations().history(), &m_parent);
    DatabasesWindow *window = m_window;
    connect(controller, &MooController::isMooRunningChanged, window,
            &DatabasesWindow::setServerRunning);
    connect(controller, &MooController::dbPathChanged, window,
            [this, window] { window->setWorldDatabase(worldDatabase()); });
    // Archiving renames and prunes what the window lists.
    const auto refresh = [window] {
        if (window->isVisible())
            window->refresh();
    };
    connect(&m_server.generations(), &DatabaseGenerations::renamesEnded, window, refresh);
    connect(&m_server.generations(), &DatabaseGenerations::archivingFinished, window, refresh);
    connect(&m_server.snapshots(), &Snapshots::finished, window, refresh);
}

void WorldDatabases::show()
{
    if (!m_window)
        make();
    m_window->setServerRunning(m_server.controller().isMooRunning());
    m_window->setWorldDatabase(worldDatabase());
    if (m_window->isVisible())
        m_window->refresh();
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

bool WorldDatabases::hide()
{
    if (!m_window || !m_window->isVisible())
        return false;
    m_window->hide();
    return true;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "SettingsKeys.h"
#include "TestSupport.h"
#include "UserDefaults.h"
#include "WorldServers.h"
#include "Worlds.h"

#include <QDir>
#include <QTemporaryDir>

namespace paddock::test {

/// The second world's id.
inline const QString Second = QStringLiteral("World2");

/// Two worlds on one settings file: the first, and "Test copy", both running the stand-in.
struct TwoWorlds {
    TwoWorlds()
        : store(osPath(folder.filePath(QStringLiteral("paddock.conf"))))
        , worlds(store)
    {
        store.setString(MOOExecutableURL, standInServerPath());
        worlds.add(QStringLiteral("Test copy"));
        worlds.settings(Second)->setString(MOOExecutableURL, standInServerPath());
    }
    void addWorld(const QString &name)
    {
        const std::optional<QString> id = worlds.add(name);
        QVERIFY(id);
        worlds.settings(*id)->setString(MOOExecutableURL, standInServerPath());
    }
    QTemporaryDir folder;
    UserDefaults store;
    Worlds worlds;
};

inline MooController &controllerOf(const WorldServers &servers, const QString &id)
{
    return servers.server(id)->controller();
}

/// Starts world id on a new database with script in its own folder below base.
inline bool start(const WorldServers &servers, const QString &id, const QString &base,
                  const std::string &script)
{
    const QString folder = base + u'/' + (id.isEmpty() ? QStringLiteral("first") : id);
    QDir().mkpath(folder);
    return controllerOf(servers, id).startFromDatabase(writeDatabase(folder, "castle.db", script));
}

} // namespace paddock::test

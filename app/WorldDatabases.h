// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace paddock {

class DatabasesWindow;
class WorldServer;

/// One world's Databases window, made when first asked: its database, outputs and archive,
/// listed again as rotation, archiving and snapshots change them, and starts from it through
/// the world's controller.
class WorldDatabases final : public QObject {
    Q_OBJECT
public:
    /// Runs work, showing what it throws; returns whether it completed.
    using Perform = std::function<bool(const std::function<void()> &work)>;

    /// For server (which must outlive this); the window is a child of parent.
    WorldDatabases(WorldServer &server, QWidget &parent, Perform perform, QObject *owner = nullptr);
    ~WorldDatabases() override;
    Q_DISABLE_COPY_MOVE(WorldDatabases)

    /// Shows the window, listed again, raised and activated.
    void show();
    /// Hides the window; returns whether it was shown.
    bool hide();

private:
    // The world is the database the server runs or last ran on; in a new sitting of Paddock,
    // the one the newest recorded run started from.
    std::string worldDatabase() const;
    void make();

    WorldServer &m_server;
    QWidget &m_parent;
    Perform m_perform;
    QPointer<DatabasesWindow> m_window; // owned by the parent, made when first asked
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QSet>
#include <QString>
#include <QWidget>

class QListWidget;
class QListWidgetItem;

namespace paddock {

class WorldServer;
class WorldServers;
class Worlds;

/// The worlds beside the log, each with its name and its state at a glance (running and who is
/// on, not responding, crashed...), kept up to date from each world's own signals. One world is
/// always the current one; the arrow keys move between them. Wanted only once there is more
/// than one world: a user with one sees nothing new.
class WorldList final : public QWidget {
    Q_OBJECT
public:
    /// Lists worlds with the states of servers' worlds; both must outlive this. The first world
    /// is current to begin with.
    WorldList(Worlds &worlds, WorldServers &servers, QWidget *parent = nullptr);
    ~WorldList() override;
    Q_DISABLE_COPY_MOVE(WorldList)

    /// The current world's id (the first world's is empty).
    QString currentWorld() const { return m_current; }
    /// Makes id current, emitting currentWorldChanged; an id that is no world changes nothing.
    void setCurrentWorld(const QString &id);
    /// Whether the list is worth showing: there is more than one world.
    bool wanted() const { return m_wanted; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    /// Another world became current: chosen by the user, set, or the current one removed.
    void currentWorldChanged(const QString &id);
    void wantedChanged(bool wanted);

protected:
    void changeEvent(QEvent *event) override;

private:
    void rebuild();
    void follow(const WorldServer &server);
    void refreshRow(const QString &id);
    QListWidgetItem *itemFor(const QString &id) const;
    void onCurrentItemChanged(QListWidgetItem *item);

    Worlds &m_worlds;
    WorldServers &m_servers;
    QListWidget *m_list;
    QSet<QString> m_followed; // worlds whose signals reach the list already
    QString m_current;
    bool m_wanted = false;
};

} // namespace paddock

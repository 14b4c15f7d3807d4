// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QAction;
class QWidget;

namespace paddock {

class WorldServers;
class Worlds;

/// The actions on worlds: New World…, Duplicate World…, Rename World… and Remove World, each on
/// the selected world, asking in dialogs on a parent window. Their enabled states and tool tips
/// follow the selected world: the first world cannot be removed.
class WorldActions final : public QObject {
    Q_OBJECT
public:
    /// The selected world's id, asked each time an action runs.
    using Selected = std::function<QString()>;

    /// Acts on worlds and servers (which must outlive this), on the world selected names, with
    /// dialogs on window.
    WorldActions(Worlds &worlds, WorldServers &servers, Selected selected, QWidget *window,
                 QObject *parent = nullptr);
    ~WorldActions() override;
    Q_DISABLE_COPY_MOVE(WorldActions)

    QAction *newWorld() const { return m_new; }
    QAction *duplicateWorld() const { return m_duplicate; }
    QAction *renameWorld() const { return m_rename; }
    QAction *removeWorld() const { return m_remove; }
    /// All four, in menu order.
    QList<QAction *> actions() const;

    /// Sets the enabled states and tool tips for the selected world; call it when the selection
    /// changes (changes to the worlds themselves are followed here).
    void selectionChanged();

Q_SIGNALS:
    /// A world was added (new or duplicated), so the window can select it.
    void worldAdded(const QString &id);

private:
    void askNew();
    void askDuplicate();
    void askRename();
    void askRemove();

    Worlds &m_worlds;
    WorldServers &m_servers;
    Selected m_selected;
    QWidget *m_window;
    QAction *m_new;
    QAction *m_duplicate;
    QAction *m_rename;
    QAction *m_remove;
};

} // namespace paddock

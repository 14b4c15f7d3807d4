// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace paddock {

class UserDefaults;

/// The worlds Paddock keeps, each a named set of settings in the one settings file. The first
/// world's settings are the keys outside every group, exactly as before there were several, so
/// a user with one world finds the file unchanged; each further world's are in a group of its
/// own ("World2/..."), listed under MOOWorlds and named under MOOWorldName in its group. The
/// first world is named under MOOWorldName too, once renamed. A world's id is its group (empty
/// for the first). Removing a world takes it off the list only: its settings stay in the file
/// and its files on disk.
class Worlds final : public QObject {
    Q_OBJECT
public:
    /// The worlds kept in store, the whole file's store (no group), which must outlive this.
    explicit Worlds(UserDefaults &store, QObject *parent = nullptr);
    ~Worlds() override;
    Q_DISABLE_COPY_MOVE(Worlds)

    /// The first world's id.
    static QString firstWorld() { return {}; }
    /// Every world's id, the first world first, the others in the order they were added.
    QStringList ids() const;
    bool contains(const QString &id) const;
    /// The world's name as the user gave it; the first world, never named, is "First world".
    QString name(const QString &id) const;
    /// A store that reads and writes the world's settings by their usual keys.
    std::unique_ptr<UserDefaults> settings(const QString &id) const;

    /// Why name cannot name a world (empty, or the name of another world than except); empty
    /// when it can.
    QString nameProblem(const QString &name,
                        const std::optional<QString> &except = std::nullopt) const;
    /// Adds a world called name with the name formats' defaults; returns its id, or none
    /// (nothing stored) when nameProblem refuses the name.
    std::optional<QString> add(const QString &name);
    /// Adds a world called name with a copy of id's settings (its files are not copied); returns
    /// the new id, or none when id is no world or the name is refused.
    std::optional<QString> duplicate(const QString &id, const QString &name);
    /// Renames id; false, storing nothing, when id is no world or the name is refused.
    bool rename(const QString &id, const QString &name);
    /// Takes id off the list; false for the first world, whose settings are the file's own
    /// keys, and for an id that is no world. Deletes no file and no setting.
    bool remove(const QString &id);

Q_SIGNALS:
    /// A world was added, renamed or removed.
    void changed();

private:
    QStringList furtherWorlds() const;
    void setFurtherWorlds(const QStringList &ids);
    QString unusedId() const;

    UserDefaults &m_store;
};

} // namespace paddock

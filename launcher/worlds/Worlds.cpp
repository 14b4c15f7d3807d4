// SPDX-License-Identifier: MIT
#include "Worlds.h"

#include "MooController.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QRegularExpression>

namespace paddock {

namespace {

// The further worlds' groups, separated by spaces.
const QString WorldList = QStringLiteral("MOOWorlds");
// A world's name, in its group (the first world's outside every group).
const QString WorldName = QStringLiteral("MOOWorldName");

// The only groups taken as worlds: a list edited by hand cannot make a world of the file's
// [General] section or of another group's keys.
bool isFurtherWorldId(const QString &id)
{
    static const QRegularExpression pattern(QStringLiteral("^World[1-9][0-9]{0,5}$"));
    return pattern.match(id).hasMatch();
}

} // namespace

Worlds::Worlds(UserDefaults &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{}

Worlds::~Worlds() = default;

QStringList Worlds::furtherWorlds() const
{
    QStringList ids;
    const std::string list = m_store.stringForKey(WorldList).value_or(std::string());
    for (const QString &id : QString::fromStdString(list).split(u' ', Qt::SkipEmptyParts))
        if (isFurtherWorldId(id) && !ids.contains(id))
            ids.append(id);
    return ids;
}

void Worlds::setFurtherWorlds(const QStringList &ids)
{
    m_store.setString(WorldList, ids.join(u' ').toStdString());
}

QStringList Worlds::ids() const
{
    return QStringList{firstWorld()} + furtherWorlds();
}

bool Worlds::contains(const QString &id) const
{
    return id == firstWorld() || furtherWorlds().contains(id);
}

QString Worlds::name(const QString &id) const
{
    const std::optional<std::string> stored = settings(id)->stringForKey(WorldName);
    if (stored && !QString::fromStdString(*stored).trimmed().isEmpty())
        return QString::fromStdString(*stored).trimmed();
    return id == firstWorld() ? tr("First world") : id;
}

std::unique_ptr<UserDefaults> Worlds::settings(const QString &id) const
{
    return std::make_unique<UserDefaults>(m_store.filePath(), id);
}

QString Worlds::nameProblem(const QString &name, const std::optional<QString> &except) const
{
    const QString wanted = name.trimmed();
    if (wanted.isEmpty())
        return tr("A world needs a name.");
    for (const QString &id : ids())
        if (id != except && this->name(id).compare(wanted, Qt::CaseInsensitive) == 0)
            return tr("There is a world called “%1” already.").arg(this->name(id));
    return {};
}

QString Worlds::unusedId() const
{
    // A removed world's settings stay in the file: its group is never given to a new world,
    // which would inherit them.
    const QStringList taken = furtherWorlds();
    for (int number = 2;; ++number) {
        const QString id = QStringLiteral("World%1").arg(number);
        if (!taken.contains(id) && settings(id)->keys().isEmpty())
            return id;
    }
}

std::optional<QString> Worlds::add(const QString &name)
{
    if (!nameProblem(name).isEmpty())
        return std::nullopt;
    const QString id = unusedId();
    const std::unique_ptr<UserDefaults> store = settings(id);
    store->setString(WorldName, name.trimmed().toStdString());
    MooController::writeFormatDefaults(*store);
    setFurtherWorlds(furtherWorlds() << id);
    Q_EMIT changed();
    return id;
}

std::optional<QString> Worlds::duplicate(const QString &id, const QString &name)
{
    if (!contains(id) || !nameProblem(name).isEmpty())
        return std::nullopt;
    const std::unique_ptr<UserDefaults> source = settings(id);
    const QString copy = unusedId();
    const std::unique_ptr<UserDefaults> target = settings(copy);
    target->setString(WorldName, name.trimmed().toStdString());
    for (const QString &key : source->keys())
        if (key != WorldName && key != WorldList)
            target->setString(key, source->stringForKey(key).value_or(std::string()));
    setFurtherWorlds(furtherWorlds() << copy);
    Q_EMIT changed();
    return copy;
}

bool Worlds::rename(const QString &id, const QString &name)
{
    if (!contains(id) || !nameProblem(name, id).isEmpty())
        return false;
    settings(id)->setString(WorldName, name.trimmed().toStdString());
    Q_EMIT changed();
    return true;
}

bool Worlds::remove(const QString &id)
{
    QStringList further = furtherWorlds();
    if (id == firstWorld() || !further.removeOne(id))
        return false;
    setFurtherWorlds(further);
    Q_EMIT changed();
    return true;
}

} // namespace paddock

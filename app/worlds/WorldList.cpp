// SPDX-License-Identifier: MIT
#include "WorldList.h"

#include "ResponsivenessWatch.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "WorldGlance.h"
#include "WorldServers.h"
#include "Worlds.h"

#include <QEvent>
#include <QListWidget>
#include <QVBoxLayout>

namespace paddock {

namespace {

constexpr int IdRole = Qt::UserRole;

} // namespace

WorldList::WorldList(Worlds &worlds, WorldServers &servers, QWidget *parent)
    : QWidget(parent)
    , m_worlds(worlds)
    , m_servers(servers)
    , m_list(new QListWidget(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);
    m_list->setAccessibleName(tr("Worlds"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    // Any width works: long names and states are cut short with an ellipsis, never scrolled
    // sideways; the whole text is in the tool tip and the accessible name.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideRight);
    m_list->setWordWrap(false);
    m_list->setUniformItemSizes(true);
    // Each world's two lines stand apart from the next world's.
    m_list->setSpacing(2);
    setFocusProxy(m_list);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    connect(m_list, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem *item) { onCurrentItemChanged(item); });
    // Connected after WorldServers' own, so a new world's server side exists when this runs.
    connect(&worlds, &Worlds::changed, this, &WorldList::rebuild);
    rebuild();
}

WorldList::~WorldList() = default;

QSize WorldList::sizeHint() const
{
    return {fontMetrics().averageCharWidth() * 26, QWidget::sizeHint().height()};
}

QSize WorldList::minimumSizeHint() const
{
    // Room for a short name and a state's first words; the rest is elided.
    return {fontMetrics().averageCharWidth() * 12, fontMetrics().height() * 3};
}

QListWidgetItem *WorldList::itemFor(const QString &id) const
{
    for (int row = 0; row < m_list->count(); ++row)
        if (m_list->item(row)->data(IdRole).toString() == id)
            return m_list->item(row);
    return nullptr;
}

void WorldList::setCurrentWorld(const QString &id)
{
    if (QListWidgetItem *item = itemFor(id))
        m_list->setCurrentItem(item);
}

void WorldList::onCurrentItemChanged(QListWidgetItem *item)
{
    if (!item)
        return;
    const QString id = item->data(IdRole).toString();
    if (id == m_current)
        return;
    m_current = id;
    Q_EMIT currentWorldChanged(id);
}

void WorldList::follow(const WorldServer &server)
{
    if (m_followed.contains(server.id()))
        return;
    m_followed.insert(server.id());
    const auto refresh = [this, id = server.id()] { refreshRow(id); };
    connect(&server.life(), &ServerLife::changed, this, refresh);
    connect(&server.players(), &RunPlayers::changed, this, refresh);
    connect(&server.watch(), &ResponsivenessWatch::stateChanged, this, refresh);
}

void WorldList::rebuild()
{
    const QStringList ids = m_worlds.ids();
    {
        const QSignalBlocker quiet(m_list);
        m_list->clear();
        for (const QString &id : ids) {
            auto *item = new QListWidgetItem(m_list);
            item->setData(IdRole, id);
            if (const WorldServer *server = m_servers.server(id))
                follow(*server);
            refreshRow(id);
        }
    }
    // The current world stays current; once it is removed, the first world is.
    const QString current = ids.contains(m_current) ? m_current : ids.constFirst();
    const bool moved = current != m_current;
    m_current = current;
    m_list->setCurrentItem(itemFor(current));
    if (moved)
        Q_EMIT currentWorldChanged(current);
    if (const bool wanted = ids.size() > 1; wanted != m_wanted) {
        m_wanted = wanted;
        Q_EMIT wantedChanged(wanted);
    }
}

void WorldList::refreshRow(const QString &id)
{
    QListWidgetItem *item = itemFor(id);
    if (!item)
        return; // a removed world's server still ends its run
    const QString name = m_worlds.name(id);
    const WorldServer *server = m_servers.server(id);
    const WorldGlance glance = server ? worldGlance(*server) : WorldGlance();
    item->setText(name + u'\n' + glance.text);
    item->setData(Qt::AccessibleTextRole, tr("%1: %2").arg(name, glance.text));
    item->setToolTip(glance.details.isEmpty() ? name + u'\n' + glance.text
                                              : name + u'\n' + glance.details);
    if (glance.warning)
        item->setForeground(warningColour(m_list->palette(), *glance.warning, QPalette::Base));
    else
        item->setData(Qt::ForegroundRole, QVariant());
}

void WorldList::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The warning colours read on the theme's background: worked out again for a new one.
    if (event->type() == QEvent::PaletteChange)
        for (const QString &id : m_worlds.ids())
            refreshRow(id);
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "WorldActions.h"

#include "DuplicateWorldDialog.h"
#include "WorldNameDialog.h"
#include "WorldServers.h"
#include "Worlds.h"

#include <QAction>
#include <QMessageBox>
#include <QPushButton>

namespace paddock {

WorldActions::WorldActions(Worlds &worlds, WorldServers &servers, Selected selected,
                           QWidget *window, QObject *parent)
    : QObject(parent)
    , m_worlds(worlds)
    , m_servers(servers)
    , m_selected(std::move(selected))
    , m_window(window)
    , m_new(new QAction(tr("&New World…"), this))
    , m_duplicate(new QAction(tr("D&uplicate World…"), this))
    , m_rename(new QAction(tr("Rena&me World…"), this))
    , m_remove(new QAction(tr("Remo&ve World"), this))
{
    // Clear of the window's own (Ctrl+D opens the databases); F2 renames, as in file managers.
    m_new->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N));
    m_duplicate->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    m_rename->setShortcut(QKeySequence(Qt::Key_F2));
    m_new->setObjectName(QStringLiteral("actionNewWorld"));
    m_duplicate->setObjectName(QStringLiteral("actionDuplicateWorld"));
    m_rename->setObjectName(QStringLiteral("actionRenameWorld"));
    m_remove->setObjectName(QStringLiteral("actionRemoveWorld"));
    connect(m_new, &QAction::triggered, this, &WorldActions::askNew);
    connect(m_duplicate, &QAction::triggered, this, &WorldActions::askDuplicate);
    connect(m_rename, &QAction::triggered, this, &WorldActions::askRename);
    connect(m_remove, &QAction::triggered, this, &WorldActions::askRemove);
    connect(&worlds, &Worlds::changed, this, &WorldActions::selectionChanged);
    selectionChanged();
}

WorldActions::~WorldActions() = default;

QList<QAction *> WorldActions::actions() const
{
    return {m_new, m_duplicate, m_rename, m_remove};
}

void WorldActions::selectionChanged()
{
    const QString id = m_selected();
    const bool known = m_worlds.contains(id);
    m_duplicate->setEnabled(known);
    m_rename->setEnabled(known);
    m_remove->setEnabled(known && id != Worlds::firstWorld());
    m_remove->setToolTip(id == Worlds::firstWorld()
                             ? tr("The first world cannot be removed: its settings are Paddock's "
                                  "own.")
                             : tr("Takes the world off the list; no file is deleted."));
}

void WorldActions::askNew()
{
    auto *dialog = new WorldNameDialog(
        tr("New World"), tr("&Name of the new world:"), QString(),
        [this](const QString &name) { return m_worlds.nameProblem(name); }, m_window);
    dialog->setObjectName(QStringLiteral("newWorldDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        if (const std::optional<QString> id = m_worlds.add(dialog->name()))
            Q_EMIT worldAdded(*id);
    });
    dialog->open();
}

void WorldActions::askDuplicate()
{
    const WorldServer *server = m_servers.server(m_selected());
    if (!server || !m_worlds.contains(server->id()))
        return;
    auto *dialog = new DuplicateWorldDialog(m_worlds, *server, m_window);
    dialog->setObjectName(QStringLiteral("duplicateWorldDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &DuplicateWorldDialog::duplicated, this, &WorldActions::worldAdded);
    dialog->open();
}

void WorldActions::askRename()
{
    const QString id = m_selected();
    if (!m_worlds.contains(id))
        return;
    auto *dialog = new WorldNameDialog(
        tr("Rename World"), tr("&New name of “%1”:").arg(m_worlds.name(id)), m_worlds.name(id),
        [this, id](const QString &name) { return m_worlds.nameProblem(name, id); }, m_window);
    dialog->setObjectName(QStringLiteral("renameWorldDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this,
            [this, dialog, id] { m_worlds.rename(id, dialog->name()); });
    dialog->open();
}

void WorldActions::askRemove()
{
    const QString id = m_selected();
    if (!m_worlds.contains(id) || id == Worlds::firstWorld())
        return;
    const QString name = m_worlds.name(id);
    QMessageBox question(QMessageBox::Question, tr("Paddock"),
                         tr("Remove the world “%1” from the list?").arg(name),
                         QMessageBox::NoButton, m_window);
    question.setObjectName(QStringLiteral("removeWorldQuestion"));
    question.setInformativeText(tr("No file is deleted: its databases, log and archive stay in "
                                   "their folder, and its settings stay in Paddock's settings "
                                   "file."));
    QPushButton *remove = question.addButton(tr("&Remove World"), QMessageBox::AcceptRole);
    QPushButton *cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.exec();
    if (question.clickedButton() != remove)
        return;
    if (const QString refusal = m_servers.remove(id); !refusal.isEmpty()) {
        QMessageBox refused(QMessageBox::Warning, tr("Paddock"), refusal, QMessageBox::Ok,
                            m_window);
        refused.setObjectName(QStringLiteral("removeWorldRefused"));
        refused.exec();
    }
}

} // namespace paddock

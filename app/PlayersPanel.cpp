// SPDX-License-Identifier: MIT
#include "PlayersPanel.h"

#include "PlayersModel.h"
#include "RunPlayers.h"
#include "ServerStatus.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

namespace paddock {

PlayersPanel::PlayersPanel(const RunPlayers &players, QWidget *parent)
    : QDockWidget(tr("Players"), parent)
    , m_players(&players)
    , m_model(new PlayersModel(players, this))
    , m_summary(new QLabel(this))
    , m_view(new QTreeView(this))
{
    // Its placement is remembered with the window's under this name.
    setObjectName(QStringLiteral("playersPanel"));
    // Docked only: a floating panel's button cannot be reached from the keyboard, and the View
    // menu closes it as its close button does.
    setFeatures(DockWidgetClosable | DockWidgetMovable);
    toggleViewAction()->setText(tr("&Players"));
    toggleViewAction()->setStatusTip(tr("Shows who is on the world, since when and from where"));

    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setUniformRowHeights(true);
    m_view->setAlternatingRowColors(true);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setAllColumnsShowFocus(true);
    m_view->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_view->setAccessibleName(tr("Players on the world"));
    m_summary->setBuddy(m_view);
    m_summary->setWordWrap(true);

    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(m_summary);
    layout->addWidget(m_view);
    setWidget(content);

    connect(&players, &RunPlayers::changed, this, &PlayersPanel::updateSummary);
    updateSummary();
}

void PlayersPanel::setPlayers(const RunPlayers &players)
{
    if (&players == m_players)
        return;
    disconnect(m_players, nullptr, this, nullptr);
    m_players = &players;
    PlayersModel *previous = m_model;
    m_model = new PlayersModel(players, this);
    m_view->setModel(m_model);
    delete previous;
    connect(&players, &RunPlayers::changed, this, &PlayersPanel::updateSummary);
    updateSummary();
}

QString PlayersPanel::summary() const
{
    return m_summary->text();
}

void PlayersPanel::updateSummary()
{
    QString text = tr("No server is running.");
    if (m_players->following())
        text = m_players->count() == 0 ? tr("No one is on.")
                                       : ServerStatus::playersText(m_players->count()) + u'.';
    m_summary->setText(text);
    m_view->setAccessibleDescription(text);
}

} // namespace paddock

// SPDX-License-Identifier: MIT
// The worlds in the window: the list beside the log, the World menu, and what follows the
// selection (the list, the actions' states, the preferences shown).
#include "Interface.h"

#include "LogWindow.h"
#include "MooController.h"
#include "PreferencesPanel.h"
#include "UserDefaults.h"
#include "WorldActions.h"
#include "WorldDisplay.h"
#include "WorldList.h"
#include "WorldServers.h"
#include "Worlds.h"

#include <QDockWidget>
#include <QMenu>
#include <QMenuBar>

namespace paddock {

void Interface::placeWorlds()
{
    LogWindow &window = *m_logWindow;
    m_worldList = new WorldList(*m_worlds, *m_worldServers);
    m_worldListPanel = new QDockWidget(tr("Worlds"), &window);
    m_worldListPanel->setObjectName(QStringLiteral("worldListPanel"));
    m_worldListPanel->setWidget(m_worldList);
    // Part of the window while there are several worlds, so it is neither closed nor floated.
    m_worldListPanel->setFeatures(QDockWidget::DockWidgetMovable);
    window.addDockWidget(Qt::LeftDockWidgetArea, m_worldListPanel);
    m_worldListPanel->setVisible(m_worldList->wanted());
    connect(m_worldList, &WorldList::wantedChanged, m_worldListPanel, &QDockWidget::setVisible);

    m_worldActions = std::make_unique<WorldActions>(
        *m_worlds, *m_worldServers, [this] { return selectedWorld(); }, &window);
    auto *menu = new QMenu(tr("&World"), &window);
    menu->setObjectName(QStringLiteral("menuWorld"));
    menu->addActions(m_worldActions->actions());
    window.menuBar()->insertMenu(window.viewMenu()->menuAction(), menu);

    connect(m_worldList, &WorldList::currentWorldChanged, this,
            [this](const QString &id) { selectWorld(id); });
    connect(m_worldActions.get(), &WorldActions::worldAdded, this,
            [this](const QString &id) { selectWorld(id); });
    connect(this, &Interface::worldSelected, this, &Interface::followSelection);
    // A rename, or a second world, changes how the preferences are titled.
    connect(m_worlds.get(), &Worlds::changed, this, &Interface::followSelection);
    followSelection();
}

void Interface::followSelection()
{
    const QString id = selectedWorld();
    m_worldList->setCurrentWorld(id);
    m_worldActions->selectionChanged();
    // The panel writes through the store the world's controller reads, so what is edited takes
    // effect at once; with one world it is titled as it always was.
    UserDefaultsController *prefs = selected().server().controller().prefsController();
    if (!prefs)
        return;
    const bool several = m_worlds->ids().size() > 1;
    m_preferencesPanel->showSettingsOf(prefs->defaults(), several ? m_worlds->name(id) : QString());
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "PulseWiring.h"

#include "LogWindow.h"
#include "MooController.h"
#include "ResponsivenessWatch.h"
#include "Run.h"
#include "RunGraphs.h"
#include "RunPlayers.h"
#include "ServerStatus.h"

#include <QDockWidget>
#include <QMenu>
#include <QStackedWidget>

namespace paddock {

namespace {

QStackedWidget *pagesOf(QDockWidget &panel)
{
    return qobject_cast<QStackedWidget *>(panel.widget());
}

} // namespace

QDockWidget *PulseWiring::addGraphsPanelTo(LogWindow &window)
{
    auto *panel = new QDockWidget(tr("Run Graphs"), &window);
    panel->setObjectName(QStringLiteral("runGraphsPanel"));
    panel->setWidget(new QStackedWidget(panel));
    window.addDockWidget(Qt::RightDockWidgetArea, panel);
    panel->hide();
    QAction *toggle = panel->toggleViewAction();
    toggle->setText(tr("Run &Graphs"));
    window.viewMenu()->addAction(toggle);
    return panel;
}

PulseWiring::PulseWiring(MooController &controller, ResponsivenessWatch &watch,
                         const RunPlayers &players, ServerStatus &status, QDockWidget &panel,
                         QObject *parent)
    : QObject(parent)
    , m_status(status)
    , m_watch(watch)
    , m_panel(panel)
    , m_graphs(new RunGraphs)
{
    pagesOf(panel)->addWidget(m_graphs);
    connect(&m_watch, &ResponsivenessWatch::stateChanged, this, &PulseWiring::onStateChanged);
    RunGraphs *graphs = m_graphs;
    connect(&players, &RunPlayers::changed, graphs,
            [graphs, &players] { graphs->setPlayerCount(players.count()); });
    connect(&controller, &MooController::runStarted, graphs, [graphs](Run &run) {
        graphs->clear();
        connect(&run, &Run::ended, graphs, &RunGraphs::endRun);
    });
    connect(&watch, &ResponsivenessWatch::sampled, graphs,
            [graphs, &watch](const ProcessSample &sample) { graphs->addSample(watch.now(), sample); });
}

PulseWiring::~PulseWiring()
{
    delete m_graphs.data();
}

RunGraphs &PulseWiring::graphs() const
{
    return *m_graphs;
}

void PulseWiring::showGraphs()
{
    pagesOf(m_panel)->setCurrentWidget(m_graphs);
}

void PulseWiring::onStateChanged()
{
    const Responsiveness state = m_watch.state();
    const QDateTime since = m_watch.notRespondingSince();
    m_status.setNotRespondingSince(since);
    if (state == Responsiveness::NotResponding) {
        m_toldNotResponding = true;
        Q_EMIT noticeSent(tr("The MOO server is not responding"),
                          tr("It has shown no sign of life since %1. Paddock does nothing "
                             "about it on its own.")
                              .arg(since.toString(QStringLiteral("HH:mm"))));
        Q_EMIT attentionNeeded();
    } else if (state == Responsiveness::Responding && m_toldNotResponding) {
        m_toldNotResponding = false;
        Q_EMIT noticeSent(tr("The MOO server is responding again"),
                          tr("It answers again since %1.")
                              .arg(QTime::currentTime().toString(QStringLiteral("HH:mm"))));
    } else if (state == Responsiveness::Unknown) {
        m_toldNotResponding = false; // it ended: what it did then is told by its end
    }
}

} // namespace paddock

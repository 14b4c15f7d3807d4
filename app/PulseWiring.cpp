// SPDX-License-Identifier: MIT
#include "PulseWiring.h"

#include "DesktopNotifier.h"
#include "LogView.h"
#include "LogWindow.h"
#include "MooController.h"
#include "ResponsivenessWatch.h"
#include "Run.h"
#include "RunGraphs.h"
#include "RunPlayers.h"
#include "ServerStatus.h"

#include <QDockWidget>
#include <QMenu>

namespace paddock {

PulseWiring::PulseWiring(MooController &controller, ResponsivenessWatch &watch,
                         const RunPlayers &players, LogWindow &window, ServerStatus &status,
                         DesktopNotifier &notifier, QObject *parent)
    : QObject(parent)
    , m_window(window)
    , m_status(status)
    , m_watch(watch)
    , m_panel(new QDockWidget(tr("Run Graphs"), &window))
    , m_graphs(new RunGraphs(m_panel))
{
    connect(&m_watch, &ResponsivenessWatch::stateChanged, this, &PulseWiring::onStateChanged);
    connect(this, &PulseWiring::noticeSent, &notifier, &DesktopNotifier::notify);
    connect(&players, &RunPlayers::changed, m_graphs,
            [this, &players] { m_graphs->setPlayerCount(players.count()); });
    window.logView()->setOwnLineTest(
        [&watch](std::string_view line) { return watch.isProbeLine(line); });

    m_panel->setObjectName(QStringLiteral("runGraphsPanel"));
    m_panel->setWidget(m_graphs);
    window.addDockWidget(Qt::RightDockWidgetArea, m_panel);
    m_panel->hide();
    QAction *toggle = m_panel->toggleViewAction();
    toggle->setText(tr("Run &Graphs"));
    window.viewMenu()->addAction(toggle);
    connect(&controller, &MooController::runStarted, m_graphs, [this](Run &run) {
        m_graphs->clear();
        connect(&run, &Run::ended, m_graphs, &RunGraphs::endRun);
    });
    connect(&watch, &ResponsivenessWatch::sampled, m_graphs, [this](const ProcessSample &sample) {
        m_graphs->addSample(std::chrono::steady_clock::now(), sample);
    });
}

PulseWiring::~PulseWiring()
{
    // The window outlives the watch the test asks.
    m_window.logView()->setOwnLineTest({});
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
        m_window.announceStatus();
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

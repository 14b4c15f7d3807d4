// SPDX-License-Identifier: MIT
#include "Snapshots.h"

#include "MooController.h"
#include "OutputDatabase.h"
#include "Run.h"
#include "ServerLogLines.h"
#include "SettingsKeys.h"
#include "String.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QThreadPool>

namespace paddock {

namespace {

SnapshotRetention retentionOf(const UserDefaults &store, const QString &hours, const QString &days,
                              const QString &weeks)
{
    SnapshotRetention retention;
    const auto read = [&store](const QString &key, int &value, int most) {
        if (const auto stored = store.integerForKey(key); stored && *stored >= 0 && *stored <= most)
            value = int(*stored);
    };
    read(hours, retention.hours, 24 * 36500);
    read(days, retention.days, 36500);
    read(weeks, retention.weeks, 5200);
    return retention;
}

} // namespace

SnapshotPolicy snapshotPolicy(const UserDefaults &store)
{
    SnapshotPolicy policy;
    policy.enabled = store.boolForKey(MOOSnapshotCheckpoints);
    policy.retention = retentionOf(store, MOOSnapshotHours, MOOSnapshotDays, MOOSnapshotWeeks);
    policy.offsite = store.stringForKey(MOOOffsiteFolder).value_or(std::string());
    policy.offsiteRetention = retentionOf(store, MOOOffsiteHours, MOOOffsiteDays, MOOOffsiteWeeks);
    return policy;
}

Snapshots::Snapshots(MooController &controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    connect(&controller, &MooController::runStarted, this, &Snapshots::onRunStarted);
}

Snapshots::~Snapshots() = default;

void Snapshots::onRunStarted(Run &run)
{
    if (m_run)
        disconnect(m_run, nullptr, this, nullptr);
    m_run = &run;
    connect(&run, &Run::lines, this, [this](std::span<const std::string_view> texts) {
        for (const std::string_view text : texts) {
            // Most lines of a flood are of no kind at all: a glance turns them away before the
            // parser, which would cost every world more than reading them.
            if (!mayBeRecognised(text))
                continue;
            // Only the end of a checkpoint says its file is whole and renamed into place.
            const ServerLogLine line = recogniseServerLogLine(text);
            if (line.kind != ServerLogKind::CheckpointFinished || !m_run ||
                m_run->outputName().empty())
                continue;
            if (resolvedOutputPath(m_run->input(), line.database) == m_run->outputPath())
                takeSnapshot(m_run->outputPath());
        }
    });
}

void Snapshots::takeSnapshot(const std::string &databasePath)
{
    const UserDefaultsController *prefs = m_controller.prefsController();
    const SnapshotPolicy policy = prefs ? snapshotPolicy(prefs->defaults()) : SnapshotPolicy();
    if (!policy.enabled)
        return;
    const QDateTime now = m_clock();
    if (!m_firstSnapshot.isValid())
        m_firstSnapshot = now;
    HoldOutcome outcome = holdCheckpoint(databasePath, now);
    if (!outcome.held) {
        Q_EMIT note(outcome.problem, true);
        Q_EMIT finished(outcome.problem, false);
        return;
    }
    Q_EMIT held(displayPath(outcome.held->name));
    const std::string folder = outcome.held->folder;
    std::deque<Job> &queue = m_queues[folder];
    queue.emplace_back(std::move(*outcome.held),
                       SnapshotPlan{now, policy.retention, policy.offsite, policy.offsiteRetention,
                                    m_beforeCompression, m_firstSnapshot});
    if (queue.size() == 1)
        startNext(folder);
}

void Snapshots::startNext(const std::string &folder)
{
    const Job job = m_queues[folder].front();
    // Compressing a large database takes seconds: never on the GUI thread.
    QThreadPool::globalInstance()->start([guard = QPointer<Snapshots>(this), folder, job] {
        const SnapshotResult result = finishSnapshot(job.first, job.second);
        // Posted through the application, which outlives this worker; whether this object
        // still exists is asked on the GUI thread, where it would be destroyed.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, folder, result] {
                if (guard)
                    guard->done(folder, result);
            },
            Qt::QueuedConnection);
    });
}

void Snapshots::done(const std::string &folder, const SnapshotResult &result)
{
    std::deque<Job> &queue = m_queues[folder];
    const bool offsiteWanted = !queue.empty() && !queue.front().second.offsite.empty();
    if (!queue.empty())
        queue.pop_front();
    QString text = result.text;
    bool warning = !result.kept;
    if (!result.offsiteProblem.isEmpty() && !m_offsiteFailing) {
        m_offsiteFailing = true;
        text += QLatin1Char(' ') +
                tr("The off-site copy failed and is tried again at the next snapshot: %1")
                    .arg(result.offsiteProblem);
        warning = true;
    } else if (result.offsiteProblem.isEmpty() && m_offsiteFailing && offsiteWanted) {
        m_offsiteFailing = false;
        text += QLatin1Char(' ') + tr("The off-site folder is up to date again.");
    }
    Q_EMIT note(text, warning);
    Q_EMIT finished(text, result.kept);
    if (!queue.empty())
        startNext(folder);
    else
        m_queues.erase(folder);
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "SnapshotWork.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <string>

namespace paddock {

class MooController;
class Run;
class UserDefaults;

/// The snapshot preferences as their readers take them: an absent or unreadable value is the
/// default (off, SnapshotRetention's numbers, no off-site folder).
struct SnapshotPolicy {
    bool enabled = false;
    SnapshotRetention retention;
    std::string offsite;
    SnapshotRetention offsiteRetention;
};
SnapshotPolicy snapshotPolicy(const UserDefaults &store);

/// Keeps a copy of each checkpoint a running world finishes, when the user wants it. At the
/// server's "CHECKPOINTING on NAME.#N# finished" line (not at its start, nor after an
/// abandoned checkpoint) the new database is held at once by a hard link in archive/; a
/// worker, one at a time per folder, then compresses it, thins the snapshots and copies them
/// to the off-site folder. A failing off-site copy is said once, and tried again at each
/// snapshot until it works.
class Snapshots final : public QObject {
    Q_OBJECT
public:
    /// Follows controller's runs; controller must outlive this.
    explicit Snapshots(MooController &controller, QObject *parent = nullptr);
    ~Snapshots() override;
    Q_DISABLE_COPY_MOVE(Snapshots)

    /// Where snapshot times come from (the wall clock unless changed, for tests).
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }
    /// Runs on the worker before each compression (for tests, which hold the worker there).
    void setBeforeCompression(std::function<void()> hook) { m_beforeCompression = std::move(hook); }

    /// Holds the checkpoint just finished at databasePath and queues its snapshot, when the
    /// preference is on; what cannot be done is said through note.
    void takeSnapshot(const std::string &databasePath);

Q_SIGNALS:
    /// What the window should say about snapshots; warning marks a problem.
    void note(const QString &text, bool warning);
    /// A checkpoint is held for its snapshot under name in archive/.
    void held(const QString &name);
    /// A snapshot's work on the worker ended; text as in note.
    void finished(const QString &text, bool kept);

private:
    using Job = std::pair<HeldCheckpoint, SnapshotPlan>;
    void onRunStarted(Run &run);
    void startNext(const std::string &folder);
    void done(const std::string &folder, const SnapshotResult &result);

    MooController &m_controller;
    QPointer<Run> m_run;
    std::map<std::string, std::deque<Job>> m_queues; // per folder; the front one is running
    bool m_offsiteFailing = false;                   // said once until a copy works again
    QDateTime m_firstSnapshot; // snapshots left before it are an earlier Paddock's
    std::function<QDateTime()> m_clock;
    std::function<void()> m_beforeCompression;
};

} // namespace paddock

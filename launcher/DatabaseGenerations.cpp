// SPDX-License-Identifier: MIT
#include "DatabaseGenerations.h"

#include "ArchiveRetention.h"
#include "DatabaseRotation.h"
#include "DiskSpace.h"
#include "MooController.h"
#include "OutputDatabase.h"
#include "ServerLife.h"
#include "SettingsKeys.h"
#include "String.h"
#include "Task.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

namespace paddock {

namespace {

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

} // namespace

ArchivePolicy archivePolicy(const UserDefaults &store)
{
    ArchivePolicy policy;
    policy.rotate = store.boolForKey(MOORotateDatabases);
    if (const auto keep = store.integerForKey(MOOArchiveKeep);
        keep && *keep >= 1 && *keep <= 100000)
        policy.keep = int(*keep);
    if (const auto days = store.integerForKey(MOOArchiveDays); days && *days >= 0 && *days <= 36500)
        policy.days = int(*days);
    return policy;
}

DatabaseGenerations::DatabaseGenerations(MooController &controller, ServerLife &life,
                                         QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_life(life)
{
    m_outputGrace.setSingleShot(true);
    m_outputGrace.setInterval(5000);
    // A server whose children keep its output open still gets its decision, without the
    // lines that did not come.
    connect(&m_outputGrace, &QTimer::timeout, this, &DatabaseGenerations::decideAfterStop);
    connect(&life, &ServerLife::changed, this, &DatabaseGenerations::onLifeChanged);
    connect(&life, &ServerLife::runOutputFinished, this, [this] {
        if (m_outputGrace.isActive()) {
            m_outputGrace.stop();
            decideAfterStop();
        }
    });
    // A task is held before its launch; it counts as a run once it runs.
    connect(&controller, &MooController::taskChanged, this, &DatabaseGenerations::onTaskChanged);
    connect(&controller, &MooController::isMooRunningChanged, this,
            &DatabaseGenerations::onTaskChanged);
    controller.setBeforeStart([this](const std::string &db) { return beforeStart(db); });
}

DatabaseGenerations::~DatabaseGenerations()
{
    m_controller.setBeforeStart({});
}

ArchivePolicy DatabaseGenerations::policy() const
{
    const UserDefaultsController *prefs = m_controller.prefsController();
    return prefs ? archivePolicy(prefs->defaults()) : ArchivePolicy();
}

void DatabaseGenerations::say(const QString &text, bool warning)
{
    Q_EMIT note(text, warning);
}

void DatabaseGenerations::onTaskChanged()
{
    // Each run Paddock launches is recorded once; an adopted server was recorded by the
    // Paddock that launched it.
    const std::shared_ptr<Task> task = m_controller.task();
    if (!task || !task->isRunning() || task->isAdopted() || task.get() == m_recordedTask)
        return;
    m_recordedTask = task.get();
    const String db = m_controller.dbPath();
    const String output = m_controller.newDbPath();
    if (!db)
        return;
    m_history.record({QDateTime::currentDateTime(), QFileInfo(displayPath(*db)).absoluteFilePath(),
                      displayPath(resolvedOutputPath(*db, output ? *output : std::string()))});
}

void DatabaseGenerations::onLifeChanged()
{
    using State = ServerLife::State;
    const State state = m_life.state();
    if (state == State::Running) {
        m_endDecided = false;
        m_stopWarned = false;
    } else if (state == State::Stopping && !m_stopWarned) {
        // Before the final dump: the user can still free space while the server retries.
        m_stopWarned = true;
        if (const QString warning = diskSpaceWarning(displayPath(m_life.runInput()));
            !warning.isEmpty())
            say(warning, true);
    } else if (state == State::Ended && !m_endDecided && !m_outputGrace.isActive()) {
        if (m_life.end() != ServerEnd::Stopped) {
            m_endDecided = true;
            return;
        }
        // The final dump's line may still be in the pipes when the end is seen; and every
        // other observer of the end looks at the output database before it is renamed.
        if (m_life.runOutputEnded())
            QTimer::singleShot(0, this, &DatabaseGenerations::decideAfterStop);
        else
            m_outputGrace.start();
    }
}

void DatabaseGenerations::decideAfterStop()
{
    if (m_endDecided)
        return;
    m_endDecided = true;
    if (!policy().rotate)
        return;
    if (!m_life.endedWithFinalDump()) {
        say(tr("The databases were not archived: the server did not stop with a finished final "
               "dump, its new database written and exit status 0."),
            true);
        return;
    }
    // The output would take the panic dump's name, and the world would live on under it.
    const QString input = QFileInfo(displayPath(m_life.runInput())).absoluteFilePath();
    if (input.endsWith(QStringLiteral(".PANIC"))) {
        say(tr("The databases were not archived: the run started from the panic dump “%1”, "
               "whose name the world should not take. Its new database is “%2”.")
                .arg(QFileInfo(input).fileName(),
                     QFileInfo(displayPath(m_life.runOutputPath())).fileName()),
            true);
        return;
    }
    const std::chrono::system_clock::time_point started = m_life.runStartedAt();
    rotate({input, displayPath(m_life.runOutputPath()),
            QDateTime::fromSecsSinceEpoch(std::chrono::system_clock::to_time_t(started))});
}

void DatabaseGenerations::rotate(const Rotation &rotation)
{
    // One journal per folder and one worker at a time: a rotation waits for the last one's
    // compression to end.
    if (m_busyFolder) {
        m_waiting = rotation;
        return;
    }
    const DatabaseRotation plan(rotation.input, rotation.output, rotation.started);
    try {
        plan.run({}, DatabaseRotation::Until::InPlace);
    } catch (const std::exception &error) {
        const QString text =
            tr("The databases were not archived: %1").arg(QString::fromLocal8Bit(error.what()));
        say(text, true);
        Q_EMIT archivingFinished(text, true);
        return;
    }
    // The world keeps its name, and the next start suggests it; a server started meanwhile
    // keeps its own output name.
    if (!m_controller.isMooRunning())
        m_controller.setNewDbPath(makeString(pathBytes(rotation.input)));
    m_history.record({rotation.started, rotation.input, rotation.input});
    finishInBackground(
        folderOf(rotation.input),
        tr("“%1” is now “%2”; the database it replaced is archived as “%3”.")
            .arg(QFileInfo(rotation.output).fileName(), QFileInfo(rotation.input).fileName(),
                 QStringLiteral("archive/") + QFileInfo(plan.archivePath()).fileName() +
                     QStringLiteral(".zst")));
}

void DatabaseGenerations::finishInBackground(const QString &folder, const QString &done)
{
    m_busyFolder = folder;
    const ArchivePolicy kept = policy();
    const QDateTime now = QDateTime::currentDateTime();
    QThreadPool::globalInstance()->start(
        [guard = QPointer<DatabaseGenerations>(this), folder, kept, now, done] {
            // Compressing a large database takes seconds: never on the GUI thread.
            QString text = DatabaseRotation::recover(folder);
            const bool failed = !text.isEmpty();
            if (!failed) {
                text = done;
                const QStringList left =
                    pruneArchive(folder + QStringLiteral("/archive"), now, kept.keep, kept.days);
                if (!left.isEmpty())
                    text += QLatin1Char(' ') + left.join(QLatin1Char(' '));
            }
            // Posted through the application, which outlives this worker; whether this object
            // still exists is asked on the GUI thread, where it would be destroyed.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [guard, text, failed] {
                    if (!guard)
                        return;
                    guard->m_busyFolder.reset();
                    guard->say(text, failed);
                    Q_EMIT guard->archivingFinished(text, failed);
                    if (guard->m_waiting) {
                        const Rotation next = *guard->m_waiting;
                        guard->m_waiting.reset();
                        guard->rotate(next);
                    }
                },
                Qt::QueuedConnection);
        });
}

std::string DatabaseGenerations::beforeStart(const std::string &db)
{
    say({}, false); // a new start: the last note is old news
    const QString path = QFileInfo(displayPath(db)).absoluteFilePath();
    const QString folder = folderOf(path);
    // Our own worker only compresses: the renames it follows are done, and the world's
    // database is in place.
    if (m_busyFolder != folder && DatabaseRotation::unfinishedIn(folder)) {
        const QString problem =
            DatabaseRotation::recover(folder, {}, DatabaseRotation::Until::InPlace);
        if (!problem.isEmpty())
            return pathBytes(problem);
        if (!m_busyFolder && DatabaseRotation::unfinishedIn(folder))
            finishInBackground(folder,
                               tr("An unfinished archiving in “%1” was completed.").arg(folder));
        if (!QFileInfo::exists(path))
            return pathBytes(tr("An unfinished archiving in “%1” was completed, and “%2” moved "
                                "in it; please choose the database again.")
                                 .arg(folder, QFileInfo(path).fileName()));
    }
    // A journal Paddock will not act on is said but does not hold the start: nothing was done
    // by it, and the user might never get past a hidden file they did not put there.
    QStringList warnings{DatabaseRotation::journalRefusal(folder), diskSpaceWarning(path)};
    warnings.removeAll(QString());
    if (!warnings.isEmpty())
        say(warnings.join(QLatin1Char(' ')), true);
    return {};
}

void DatabaseGenerations::recoverLastWorld()
{
    const QList<RunRecord> runs = m_history.runs();
    if (runs.isEmpty())
        return;
    const QString folder = folderOf(runs.constLast().input);
    if (!DatabaseRotation::unfinishedIn(folder) || m_busyFolder)
        return;
    // A server that runs there now was started after the renames; its databases are left
    // alone until the next start.
    if (const String db = m_controller.dbPath();
        db && m_controller.isMooRunning() && folderOf(displayPath(*db)) == folder)
        return;
    const QString problem = DatabaseRotation::recover(folder, {}, DatabaseRotation::Until::InPlace);
    if (!problem.isEmpty()) {
        say(problem, true);
        return;
    }
    finishInBackground(folder, tr("An unfinished archiving in “%1” was completed.").arg(folder));
}

} // namespace paddock

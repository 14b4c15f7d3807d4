// SPDX-License-Identifier: MIT
#include "DatabaseGenerations.h"

#include "ArchiveRetention.h"
#include "DatabaseRotation.h"
#include "DiskSpace.h"
#include "MooController.h"
#include "Run.h"
#include "ServerLife.h"
#include "SettingsKeys.h"
#include "String.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <functional>

namespace paddock {

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
    , m_outputGrace(this)
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
    connect(&controller, &MooController::runStarted, this, &DatabaseGenerations::onRunStarted);
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

void DatabaseGenerations::onRunStarted(const Run &run)
{
    // An adopted server was recorded by the Paddock that launched it.
    if (run.isAdopted() || run.input().empty())
        return;
    m_history.record({QDateTime::currentDateTime(), absolutePath(run.input()), run.outputPath()});
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
        if (const QString warning = diskSpaceWarning(m_life.runInput()); !warning.isEmpty())
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
    const std::string input = absolutePath(m_life.runInput());
    if (input.ends_with(".PANIC")) {
        say(tr("The databases were not archived: the run started from the panic dump “%1”, "
               "whose name the world should not take. Its new database is “%2”.")
                .arg(displayPath(lastPathComponent(input)),
                     displayPath(lastPathComponent(m_life.runOutputPath()))),
            true);
        return;
    }
    const std::chrono::system_clock::time_point started = m_life.runStartedAt();
    rotate({input, m_life.runOutputPath(),
            QDateTime::fromSecsSinceEpoch(std::chrono::system_clock::to_time_t(started))});
}

void DatabaseGenerations::rotate(const Rotation &rotation)
{
    // One journal per folder: a rotation waits for the last one's compression to end.
    const std::string folder = folderOf(rotation.input);
    if (const auto work = m_work.find(folder); work != m_work.end()) {
        work->second.waiting = rotation;
        return;
    }
    const DatabaseRotation plan(rotation.input, rotation.output, rotation.started);
    const QString input = displayPath(lastPathComponent(rotation.input));
    const QString output = displayPath(lastPathComponent(rotation.output));
    say(tr("Archiving: “%1” is moved into “archive/” and “%2” takes its name…").arg(input, output),
        false);
    archiveInBackground(
        folder, rotation,
        tr("“%1” is now “%2”; the database it replaced is archived as “%3”.")
            .arg(output, input,
                 displayPath("archive/" + lastPathComponent(plan.archivePath()) + ".zst")));
}

void DatabaseGenerations::archiveInBackground(const std::string &folder,
                                              const std::optional<Rotation> &rotation,
                                              const QString &done)
{
    m_work[folder] = Work();
    const ArchivePolicy kept = policy();
    const QDateTime now = QDateTime::currentDateTime();
    std::optional<DatabaseRotation> plan;
    if (rotation)
        plan.emplace(rotation->input, rotation->output, rotation->started);
    QThreadPool::globalInstance()->start([guard = QPointer<DatabaseGenerations>(this), folder,
                                          rotation, plan, kept, now, done, hook = m_stepHook] {
        // Posted through the application, which outlives this worker; whether this object
        // still exists is asked on the GUI thread, where it would be destroyed.
        const auto post = [guard](const std::function<void(DatabaseGenerations &)> &step) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [guard, step] {
                    if (guard)
                        step(*guard);
                },
                Qt::QueuedConnection);
        };
        // A rename into archive/ on another file system is a copy, and compressing a large
        // database takes seconds: neither runs on the GUI thread.
        QString problem;
        try {
            // An earlier compression left unfinished holds the folder's journal: it ends first.
            if (!plan || DatabaseRotation::unfinishedIn(folder))
                problem = DatabaseRotation::recover(folder, hook,
                                                    plan ? DatabaseRotation::Until::Done
                                                         : DatabaseRotation::Until::InPlace);
            if (plan && problem.isEmpty())
                plan->run(hook, DatabaseRotation::Until::InPlace);
        } catch (const std::exception &error) {
            problem = QString::fromLocal8Bit(error.what());
        }
        post([folder, rotation, problem](DatabaseGenerations &self) {
            self.renamesDone(folder, rotation, problem);
        });
        if (!problem.isEmpty())
            return;
        QString text = DatabaseRotation::recover(folder, hook);
        const bool failed = !text.isEmpty();
        if (!failed) {
            text = done;
            const QStringList left = pruneArchive(folder + "/archive", now, kept.keep, kept.days);
            if (!left.isEmpty())
                text += QLatin1Char(' ') + left.join(QLatin1Char(' '));
        }
        post([folder, text, failed](DatabaseGenerations &self) {
            self.archivingDone(folder, text, failed);
        });
    });
}

void DatabaseGenerations::renamesDone(const std::string &folder,
                                      const std::optional<Rotation> &rotation,
                                      const QString &problem)
{
    if (const auto work = m_work.find(folder); work != m_work.end())
        work->second.renaming = false;
    if (!problem.isEmpty()) {
        QString text;
        if (rotation) {
            text = tr("The databases were not archived: %1").arg(problem);
        } else {
            text = problem + QLatin1Char(' ') +
                   tr("Check the databases there; once they are as they should be, remove “%1” "
                      "and start again.")
                       .arg(displayPath(DatabaseRotation::journalPath(folder)));
            m_stuck.insert_or_assign(folder, text);
        }
        archivingDone(folder, text, true);
        Q_EMIT renamesEnded(folder);
        return;
    }
    m_stuck.erase(folder);
    if (rotation) {
        // The world keeps its name, and the next start suggests it; a server started
        // meanwhile (on another world) keeps its own output name.
        if (!m_controller.isMooRunning())
            m_controller.setNewDbPath(makeString(rotation->input));
        m_history.record({rotation->started, rotation->input, rotation->input});
        say(tr("“%1” is now “%2”; the database it replaced is being compressed…")
                .arg(displayPath(lastPathComponent(rotation->output)),
                     displayPath(lastPathComponent(rotation->input))),
            false);
    } else {
        say(tr("An unfinished archiving in “%1” has its databases in place again; its archive "
               "is being compressed…")
                .arg(displayPath(folder)),
            false);
    }
    Q_EMIT renamesEnded(folder);
}

void DatabaseGenerations::archivingDone(const std::string &folder, const QString &text, bool failed)
{
    const auto found = m_work.find(folder);
    const Work work = found != m_work.end() ? found->second : Work();
    if (found != m_work.end())
        m_work.erase(found);
    say(text, failed);
    Q_EMIT archivingFinished(text, failed);
    if (work.waiting)
        rotate(*work.waiting);
}

std::string DatabaseGenerations::beforeStart(const std::string &db)
{
    const std::string path = absolutePath(db);
    const std::string folder = folderOf(path);
    const QString shownFolder = displayPath(folder);
    if (const auto work = m_work.find(folder);
        work != m_work.end() && (work->second.renaming || work->second.waiting))
        return pathBytes(tr("Paddock is still archiving in “%1”: the databases there are being "
                            "moved. Start again once the window says the world's database has "
                            "its name.")
                             .arg(shownFolder));
    say({}, false); // a new start: the last note is old news
    if (!m_work.contains(folder) && DatabaseRotation::unfinishedIn(folder)) {
        if (const auto stuck = m_stuck.find(folder); stuck != m_stuck.end())
            return pathBytes(stuck->second);
        // Only a compression left: it looks at no name the new run takes.
        const bool renamesLeft = !DatabaseRotation::onlyCompressionLeftIn(folder);
        archiveInBackground(folder, std::nullopt,
                            tr("An unfinished archiving in “%1” was completed.").arg(shownFolder));
        if (renamesLeft) {
            say(tr("Finishing an archiving left unfinished in “%1”…").arg(shownFolder), false);
            return pathBytes(tr("An archiving in “%1” was left unfinished, and Paddock is "
                                "finishing it now. Start again once the window says the "
                                "databases are in place; the one you chose may have moved.")
                                 .arg(shownFolder));
        }
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
    const std::string folder = folderOf(runs.constLast().input);
    if (!DatabaseRotation::unfinishedIn(folder) || m_work.contains(folder))
        return;
    // A server that runs there now was started after the renames; its databases are left
    // alone until the next start.
    if (const String db = m_controller.dbPath();
        db && m_controller.isMooRunning() && folderOf(*db) == folder)
        return;
    const QString shownFolder = displayPath(folder);
    say(tr("Finishing an archiving left unfinished in “%1”…").arg(shownFolder), false);
    archiveInBackground(folder, std::nullopt,
                        tr("An unfinished archiving in “%1” was completed.").arg(shownFolder));
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "ServerStatus.h"

#include "MooController.h"
#include "NotificationCenter.h"

#include <QTimer>

#include <cstring>

namespace paddock {

namespace {

QString signalName(int signal)
{
#if defined(__GLIBC__)
    // Both thread-safe, and null for a number that names no signal.
    const char *abbreviation = ::sigabbrev_np(signal);
    const char *description = ::sigdescr_np(signal);
#else
    const char *abbreviation = nullptr;
    const char *description = ::strsignal(signal);
#endif
    QString name = abbreviation ? QStringLiteral("SIG") + QString::fromLatin1(abbreviation)
                                : QString::number(signal);
    if (description)
        name += QStringLiteral(" (") + QString::fromLocal8Bit(description) + QLatin1Char(')');
    return name;
}

} // namespace

ServerStatus::ServerStatus(MooController &controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_text(tr("Stopped"))
{
    connect(&controller, &MooController::taskChanged, this, &ServerStatus::onTaskChanged);
    connect(&controller, &MooController::isMooRunningChanged, this,
            &ServerStatus::onRunningChanged);
    connect(&controller, &MooController::reattached, this, &ServerStatus::onReattached);
    connect(
        &controller, &MooController::recordedServerEnded, this,
        [this](int pid, const QString &logFile) { setText(endedWhileClosedText(pid, logFile)); });
    connect(&controller, &MooController::keeperFailed, this, [this](const QString &reason) {
        setText(m_text + tr(". Warning: the server will not outlive Paddock's output: ") + reason);
    });
    connect(&controller, &MooController::serverNotRecorded, this, [this](const QString &reason) {
        setText(m_text + tr(". Warning: a later Paddock will not find this server: ") + reason);
    });
    if (controller.task())
        onTaskChanged();
}

ServerStatus::~ServerStatus()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

QString ServerStatus::runningText(int pid, QTime since)
{
    return tr("Running, PID %1, since %2").arg(pid).arg(since.toString(QStringLiteral("HH:mm:ss")));
}

QString ServerStatus::reattachedText(int pid, const QDateTime &started)
{
    const QString since = started.isValid()
                              ? started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                              : tr("an unknown time");
    return tr("Running, PID %1, since %2; reattached").arg(pid).arg(since);
}

QString ServerStatus::adoptedEndedText()
{
    return tr("Server ended; its exit status is unknown because it was started by an earlier "
              "Paddock");
}

QString ServerStatus::endedWhileClosedText(int pid, const QString &logFile)
{
    QString text = tr("The server with PID %1 ended while Paddock was closed").arg(pid);
    if (!logFile.isEmpty())
        text += tr("; its output is in \"%1\"").arg(logFile);
    return text;
}

void ServerStatus::onReattached(int pid, const QDateTime &started, const QString &problem)
{
    QString text = reattachedText(pid, started);
    if (!problem.isEmpty())
        text += tr(". Warning: ") + problem;
    setText(text);
}

QString ServerStatus::endedText(Task::TerminationReason reason, int status, bool stopRequested)
{
    if (reason == Task::TerminationReason::Unknown)
        return tr("Server ended; its exit status is unknown");
    if (reason == Task::TerminationReason::UncaughtSignal)
        return tr("Server killed by signal ") + signalName(status);
    if (stopRequested && status == 0)
        return tr("Stopped");
    return tr("Server exited with status %1").arg(status);
}

QString ServerStatus::nothingSavedText(const std::string &outputPath)
{
    return tr(". Warning: the server saved no database: \"") + QString::fromLocal8Bit(outputPath) +
           tr("\" was not written during this run");
}

void ServerStatus::launchFailed(const QString &reason)
{
    setText(tr("Launch failed: ") + reason);
}

void ServerStatus::stopping()
{
    if (!m_shownTask || !m_shownTask->isRunning())
        return;
    m_stopRequested = true;
    setText(tr("Stopping..."));
}

void ServerStatus::stopStalled()
{
    if (!m_shownTask || !m_shownTask->isRunning())
        return;
    setText(tr("Stopping... the server is still writing its database or is not "
               "answering"));
}

void ServerStatus::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    Q_EMIT textChanged(m_text);
}

void ServerStatus::onTaskChanged()
{
    const std::shared_ptr<Task> task = m_controller.task();
    if (!task)
        return;
    Task *const raw = task.get();
    // Looked at before the launch, so even a server that saves at once is seen to have saved.
    const String db = m_controller.dbPath();
    const String output = m_controller.newDbPath();
    m_launchedTask = raw;
    m_launchedCheck =
        OutputDatabaseCheck::before(db ? *db : std::string(), output ? *output : std::string());
    NotificationCenter::defaultCenter().addObserver(
        this, [this, raw](const Notification &) { onTerminated(raw); },
        TaskDidTerminateNotification, task);
    // A launch that replaces a running server does not change isMooRunning; look once the
    // current event is done whether this task is the one that runs now.
    QPointer<Task> watched(raw);
    QTimer::singleShot(0, this, [this, watched] {
        if (watched && watched != m_shownTask && watched->isRunning() &&
            m_controller.task().get() == watched.data() && m_controller.isMooRunning())
            showRunning(watched);
    });
}

void ServerStatus::onRunningChanged(bool running)
{
    if (running) {
        if (const std::shared_ptr<Task> task = m_controller.task(); task && task->isRunning())
            showRunning(task.get());
    }
}

void ServerStatus::showRunning(Task *task)
{
    m_shownTask = task;
    if (task == m_launchedTask)
        m_shownCheck = m_launchedCheck;
    m_since = QTime::currentTime();
    m_stopRequested = false;
    setText(runningText(task->processIdentifier(), m_since));
}

void ServerStatus::onTerminated(Task *task)
{
    // The end of a server that another launch replaced says nothing about the current one.
    if (task != m_shownTask)
        return;
    QString text = task->isAdopted() ? adoptedEndedText()
                                     : endedText(task->terminationReason(),
                                                 task->terminationStatus(), m_stopRequested);
    if (!m_shownCheck.writtenSince())
        text += nothingSavedText(m_shownCheck.path());
    setText(text);
    m_shownTask = nullptr;
    m_stopRequested = false;
}

} // namespace paddock

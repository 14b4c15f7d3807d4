// SPDX-License-Identifier: MIT
#pragma once

#include "OutputDatabase.h"
#include "Task.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTime>

namespace paddock {

class MooController;

/// The window's own account of the server, in the words the status bar shows: Stopped,
/// running since when, stopping, launch failed, how the server ended. Never part of the log.
class ServerStatus final : public QObject {
    Q_OBJECT
public:
    /// Follows controller (which must outlive this) through its observed keys and the
    /// termination of each task it holds; starts at "Stopped".
    explicit ServerStatus(MooController &controller, QObject *parent = nullptr);
    /// Ends its subscriptions to the termination notices.
    ~ServerStatus() override;
    Q_DISABLE_COPY_MOVE(ServerStatus)

    QString text() const { return m_text; }

    /// A launch failed for reason (the operating system's sentence).
    void launchFailed(const QString &reason);
    /// The user asked the running server to stop; a clean exit then reads "Stopped".
    void stopping();
    /// The stop has waited its grace period without an exit.
    void stopStalled();

    static QString runningText(int pid, QTime since);
    /// A server an earlier Paddock started, held again by this one.
    static QString reattachedText(int pid, const QDateTime &started);
    /// How a server an earlier Paddock started ended: its exit status went to the system.
    static QString adoptedEndedText();
    /// A recorded server that ended while no Paddock ran.
    static QString endedWhileClosedText(int pid, const QString &logFile);
    /// How a server ended; a requested stop that ended in status 0 reads "Stopped".
    static QString endedText(Task::TerminationReason reason, int status, bool stopRequested);
    /// Added to how a server ended when it left no output database written during its run.
    static QString nothingSavedText(const std::string &outputPath);

Q_SIGNALS:
    void textChanged(const QString &text);

private:
    void setText(const QString &text);
    void onTaskChanged();
    void onRunningChanged(bool running);
    void showRunning(Task *task);
    void onTerminated(Task *task);
    void onReattached(int pid, const QDateTime &started, const QString &problem);

    MooController &m_controller;
    QPointer<Task> m_shownTask; // the server whose state the text describes
    // The output database as each launch found it, to tell at the end whether it was saved.
    QPointer<Task> m_launchedTask;
    OutputDatabaseCheck m_launchedCheck;
    OutputDatabaseCheck m_shownCheck;
    QTime m_since;
    bool m_stopRequested = false;
    QString m_text;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace paddock {

/// Keeps one Paddock per user: the first listens on a socket in the user's private runtime
/// folder; a later one asks it there to come forward instead of starting.
class SingleInstance final : public QObject {
    Q_OBJECT
public:
    /// Uses paddock.socket in the private runtime folder (see privateSocketPath()); when there
    /// is none, claim() lets this Paddock run and problem() says why.
    explicit SingleInstance(QObject *parent = nullptr);
    /// Uses the socket at path, with its lock file beside it (path + ".lock").
    explicit SingleInstance(QString path, QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(SingleInstance)
    ~SingleInstance() override = default;

    /// True if this process is the user's Paddock now (also when it cannot make sure, so
    /// Paddock still starts); false once another Paddock has been asked forward. Of several
    /// Paddocks claiming at once, exactly one gets true.
    bool claim();

    /// Why this Paddock cannot keep a later one from starting beside it (no socket, no lock,
    /// no listener), as a sentence for the window; empty when it can.
    QString problem() const { return m_problem; }

    /// The default socket's path, its private folder made if missing; empty if none can be had.
    static QString defaultPath();

Q_SIGNALS:
    /// A later Paddock asked this one to bring its window to the front.
    void activationRequested();

private:
    bool askRunningPaddock();

    QString m_path;
    QString m_problem;
    QLocalServer m_server;
};

} // namespace paddock

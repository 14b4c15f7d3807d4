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
    /// Uses the socket at path; default: paddock.socket in the keepers' private folder.
    explicit SingleInstance(QString path = defaultPath(), QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(SingleInstance)
    ~SingleInstance() override = default;

    /// True if this process is the user's Paddock now (also when no private folder can be
    /// had, so Paddock still starts); false once another Paddock has been asked forward.
    bool claim();

    /// The socket in the private runtime folder, created with mode 0700; empty if no such
    /// folder can be had.
    static QString defaultPath();

Q_SIGNALS:
    /// A later Paddock asked this one to bring its window to the front.
    void activationRequested();

private:
    QString m_path;
    QLocalServer m_server;
};

} // namespace paddock

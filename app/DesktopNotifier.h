// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

namespace paddock {

/// Desktop notifications through the freedesktop notification service on the session bus,
/// so a crash or a failed checkpoint is heard of while the window is hidden. Without a
/// session bus or a notification service nothing happens, and nothing is said.
class DesktopNotifier final : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

    /// Whether a session bus is known to be there; false means notify does nothing.
    bool available() const { return m_available; }
    /// Shows summary and body; does not wait for the service to answer.
    void notify(const QString &summary, const QString &body);

private:
    bool m_available = false;
};

} // namespace paddock

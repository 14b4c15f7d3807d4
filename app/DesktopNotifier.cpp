// SPDX-License-Identifier: MIT
#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QStringList>
#include <QVariantMap>

namespace paddock {

namespace {

// Only a bus that is plainly there is used: with neither its address nor its socket in the
// runtime folder, the D-Bus library would start a bus of its own (autolaunch), a process
// that Paddock would then leave behind.
bool sessionBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent)
    : QObject(parent)
    , m_available(sessionBusConfigured() && QDBusConnection::sessionBus().isConnected())
{}

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    if (!m_available)
        return;
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    message << QStringLiteral("Paddock") << 0U << QStringLiteral("paddock") << summary << body
            << QStringList() << QVariantMap() << -1;
    // Sent without waiting: with no notification service the bus's error reply is dropped.
    QDBusConnection::sessionBus().send(message);
}

} // namespace paddock

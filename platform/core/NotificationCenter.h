// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <vector>

namespace paddock {

/// A named message with its sender and an information table.
struct Notification final {
    QString name;
    std::shared_ptr<QObject> sender;
    QVariantMap userInfo;
};

/// Delivers notifications to subscribed handlers, synchronously, on the GUI thread.
class NotificationCenter final {
public:
    using Handler = std::function<void(const Notification &)>;

    /// The one centre of the process.
    static NotificationCenter &defaultCenter();

    NotificationCenter() = default;
    Q_DISABLE_COPY_MOVE(NotificationCenter)

    /// Subscribes handler to notices called name; with a sender, only to that sender's.
    /// A subscription bound to a sender ends by itself once that sender is gone.
    void addObserver(const void *observer, Handler handler, const QString &name,
                     const std::shared_ptr<QObject> &sender = nullptr);
    /// Ends every subscription of observer; no notice reaches it afterwards, not even
    /// one being delivered right now.
    void removeObserver(const void *observer);
    /// Calls each matching handler in the order of subscription.
    void post(const Notification &notification);

    /// How many subscriptions are live (for leak checks).
    std::size_t observerCount();

private:
    struct Subscription {
        quint64 id;
        const void *observer;
        Handler handler;
        QString name;
        bool anySender;
        std::weak_ptr<QObject> sender;
    };
    void dropExpired();

    std::vector<Subscription> m_subscriptions;
    quint64 m_nextId = 1;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "NotificationCenter.h"

#include <algorithm>

namespace paddock {

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const void *observer, Handler handler, const QString &name,
                                     const std::shared_ptr<QObject> &sender)
{
    dropExpired();
    m_subscriptions.push_back(
        Subscription{m_nextId++, observer, std::move(handler), name, sender == nullptr, sender});
}

void NotificationCenter::removeObserver(const void *observer)
{
    std::erase_if(m_subscriptions,
                  [observer](const Subscription &s) { return s.observer == observer; });
}

void NotificationCenter::post(const Notification &notification)
{
    // Handlers may subscribe or unsubscribe while we deliver, so walk a snapshot of ids
    // and look each one up again before calling it.
    std::vector<quint64> ids;
    for (const auto &s : m_subscriptions) {
        if (s.name != notification.name)
            continue;
        if (!s.anySender && s.sender.lock() != notification.sender)
            continue;
        ids.push_back(s.id);
    }
    for (const quint64 id : ids) {
        auto it = std::find_if(m_subscriptions.begin(), m_subscriptions.end(),
                               [id](const Subscription &s) { return s.id == id; });
        if (it == m_subscriptions.end())
            continue;
        const Handler handler = it->handler; // the subscription may go away during the call
        handler(notification);
    }
}

std::size_t NotificationCenter::observerCount()
{
    dropExpired();
    return m_subscriptions.size();
}

void NotificationCenter::dropExpired()
{
    std::erase_if(m_subscriptions,
                  [](const Subscription &s) { return !s.anySender && s.sender.expired(); });
}

} // namespace paddock

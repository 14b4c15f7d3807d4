// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "FileHandle.h"
#include "OutputDatabase.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QByteArray>

namespace paddock {

std::string MooController::logFilePath() const
{
    const String db = dbPath();
    if (!db || !m_prefsController)
        return {};
    const std::string name = m_prefsController->defaults()
                                 .stringForKey(MOOLogFileName)
                                 .value_or(DefaultLogFileName);
    return name.empty() ? std::string() : resolvedOutputPath(*db, name);
}

void MooController::awakeFromNib()
{
    NotificationCenter::defaultCenter().addObserver(
        this, [this](const Notification &n) { readDataNotification(n); },
        FileHandleReadCompletionNotification);
}

void MooController::readDataNotification(const Notification &notification)
{
    if (notification.name != FileHandleReadCompletionNotification)
        return;

    const auto item = notification.userInfo.constFind(FileHandleNotificationDataItem);
    if (item != notification.userInfo.constEnd()) {
        // Every byte is one Latin-1 character, so the chunk is stored as it came.
        const QByteArray chunk = item->toByteArray();
        // A log set to none reads as empty.
        const LogTextPtr log = outputString() ? outputString() : LogText::create();
        setOutputString(log->appending(std::string_view(chunk.constData(), size_t(chunk.size()))));
    }

    // At the end of its stream a handle ignores this, so reading stops there.
    if (const auto handle = std::dynamic_pointer_cast<FileHandle>(notification.sender))
        handle->readInBackgroundAndNotify();
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "FileHandle.h"
#include "LogFileOwnership.h"
#include "OutputDatabase.h"
#include "ReadEndClaims.h"
#include "SettingsKeys.h"
#include "SystemError.h"
#include "UserDefaults.h"

#include <QByteArray>
#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace paddock {

std::string MooController::logFilePath() const
{
    const String db = dbPath();
    if (!db || !m_prefsController)
        return {};
    const std::string name =
        m_prefsController->defaults().stringForKey(MOOLogFileName).value_or(DefaultLogFileName);
    return name.empty() ? std::string() : resolvedOutputPath(*db, name);
}

void MooController::openLogFile()
{
    const std::string path = logFilePath();
    // Another run on the same database goes on with the same writer: its files stay one
    // continuous log, read back through one set of descriptors however many runs there are.
    const bool sameFile = m_logFile && !m_logFile->failed() && m_logFile->path() == path &&
                          m_logFile->rotateSize() == m_logRotateSize;
    if (!sameFile)
        m_logFile =
            path.empty()
                ? nullptr
                : std::make_unique<LogFileWriter>(path, m_logRotateSize, LogFileWriter::DefaultKeep,
                                                  LogFileOwnership(defaultLogFileRegistry()));

    long long mib = DefaultScrollbackMiB;
    if (m_prefsController) {
        const std::optional<long long> stored =
            m_prefsController->defaults().integerForKey(MOOScrollbackMiB);
        if (stored && *stored > 0)
            mib = std::min(*stored, 1ll << 30);
    }
    m_scrollbackBytes = qsizetype(mib) << 20;
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
    // Another world's output: its own controller logs it and reads on.
    if (ReadEndClaims::readerOf(notification.sender.get(), this) == ReadEndClaims::Reader::Another)
        return;

    const auto item = notification.userInfo.constFind(FileHandleNotificationDataItem);
    if (item != notification.userInfo.constEnd()) {
        // Every byte is one Latin-1 character, so the chunk is stored as it came.
        const QByteArray chunk = item->toByteArray();
        const std::string_view bytes(chunk.constData(), size_t(chunk.size()));
        // A log set to none reads as empty.
        const LogTextPtr log = outputString() ? outputString() : LogText::create();
        const LogKeeping keeping = appendToLogFile(bytes);
        try {
            setOutputString(log->appending(bytes, keeping));
        } catch (const std::bad_alloc &) {
            // No memory for the chunk even after dropping older bytes: the window's log keeps
            // what it has (the log file has the chunk) rather than ending Paddock.
        }
    }

    // At the end of its stream a handle ignores this, so reading stops there.
    if (const auto handle = std::dynamic_pointer_cast<FileHandle>(notification.sender))
        handle->readInBackgroundAndNotify();
}

LogKeeping MooController::appendToLogFile(std::string_view bytes)
{
    LogKeeping keeping{m_scrollbackBytes, nullptr, 0};
    if (!m_logFile || m_logFile->failed())
        return keeping;
    keeping.file = m_logFile->segments();
    keeping.fileOffset = m_logFile->written();
    if (!m_logFile->append(bytes).ok())
        reportLogFileFailure();
    return keeping;
}

void MooController::reportLogFileFailure()
{
    // Players' words reach the log file: a link there could carry them anywhere.
    const QString reason =
        m_logFile->error() == ELOOP
            ? QCoreApplication::translate("MooController",
                                          "it is a symbolic link, which Paddock does not follow")
            : QString::fromStdString(errorText(m_logFile->error()));
    Q_EMIT logFileFailed(QCoreApplication::translate("MooController",
                                                     "The log file %1 cannot be written (%2); "
                                                     "the log goes on in this window only.")
                             .arg(QString::fromStdString(m_logFile->path()), reason));
}

} // namespace paddock

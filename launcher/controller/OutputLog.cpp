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

namespace {

// The item of a read's notice saying where its reading thread put the chunk in the log file.
const QString LogFileAppendedItem = QStringLiteral("LogFileAppendedItem");

} // namespace

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
    m_logFile->open(path, m_logRotateSize, LogFileOwnership(defaultLogFileRegistry()));

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
        const QByteArray chunk = item->toByteArray();
        // Written to the log file by the reading thread already, or here.
        const auto written = notification.userInfo.constFind(LogFileAppendedItem);
        const SharedLogFile::Appended appended =
            written != notification.userInfo.constEnd() && written->isValid()
                ? written->value<SharedLogFile::Appended>()
                : m_logFile->append(std::string_view(chunk.constData(), size_t(chunk.size())));
        if (appended.failure != 0)
            reportLogFileFailure(appended.failure);
        m_logOrder.take(chunk, appended,
                        [this](const QByteArray &bytes, const SharedLogFile::Appended &where) {
                            appendToLog(bytes, where);
                        });
    }

    // At the end of its stream a handle ignores this, so reading stops there.
    if (const auto handle = std::dynamic_pointer_cast<FileHandle>(notification.sender))
        handle->readInBackgroundAndNotify();
}

void MooController::appendToLog(const QByteArray &chunk, const SharedLogFile::Appended &appended)
{
    // Every byte is one Latin-1 character, so the chunk is stored as it came. A log set to none
    // reads as empty.
    const LogTextPtr log = outputString() ? outputString() : LogText::create();
    try {
        setOutputString(log->appending(std::string_view(chunk.constData(), size_t(chunk.size())),
                                       LogKeeping{m_scrollbackBytes, appended.file,
                                                  appended.fileOffset}));
    } catch (const std::bad_alloc &) {
        // No memory for the chunk even after dropping older bytes: the window's log keeps
        // what it has (the log file has the chunk) rather than ending Paddock.
    }
}

void MooController::logWhereRead(const std::shared_ptr<FileHandle> &handle)
{
    // The thread holds the log file, not the controller: a controller may go while its
    // server's last output is still being read. Before any other work on the chunk: what is
    // taken from a pipe is on disk at once, so a Paddock killed meanwhile loses as little as
    // it can.
    handle->addChunkWork(
        LogFileAppendedItem,
        [file = m_logFile](const QByteArray &chunk) {
            if (chunk.isEmpty())
                return QVariant();
            return QVariant::fromValue(
                file->append(std::string_view(chunk.constData(), size_t(chunk.size()))));
        },
        FileHandle::WorkPlace::First);
}

void MooController::reportLogFileFailure(int error)
{
    // Players' words reach the log file: a link there could carry them anywhere.
    const QString reason =
        error == ELOOP
            ? QCoreApplication::translate("MooController",
                                          "it is a symbolic link, which Paddock does not follow")
            : QString::fromStdString(errorText(error));
    Q_EMIT logFileFailed(QCoreApplication::translate("MooController",
                                                     "The log file %1 cannot be written (%2); "
                                                     "the log goes on in this window only.")
                             .arg(QString::fromStdString(m_logFile->path()), reason));
}

} // namespace paddock

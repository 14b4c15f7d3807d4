// SPDX-License-Identifier: MIT
#pragma once

#include "UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace paddock {

/// Name of the notice posted when a background read completes.
inline const QString FileHandleReadCompletionNotification =
    QStringLiteral("FileHandleReadCompletionNotification");
/// Information item of that notice holding the bytes read (a QByteArray; empty at end of stream).
inline const QString FileHandleNotificationDataItem =
    QStringLiteral("FileHandleNotificationDataItem");
/// Information item present when the read failed: the errno value (an int).
inline const QString FileHandleError = QStringLiteral("FileHandleError");

/// The read end of a pipe, read in the background on the GUI thread's event loop.
class FileHandle final : public QObject, public std::enable_shared_from_this<FileHandle> {
    Q_OBJECT
public:
    /// Most bytes one completion carries, so one wakeup never reads without bound.
    static constexpr qsizetype MaxChunk = 1 << 20;

    /// Takes ownership of fd and makes it non-blocking; a pipe's capacity is raised to
    /// MaxChunk where the system allows.
    static std::shared_ptr<FileHandle> create(UniqueFd fd);
    ~FileHandle() override;
    Q_DISABLE_COPY_MOVE(FileHandle)

    /// Reads the next available bytes (at most MaxChunk, retrying on EINTR) once the
    /// descriptor is readable and posts a FileHandleReadCompletionNotification from this
    /// handle. While the read is pending the handle keeps itself alive. After end of
    /// stream or a failed read the descriptor is closed and further calls do nothing. The
    /// bytes come in a buffer the handle reuses once no one holds it; a subscriber may
    /// keep a chunk, and the handle then reads into a new buffer.
    void readInBackgroundAndNotify();

    /// The descriptor, or -1 once the handle has closed it.
    int fileDescriptor() const { return m_fd.get(); }
    /// Whether the stream has ended (end of stream or a failed read).
    bool isAtEnd() const { return m_atEnd; }
    /// Whether a background read has been asked for and not yet completed.
    bool isReadPending() const { return m_selfWhilePending != nullptr; }

private:
    explicit FileHandle(UniqueFd fd);
    void onReadable();
    // Reads what the descriptor has now, up to MaxChunk bytes, into m_buffer. Returns 0
    // for data or nothing yet, -1 at end of stream, otherwise the errno of a failed read.
    int readAvailable();

    UniqueFd m_fd;
    QSocketNotifier *m_notifier = nullptr;
    std::shared_ptr<FileHandle> m_selfWhilePending;
    QByteArray m_buffer;
    bool m_atEnd = false;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "ReadingThread.h"
#include "UniqueFd.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

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

/// The read end of a pipe, read on a thread of its own a few chunks ahead and handed to the
/// GUI thread's event loop one chunk at a time.
class FileHandle final : public QObject, public std::enable_shared_from_this<FileHandle> {
    Q_OBJECT
public:
    /// Most bytes one completion carries, so one wakeup never reads without bound.
    static constexpr qsizetype MaxChunk = ReadingThread::MaxChunk;

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

    /// Where a work goes among those already added: they run on each chunk in this order.
    enum class WorkPlace { Last, First };
    /// Has work done on every chunk on the reading thread, before its notice is posted; the
    /// notice carries what it made under item. Only before the first read: work added later
    /// is refused (false).
    bool addChunkWork(const QString &item, ChunkWork work, WorkPlace place = WorkPlace::Last);
    /// Reads the handles on one thread from their first read on, so their chunks arrive in the
    /// order they were read (and worked on: a server's output and error reach its log file and
    /// its window in the same order). Only for handles that have not begun to read (others are
    /// left as they are). Throws std::system_error when no descriptor is left for it.
    static void readTogether(const std::vector<std::shared_ptr<FileHandle>> &handles);
    /// For a process about to exit: stops every reading thread (what each took from its pipe
    /// has been through its work: the log file has it) and lets go of every pending read, so
    /// no handle keeps itself alive past the exit.
    static void stopAllReading();

    /// The descriptor, or -1 once the handle has closed it.
    int fileDescriptor() const { return m_fd.get(); }
    /// Whether the stream has ended (end of stream or a failed read).
    bool isAtEnd() const { return m_atEnd; }
    /// Whether a background read has been asked for and not yet completed.
    bool isReadPending() const { return m_selfWhilePending != nullptr; }

private:
    explicit FileHandle(UniqueFd fd);
    void onReadable();
    // Starts the reading thread and the notifier on its hand-overs; false, with a failed
    // read's notice posted, when the system has no thread to give.
    bool startReading();
    void end();

    UniqueFd m_fd;
    ChunkWorks m_works;
    std::shared_ptr<ReadingThread> m_reader; // shared with the handles read together
    std::size_t m_source = 0;                // this handle's among the reader's
    bool m_reading = false;
    QSocketNotifier *m_notifier = nullptr;
    std::shared_ptr<FileHandle> m_selfWhilePending;
    bool m_atEnd = false;
};

} // namespace paddock

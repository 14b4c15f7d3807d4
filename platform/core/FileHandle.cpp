// SPDX-License-Identifier: MIT
#include "FileHandle.h"

#include "DescriptorIo.h"
#include "Logging.h"
#include "NotificationCenter.h"
#include "SystemError.h"

#include <QSocketNotifier>

#include <cerrno>
#include <system_error>
#include <fcntl.h>
#include <unistd.h>

namespace paddock {

std::shared_ptr<FileHandle> FileHandle::create(UniqueFd fd)
{
    return std::shared_ptr<FileHandle>(new FileHandle(std::move(fd)));
}

namespace {

// Every handle alive, so a process about to exit can let go of their pending reads. GUI thread
// only.
std::vector<FileHandle *> &liveHandles()
{
    static std::vector<FileHandle *> handles;
    return handles;
}

} // namespace

void FileHandle::stopAllReading()
{
    ReadingThread::stopAll();
    // No notice can come any more; a handle that only its pending read kept goes now.
    std::vector<std::shared_ptr<FileHandle>> pending;
    for (FileHandle *handle : liveHandles())
        if (handle->m_selfWhilePending)
            pending.push_back(std::move(handle->m_selfWhilePending));
    pending.clear();
}

FileHandle::FileHandle(UniqueFd fd)
    : m_fd(std::move(fd))
{
    liveHandles().push_back(this);
    if (m_fd) {
        const int flags = ::fcntl(m_fd.get(), F_GETFL);
        if (flags >= 0)
            ::fcntl(m_fd.get(), F_SETFL, flags | O_NONBLOCK);
#ifdef F_SETPIPE_SZ
        // A pipe as large as one chunk lets a flooding writer run ahead while we append
        // what we read, so each wakeup carries more and there are fewer of them. Only
        // pipes take this, and the system may refuse it; either way reading works.
        ::fcntl(m_fd.get(), F_SETPIPE_SZ, int(MaxChunk));
#endif
    } else {
        m_atEnd = true;
    }
}

FileHandle::~FileHandle()
{
    std::erase(liveHandles(), this);
    // Read together with a handle that lives on, its chunks are no one's now.
    if (m_reader)
        m_reader->abandon(m_source);
}

bool FileHandle::addChunkWork(const QString &item, ChunkWork work, WorkPlace place)
{
    if (m_reader || m_atEnd)
        return false;
    m_works.emplace(place == WorkPlace::First ? m_works.begin() : m_works.end(), item,
                    std::move(work));
    return true;
}

void FileHandle::readTogether(const std::vector<std::shared_ptr<FileHandle>> &handles)
{
    std::vector<ReadingThread::Source> sources;
    for (const std::shared_ptr<FileHandle> &handle : handles)
        if (!handle || handle->m_reader || handle->m_atEnd)
            return;
    for (const std::shared_ptr<FileHandle> &handle : handles)
        sources.push_back({handle->m_fd.get(), handle->m_works});
    const auto reader = std::make_shared<ReadingThread>(std::move(sources));
    for (std::size_t source = 0; source < handles.size(); ++source) {
        handles[source]->m_reader = reader;
        handles[source]->m_source = source;
        handles[source]->m_works.clear();
    }
}

void FileHandle::readInBackgroundAndNotify()
{
    if (m_atEnd)
        return;
    if (!m_reading && !startReading())
        return;
    m_selfWhilePending = shared_from_this();
    if (!m_notifier->isEnabled())
        m_notifier->setEnabled(true);
}

bool FileHandle::startReading()
{
    try {
        if (!m_reader)
            m_reader = std::make_shared<ReadingThread>(
                std::vector<ReadingThread::Source>{{m_fd.get(), std::exchange(m_works, {})}});
        m_reader->start();
    } catch (const std::system_error &failure) {
        const int error = failure.code().value();
        qCWarning(lcProcess, "Cannot read descriptor %d: %s", m_fd.get(), failure.what());
        end();
        // Told as a failed read, once this call has returned, as a read's notice always is.
        QMetaObject::invokeMethod(
            this,
            [self = shared_from_this(), error] {
                NotificationCenter::defaultCenter().post(Notification{
                    FileHandleReadCompletionNotification, self, {{FileHandleError, error}}});
            },
            Qt::QueuedConnection);
        return false;
    }
    m_reading = true;
    m_notifier = new QSocketNotifier(qintptr(m_reader->readyDescriptor(m_source)),
                                     QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &FileHandle::onReadable);
    return true;
}

void FileHandle::onReadable()
{
    if (!m_selfWhilePending) {
        m_notifier->setEnabled(false); // a chunk waits, but no one asked for one
        return;
    }
    std::optional<ReadChunk> chunk = m_reader->take(m_source);
    if (!chunk)
        return; // a spurious wakeup: keep waiting

    // Keep this handle alive until the notice has been delivered, even if its last other
    // owner lets go of it meanwhile.
    const std::shared_ptr<FileHandle> self = std::move(m_selfWhilePending);
    if (chunk->error != 0)
        qCWarning(lcProcess, "Reading from descriptor %d failed: %s", m_fd.get(),
                  errorText(chunk->error).c_str());
    // Nothing more can come: stop watching and give the descriptor back now, so a finished
    // server leaves no descriptor, thread or busy notifier behind.
    if (chunk->last)
        end();

    Notification notification{FileHandleReadCompletionNotification, self, {}};
    for (auto made = chunk->made.cbegin(); made != chunk->made.cend(); ++made)
        notification.userInfo.insert(made.key(), made.value());
    if (chunk->error != 0)
        notification.userInfo.insert(FileHandleError, chunk->error);
    else
        notification.userInfo.insert(FileHandleNotificationDataItem, chunk->bytes);
    NotificationCenter::defaultCenter().post(notification);

    // A subscriber normally asks for the next read while it handles the notice, and the
    // notifier then simply stays on; if none did, stop watching until someone asks.
    if (!m_selfWhilePending && m_notifier)
        m_notifier->setEnabled(false);
}

void FileHandle::end()
{
    m_atEnd = true;
    if (m_notifier) {
        // The notifier may be inside its own signal: it goes once that has returned.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
    }
    // Its thread reads this handle's descriptor no more, or what it reads is no one's: the
    // thread goes with the last handle it reads for.
    if (m_reader) {
        m_reader->abandon(m_source);
        m_reader.reset();
    }
    m_fd.reset();
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "FileHandle.h"

#include "DescriptorIo.h"
#include "Logging.h"
#include "NotificationCenter.h"
#include "SystemError.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace paddock {

std::shared_ptr<FileHandle> FileHandle::create(UniqueFd fd)
{
    return std::shared_ptr<FileHandle>(new FileHandle(std::move(fd)));
}

FileHandle::FileHandle(UniqueFd fd)
    : m_fd(std::move(fd))
{
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

FileHandle::~FileHandle() = default;

void FileHandle::readInBackgroundAndNotify()
{
    if (m_atEnd)
        return;
    if (!m_notifier) {
        m_notifier = new QSocketNotifier(qintptr(m_fd.get()), QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, &FileHandle::onReadable);
    }
    m_selfWhilePending = shared_from_this();
    if (!m_notifier->isEnabled())
        m_notifier->setEnabled(true);
}

int FileHandle::readAvailable()
{
    // Read into the last chunk's buffer when no one holds that chunk any more: it needs
    // no allocation and is still in the cache.
    if (!m_buffer.isDetached())
        m_buffer = QByteArray();
    m_buffer.resize(MaxChunk);

    qsizetype size = 0;
    int status = 0;
    // Drain what is there now, up to one chunk's worth: fewer wakeups under a flood, yet a
    // bounded amount of work per wakeup.
    while (size < MaxChunk) {
        const qsizetype want = MaxChunk - size;
        const ssize_t got = readSome(m_fd.get(), m_buffer.data() + size, size_t(want));
        if (got > 0) {
            size += got;
            if (got < want)
                break; // a pipe hands over all it holds, so it is empty for now
            continue;
        }
        if (got == 0) {
            status = size == 0 ? -1 : 0; // deliver what we have; the end shows on the next read
            break;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && size == 0)
            status = errno;
        break;
    }
    m_buffer.resize(size);
    return status;
}

void FileHandle::onReadable()
{
    if (!m_selfWhilePending) {
        m_notifier->setEnabled(false); // readable, but no one asked for a read
        return;
    }
    const int status = readAvailable();
    if (status == 0 && m_buffer.isEmpty())
        return; // a spurious wakeup: keep waiting

    // Keep this handle alive until the notice has been delivered, even if its last other
    // owner lets go of it meanwhile.
    const std::shared_ptr<FileHandle> self = std::move(m_selfWhilePending);
    if (status > 0)
        qCWarning(lcProcess, "Reading from descriptor %d failed: %s", m_fd.get(),
                  errorText(status).c_str());
    if (status != 0) {
        // Nothing more can come: stop watching and give the descriptor back now, so a
        // finished server leaves no descriptor and no busy notifier behind. The notifier
        // is inside its own signal, so it goes once that has returned.
        m_atEnd = true;
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
        m_notifier = nullptr;
        m_fd.reset();
        m_buffer = QByteArray();
    }

    Notification notification{FileHandleReadCompletionNotification, self, {}};
    if (status > 0)
        notification.userInfo.insert(FileHandleError, status);
    else
        notification.userInfo.insert(FileHandleNotificationDataItem, m_buffer);
    NotificationCenter::defaultCenter().post(notification);

    // A subscriber normally asks for the next read while it handles the notice, and the
    // notifier then simply stays on; if none did, stop watching until someone asks.
    if (!m_selfWhilePending && m_notifier)
        m_notifier->setEnabled(false);
}

} // namespace paddock

#include "FileHandle.h"

#include "NotificationCenter.h"

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
    m_notifier->setEnabled(true);
}

void FileHandle::onReadable()
{
    m_notifier->setEnabled(false);
    // Keep this handle alive until the notice has been delivered, even if its last
    // other owner lets go of it meanwhile.
    const std::shared_ptr<FileHandle> self = std::move(m_selfWhilePending);

    QByteArray data;
    int error = 0;
    bool ended = false;
    // Drain what is there now, up to one chunk's worth: fewer wakeups under a flood,
    // yet a bounded amount of work per wakeup.
    char buffer[64 * 1024];
    while (data.size() < MaxChunk) {
        const qsizetype want = std::min<qsizetype>(qsizetype(sizeof buffer), MaxChunk - data.size());
        const ssize_t got = ::read(m_fd.get(), buffer, size_t(want));
        if (got > 0) {
            data.append(buffer, qsizetype(got));
            if (got < want)
                break; // the pipe is empty for now
            continue;
        }
        if (got == 0) {
            ended = data.isEmpty();
            break;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK && data.isEmpty()) {
            error = errno;
            ended = true;
        }
        break;
    }
    if (data.isEmpty() && !ended) {
        m_selfWhilePending = self; // spurious wakeup: keep waiting
        m_notifier->setEnabled(true);
        return;
    }
    if (ended) {
        // Nothing more can come: stop watching and give the descriptor back now, so a
        // finished server leaves no descriptor and no busy notifier behind.
        m_atEnd = true;
        delete m_notifier;
        m_notifier = nullptr;
        m_fd.reset();
    }

    Notification notification{FileHandleReadCompletionNotification, self, {}};
    if (error != 0)
        notification.userInfo.insert(FileHandleError, error);
    else
        notification.userInfo.insert(FileHandleNotificationDataItem, data);
    NotificationCenter::defaultCenter().post(notification);
}

} // namespace paddock

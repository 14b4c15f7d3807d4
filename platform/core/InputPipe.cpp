// SPDX-License-Identifier: MIT
#include "InputPipe.h"

#include "Pipe.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

namespace {

// Writes to a pipe without a reader fail with EPIPE instead of ending the launcher by
// SIGPIPE: the signal is held during the write, and one the write raised is taken back.
ssize_t writeWithoutSigpipe(int fd, const char *data, std::size_t size)
{
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t written = ::write(fd, data, size);
    const int error = errno;
    if (written < 0 && error == EPIPE && !alreadyPending) {
        const timespec now = {0, 0};
        while (sigtimedwait(&pipeSignal, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return written;
}

} // namespace

std::shared_ptr<InputPipe> InputPipe::create()
{
    PipeEnds ends = makePipeEnds();
    return std::shared_ptr<InputPipe>(
        new InputPipe(std::move(ends.readEnd), std::move(ends.writeEnd)));
}

std::shared_ptr<InputPipe> InputPipe::adopt(UniqueFd writeEnd)
{
    return std::shared_ptr<InputPipe>(new InputPipe(UniqueFd(), std::move(writeEnd)));
}

InputPipe::InputPipe(UniqueFd readEnd, UniqueFd writeEnd)
    : m_readEnd(std::move(readEnd))
    , m_writeEnd(std::move(writeEnd))
{
    if (!m_writeEnd)
        return;
    // Only the launcher's end is non-blocking: the flag belongs to the open file, which the
    // child's read end does not share.
    const int flags = ::fcntl(m_writeEnd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(m_writeEnd.get(), F_SETFL, flags | O_NONBLOCK);
    m_writable = new QSocketNotifier(m_writeEnd.get(), QSocketNotifier::Write, this);
    m_writable->setEnabled(false);
    connect(m_writable, &QSocketNotifier::activated, this, &InputPipe::flush);
}

InputPipe::~InputPipe() = default;

bool InputPipe::write(const QByteArray &bytes)
{
    if (!m_writeEnd)
        return false;
    m_queue.append(bytes);
    flush();
    return true;
}

void InputPipe::close()
{
    delete m_writable;
    m_writable = nullptr;
    m_writeEnd.reset();
    m_queue.clear();
}

void InputPipe::flush()
{
    while (m_writeEnd && !m_queue.isEmpty()) {
        const ssize_t written =
            writeWithoutSigpipe(m_writeEnd.get(), m_queue.constData(), std::size_t(m_queue.size()));
        if (written >= 0) {
            m_queue.remove(0, written);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN) {
            m_writable->setEnabled(true); // go on once the child has read some
            return;
        }
        const int error = errno;
        close();
        Q_EMIT failed(error);
        return;
    }
    if (m_writable)
        m_writable->setEnabled(false);
}

} // namespace paddock

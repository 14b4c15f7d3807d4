// SPDX-License-Identifier: MIT
#include "ReadingThread.h"

#include "DescriptorIo.h"
#include "Logging.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

namespace {

UniqueFd makeEventDescriptor()
{
    UniqueFd fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!fd)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    // Never 0, 1 or 2, which a launcher started without them would hand to its children.
    return aboveStandardDescriptors(std::move(fd));
}

void signalEvent(int fd)
{
    const std::uint64_t one = 1;
    // Only a full counter refuses, and a readable one is all that is wanted.
    [[maybe_unused]] const ssize_t wrote = writeSome(fd, &one, sizeof one);
}

void clearEvent(int fd)
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = readSome(fd, &count, sizeof count);
}

// Every reading thread of the process, so the process can stop them all before it exits.
std::mutex &registryMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<ReadingThread *> &registry()
{
    static std::vector<ReadingThread *> threads;
    return threads;
}

} // namespace

ReadingThread::ReadingThread(std::vector<Source> sources)
    : m_wake(makeEventDescriptor())
{
    for (Source &source : sources) {
        SourceState state;
        state.fd = UniqueFd(::fcntl(source.fd, F_DUPFD_CLOEXEC, 3));
        if (!state.fd)
            throw std::system_error(errno, std::generic_category(), "fcntl(F_DUPFD_CLOEXEC)");
        state.works = std::move(source.works);
        state.ready = makeEventDescriptor();
        m_sources.push_back(std::move(state));
    }
}

ReadingThread::~ReadingThread()
{
    stop();
}

void ReadingThread::start()
{
    if (m_started)
        return;
    const std::lock_guard lock(registryMutex());
    registry().push_back(this);
    try {
        m_thread = std::thread([this] { run(); });
    } catch (...) {
        registry().pop_back();
        throw;
    }
    m_started = true;
}

void ReadingThread::stop()
{
    if (!m_started)
        return;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_room.notify_all();
    signalEvent(m_wake.get());
    std::call_once(m_joined, [this] {
        m_thread.join();
        const std::lock_guard lock(registryMutex());
        std::erase(registry(), this);
    });
}

void ReadingThread::stopAll()
{
    std::vector<ReadingThread *> threads;
    {
        const std::lock_guard lock(registryMutex());
        threads = registry();
    }
    for (ReadingThread *thread : threads)
        thread->stop();
}

std::optional<ReadChunk> ReadingThread::take(std::size_t source)
{
    std::optional<ReadChunk> chunk;
    {
        const std::lock_guard lock(m_mutex);
        if (m_chunks.empty() || m_chunks.front().source != source)
            return std::nullopt;
        chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        updateReadyLocked();
    }
    m_room.notify_one();
    return chunk;
}

void ReadingThread::abandon(std::size_t source)
{
    {
        const std::lock_guard lock(m_mutex);
        m_sources[source].abandoned = true;
        std::erase_if(m_chunks, [source](const ReadChunk &chunk) { return chunk.source == source; });
        updateReadyLocked();
    }
    m_room.notify_one();
}

void ReadingThread::hand(ReadChunk chunk)
{
    const std::lock_guard lock(m_mutex);
    if (m_sources[chunk.source].abandoned)
        return;
    m_chunks.push_back(std::move(chunk));
    updateReadyLocked();
}

void ReadingThread::updateReadyLocked()
{
    for (std::size_t source = 0; source < m_sources.size(); ++source) {
        SourceState &state = m_sources[source];
        const bool oldest = !m_chunks.empty() && m_chunks.front().source == source;
        if (oldest == state.readySet)
            continue;
        state.readySet = oldest;
        if (oldest)
            signalEvent(state.ready.get());
        else
            clearEvent(state.ready.get());
    }
}

void ReadingThread::run()
{
    std::size_t turn = 0; // the source looked at first, so a flooding one starves no other
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [this] { return m_stopping || m_chunks.size() < MaxAhead; });
            if (m_stopping)
                return;
        }
        std::vector<pollfd> watched;
        std::vector<std::size_t> sources;
        for (std::size_t source = 0; source < m_sources.size(); ++source) {
            if (m_sources[source].fd) {
                watched.push_back({m_sources[source].fd.get(), POLLIN, 0});
                sources.push_back(source);
            }
        }
        if (sources.empty())
            return; // every stream has ended
        watched.push_back({m_wake.get(), POLLIN, 0});
        std::optional<ReadChunk> chunk;
        if (retryOnInterrupt([&] { return ::poll(watched.data(), nfds_t(watched.size()), -1); }) <
            0) {
            chunk = ReadChunk{sources.front(), {}, errno, true, {}};
        } else if (watched.back().revents != 0) {
            return; // asked to stop; what the descriptors hold stays for their next reader
        } else {
            for (std::size_t k = 0; k < sources.size() && !chunk; ++k) {
                const std::size_t at = (turn + k) % sources.size();
                if (watched[at].revents != 0) {
                    turn = at + 1;
                    chunk = readAvailable(sources[at]);
                }
            }
        }
        if (!chunk)
            continue;
        SourceState &state = m_sources[chunk->source];
        for (const auto &[item, work] : state.works) {
            try {
                chunk->made.insert(item, work(chunk->bytes));
            } catch (const std::exception &failure) {
                // The chunk still goes to the window, without what this work makes of it.
                qCWarning(lcProcess, "Work on a chunk read from descriptor %d failed: %s",
                          state.fd.get(), failure.what());
            }
        }
        if (chunk->last)
            state.fd.reset();
        hand(std::move(*chunk));
    }
}

QByteArray &ReadingThread::freeBuffer()
{
    for (QByteArray &buffer : m_buffers) {
        if (buffer.isDetached()) {
            // Whoever let go of it last is done reading it before it is written again.
            std::atomic_thread_fence(std::memory_order_acquire);
            buffer.resize(MaxChunk);
            return buffer;
        }
    }
    // Every buffer is still held: a taker that keeps chunks keeps its buffers too.
    if (m_buffers.size() > MaxAhead + 1)
        m_buffers.erase(m_buffers.begin());
    m_buffers.emplace_back(MaxChunk, Qt::Uninitialized);
    return m_buffers.back();
}

std::optional<ReadChunk> ReadingThread::readAvailable(std::size_t source)
{
    const int fd = m_sources[source].fd.get();
    QByteArray &buffer = freeBuffer();
    qsizetype size = 0;
    int status = 0; // 0: data or nothing yet, -1: the end, otherwise a failed read's errno
    // Drain what is there now, up to one chunk's worth: fewer hand-overs under a flood, yet a
    // bounded amount of work for the taker at a time.
    while (size < MaxChunk) {
        const qsizetype want = MaxChunk - size;
        const ssize_t got = readSome(fd, buffer.data() + size, size_t(want));
        if (got > 0) {
            size += got;
            if (got < want)
                break; // a pipe hands over all it holds, so it is empty for now
            continue;
        }
        if (got == 0) {
            status = size == 0 ? -1 : 0; // hand over what we have; the end shows next time
            break;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK && size == 0)
            status = errno;
        break;
    }
    if (status == 0 && size == 0)
        return std::nullopt; // woken for nothing
    ReadChunk chunk;
    chunk.source = source;
    if (status != 0) {
        chunk.last = true;
        chunk.error = std::max(status, 0);
        return chunk;
    }
    buffer.resize(size);
    chunk.bytes = buffer;
    return chunk;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "UniqueFd.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVariant>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace paddock {

/// What is done with each chunk on the thread that read it, before the window's thread takes
/// it: the chunk's bytes (empty at the end of the stream or after a failed read) in, the value
/// the chunk's notice carries under the work's item out. Writing the log file and cutting the
/// lines there keeps a flood's heaviest work off the window's thread.
using ChunkWork = std::function<QVariant(const QByteArray &chunk)>;
using ChunkWorks = std::vector<std::pair<QString, ChunkWork>>;

/// One read of a descriptor as its reading thread hands it over.
struct ReadChunk final {
    std::size_t source = 0;        // which of the thread's descriptors it was read from
    QByteArray bytes;              // empty at the end of the stream or after a failed read
    int error = 0;                 // the errno of a failed read
    bool last = false;             // nothing follows from this source
    QHash<QString, QVariant> made; // what each chunk work made of it, by item
};

/// Reads descriptors (a server's output and error) on a thread of its own, a few chunks ahead of
/// whoever takes them: the writer runs on while the window's thread works, yet it is held back
/// (its pipe fills) once the chunks read ahead are not taken. The chunks of all its descriptors
/// are taken in the order they were read, so whatever the works did with them (the log file's
/// order) is the order the taker sees. Each descriptor is duplicated: the caller's stays its own.
class ReadingThread final {
public:
    /// Most bytes one chunk holds, and most chunks read ahead of the taker.
    static constexpr qsizetype MaxChunk = 1 << 20;
    static constexpr std::size_t MaxAhead = 4;

    /// One descriptor to read (non-blocking) and the works run on each of its chunks, in order.
    struct Source {
        int fd = -1;
        ChunkWorks works;
    };
    /// Throws std::system_error when no descriptor is left for the duplicates and events.
    explicit ReadingThread(std::vector<Source> sources);
    /// Stops as stop() does.
    ~ReadingThread();
    ReadingThread(const ReadingThread &) = delete;
    ReadingThread &operator=(const ReadingThread &) = delete;

    /// Starts the thread unless it has started. Throws std::system_error.
    void start();
    /// Readable (level-triggered) while the oldest chunk not yet taken is source's.
    int readyDescriptor(std::size_t source) const { return m_sources[source].ready.get(); }
    /// The oldest chunk not yet taken, if it is source's.
    std::optional<ReadChunk> take(std::size_t source);
    /// No one takes source's chunks any more: they are read (and worked on) and let go.
    void abandon(std::size_t source);

    /// Stops reading and waits for the thread: a chunk it is reading is read and worked on
    /// first, so nothing taken from a descriptor goes unprocessed. Idempotent.
    void stop();
    /// Stops every reading thread of the process, for a process about to exit: what they read
    /// has been through its works (the log file has it) before the process goes.
    static void stopAll();

private:
    struct SourceState {
        UniqueFd fd; // the duplicate read, closed at its end
        ChunkWorks works;
        UniqueFd ready; // an eventfd, readable while the oldest chunk is this source's
        bool readySet = false;
        bool abandoned = false;
    };

    void run();
    // Reads what source has now, up to MaxChunk bytes; nullopt when it has nothing.
    std::optional<ReadChunk> readAvailable(std::size_t source);
    // A buffer of MaxChunk bytes that no chunk handed over still uses.
    QByteArray &freeBuffer();
    void hand(ReadChunk chunk);
    // Makes each source's ready descriptor say whether the oldest chunk is its; under m_mutex.
    void updateReadyLocked();

    std::vector<SourceState> m_sources;
    UniqueFd m_wake; // an eventfd that wakes the thread from its wait for the descriptors
    std::vector<QByteArray> m_buffers; // the thread's own
    std::mutex m_mutex;
    std::condition_variable m_room;
    std::deque<ReadChunk> m_chunks;
    bool m_stopping = false;
    bool m_started = false;
    std::once_flag m_joined;
    std::thread m_thread;
};

} // namespace paddock

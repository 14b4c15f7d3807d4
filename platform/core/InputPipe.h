// SPDX-License-Identifier: MIT
#pragma once

#include "UniqueFd.h"

#include <QByteArray>
#include <QObject>

#include <memory>

class QSocketNotifier;

namespace paddock {

/// A one-way pipe the launcher writes into and a child reads as its standard input. The
/// write end is non-blocking: bytes the pipe cannot take yet wait in a queue and go out as it
/// drains, so a child that does not read never blocks the event loop.
class InputPipe final : public QObject {
    Q_OBJECT
public:
    /// A new pipe, both ends close-on-exec and numbered above 2. Throws std::system_error
    /// when the system has no descriptors left.
    static std::shared_ptr<InputPipe> create();
    /// The write end of a pipe that exists already (taken back from a keeper); it has no read
    /// end. Takes ownership of writeEnd and makes it non-blocking.
    static std::shared_ptr<InputPipe> adopt(UniqueFd writeEnd);
    ~InputPipe() override;
    Q_DISABLE_COPY_MOVE(InputPipe)

    /// The read end's descriptor, for the child; -1 once closed.
    int readDescriptor() const { return m_readEnd.get(); }
    /// Closes the launcher's copy of the read end, once the child has its own.
    void closeReadEnd() { m_readEnd.reset(); }
    /// The write end's descriptor; -1 once closed.
    int writeDescriptor() const { return m_writeEnd.get(); }
    bool isOpen() const { return m_writeEnd.isValid(); }

    /// Queues bytes and writes what the pipe takes now, the rest as it drains. Returns false,
    /// queuing nothing, once the pipe is closed or has failed.
    bool write(const QByteArray &bytes);
    /// Closes the write end, dropping what is still queued.
    void close();
    /// Bytes queued and not yet written.
    qsizetype pending() const { return m_queue.size(); }

Q_SIGNALS:
    /// Writing failed (EPIPE: the reader is gone), with the errno value; the pipe is closed.
    void failed(int error);

private:
    InputPipe(UniqueFd readEnd, UniqueFd writeEnd);
    void flush();

    UniqueFd m_readEnd;
    UniqueFd m_writeEnd;
    QByteArray m_queue;
    QSocketNotifier *m_writable = nullptr;
};

} // namespace paddock

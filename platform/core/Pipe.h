// SPDX-License-Identifier: MIT
#pragma once

#include "FileHandle.h"
#include "UniqueFd.h"

#include <QtGlobal>

#include <memory>

namespace paddock {

/// A one-way pipe: the child writes into it, the launcher reads from its read end.
/// Both ends of a new pipe, close-on-exec and numbered above 0, 1 and 2: a launcher started
/// with one of those closed would otherwise get an end numbered there, and a child's dup2 onto
/// its standard descriptors would overwrite one end with the other. Throws std::system_error.
struct PipeEnds {
    UniqueFd readEnd;
    UniqueFd writeEnd;
};
PipeEnds makePipeEnds();

class Pipe final {
public:
    /// A new pipe, both ends close-on-exec and numbered above 2.
    /// Throws std::system_error when the system has no descriptors left.
    static std::shared_ptr<Pipe> create();
    /// A pipe made from the read end of one that exists already (taken back from a keeper);
    /// it has no write end. Takes ownership of readEnd.
    static std::shared_ptr<Pipe> adopt(UniqueFd readEnd);
    Q_DISABLE_COPY_MOVE(Pipe)
    ~Pipe() = default;

    /// The read end.
    const std::shared_ptr<FileHandle> &fileHandleForReading() const { return m_readEnd; }
    /// The write end's descriptor, or -1 once closed.
    int writeDescriptor() const { return m_writeEnd.get(); }
    /// Closes the launcher's copy of the write end, so the read end sees the end of the
    /// stream once the child's copies close.
    void closeWriteEnd() { m_writeEnd.reset(); }

private:
    Pipe(UniqueFd readEnd, UniqueFd writeEnd);

    std::shared_ptr<FileHandle> m_readEnd;
    UniqueFd m_writeEnd;
};

} // namespace paddock

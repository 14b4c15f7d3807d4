// SPDX-License-Identifier: MIT
#include "Pipe.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

std::shared_ptr<Pipe> Pipe::create()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    // A launcher started with 0, 1 or 2 closed would get a pipe end numbered there, and the
    // child's dup2 onto 1 and 2 would then overwrite one end with the other.
    readEnd = aboveStandardDescriptors(std::move(readEnd));
    writeEnd = aboveStandardDescriptors(std::move(writeEnd));
    return std::shared_ptr<Pipe>(new Pipe(std::move(readEnd), std::move(writeEnd)));
}

std::shared_ptr<Pipe> Pipe::adopt(UniqueFd readEnd)
{
    return std::shared_ptr<Pipe>(new Pipe(std::move(readEnd), UniqueFd()));
}

Pipe::Pipe(UniqueFd readEnd, UniqueFd writeEnd)
    : m_readEnd(FileHandle::create(std::move(readEnd)))
    , m_writeEnd(std::move(writeEnd))
{}

} // namespace paddock

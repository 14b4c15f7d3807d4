// SPDX-License-Identifier: MIT
#include "Pipe.h"

#include <cerrno>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace paddock {

PipeEnds makePipeEnds()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    UniqueFd readEnd(fds[0]);
    UniqueFd writeEnd(fds[1]);
    return {aboveStandardDescriptors(std::move(readEnd)),
            aboveStandardDescriptors(std::move(writeEnd))};
}

std::shared_ptr<Pipe> Pipe::create()
{
    PipeEnds ends = makePipeEnds();
    return std::shared_ptr<Pipe>(new Pipe(std::move(ends.readEnd), std::move(ends.writeEnd)));
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

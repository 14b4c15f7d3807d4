// SPDX-License-Identifier: MIT
#pragma once

#include <cerrno>
#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace paddock {

// Every read and write of a descriptor goes through these: they own the rule that a call cut
// short by a signal (EINTR) is made again, so no caller writes that loop itself.

/// Runs call until it returns anything but -1 with errno EINTR; returns that result, errno
/// kept. For system calls that return -1 on failure (open, waitid, poll, statvfs...).
template <typename Call> auto retryOnInterrupt(Call call)
{
    decltype(call()) result;
    do
        result = call();
    while (result == -1 && errno == EINTR);
    return result;
}

/// One read of at most size bytes: the count, 0 at the end, or -1 with errno set (EAGAIN on
/// a non-blocking descriptor with nothing yet).
ssize_t readSome(int fd, void *buffer, std::size_t size);
/// One write of at most size bytes: the count written, or -1 with errno set.
ssize_t writeSome(int fd, const void *data, std::size_t size);

/// How much a reading loop got, and why it stopped short (0: the end of the file).
struct ReadOutcome {
    std::size_t bytes = 0;
    int error = 0;
};
/// Reads until size bytes are in or the file ends; error is set when a read fails.
ReadOutcome readFully(int fd, void *buffer, std::size_t size);
/// The same at offset, leaving the file position alone.
ReadOutcome readFullyAt(int fd, void *buffer, std::size_t size, off_t offset);
/// Appends to text everything up to the end of the file; 0, or the errno of the read that
/// failed (text then holds what came before).
int readAll(int fd, std::string &text);

/// Writes all of data to fd, retrying after signals and short writes; false, with errno
/// set, when a write fails.
bool writeAll(int fd, std::string_view data);

} // namespace paddock

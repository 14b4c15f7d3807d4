// SPDX-License-Identifier: MIT
#include "DescriptorIo.h"

#include <unistd.h>

namespace paddock {

ssize_t readSome(int fd, void *buffer, std::size_t size)
{
    return retryOnInterrupt([&] { return ::read(fd, buffer, size); });
}

ssize_t writeSome(int fd, const void *data, std::size_t size)
{
    return retryOnInterrupt([&] { return ::write(fd, data, size); });
}

ReadOutcome readFully(int fd, void *buffer, std::size_t size)
{
    ReadOutcome outcome;
    char *bytes = static_cast<char *>(buffer);
    while (outcome.bytes < size) {
        const ssize_t got = readSome(fd, bytes + outcome.bytes, size - outcome.bytes);
        if (got <= 0) {
            outcome.error = got < 0 ? errno : 0;
            break;
        }
        outcome.bytes += std::size_t(got);
    }
    return outcome;
}

ReadOutcome readFullyAt(int fd, void *buffer, std::size_t size, off_t offset)
{
    ReadOutcome outcome;
    char *bytes = static_cast<char *>(buffer);
    while (outcome.bytes < size) {
        const ssize_t got = retryOnInterrupt([&] {
            return ::pread(fd, bytes + outcome.bytes, size - outcome.bytes,
                           offset + off_t(outcome.bytes));
        });
        if (got <= 0) {
            outcome.error = got < 0 ? errno : 0;
            break;
        }
        outcome.bytes += std::size_t(got);
    }
    return outcome;
}

int readAll(int fd, std::string &text)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = readSome(fd, buffer, sizeof buffer);
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        text.append(buffer, std::size_t(got));
    }
}

bool writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = writeSome(fd, data.data(), data.size());
        if (written < 0)
            return false;
        data.remove_prefix(std::size_t(written));
    }
    return true;
}

} // namespace paddock

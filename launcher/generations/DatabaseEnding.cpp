// SPDX-License-Identifier: MIT
#include "DatabaseEnding.h"

#include "DescriptorIo.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace paddock {

namespace {

constexpr std::string_view Count = " active connections";
constexpr std::string_view Listeners = " with listeners";

// Whether text is a whole decimal number, optionally negative (objects such as #-1).
bool isNumber(std::string_view text)
{
    long long value = 0;
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end && !text.empty();
}

// The number of connections a header line announces and whether each names its listener;
// a negative count when line is no such header.
long long headerCount(std::string_view line, bool &withListeners)
{
    withListeners = line.ends_with(Listeners);
    if (withListeners)
        line.remove_suffix(Listeners.size());
    if (!line.ends_with(Count))
        return -1;
    line.remove_suffix(Count.size());
    long long count = -1;
    const auto [stop, error] = std::from_chars(line.data(), line.data() + line.size(), count);
    return error == std::errc() && stop == line.data() + line.size() && !line.empty() ? count : -1;
}

bool isConnection(std::string_view line, bool withListeners)
{
    if (!withListeners)
        return isNumber(line);
    const size_t space = line.find(' ');
    return space != std::string_view::npos && isNumber(line.substr(0, space)) &&
           isNumber(line.substr(space + 1));
}

} // namespace

bool endsLikeDatabase(std::string_view text, bool fromStart)
{
    if (!text.ends_with('\n'))
        return false;
    text.remove_suffix(1);
    // Walk back line by line over the connections, until the header that counts them.
    std::vector<std::string_view> connections;
    for (;;) {
        const size_t start = text.rfind('\n');
        if (start == std::string_view::npos && !fromStart)
            return false; // the header would be before what was read, or cut in two
        const std::string_view line =
            start == std::string_view::npos ? text : text.substr(start + 1);
        bool withListeners = false;
        if (const long long count = headerCount(line, withListeners); count >= 0)
            return size_t(count) == connections.size() &&
                   std::all_of(connections.begin(), connections.end(), [&](std::string_view each) {
                       return isConnection(each, withListeners);
                   });
        if (start == std::string_view::npos ||
            !(isConnection(line, true) || isConnection(line, false)))
            return false;
        connections.push_back(line);
        text = text.substr(0, start);
    }
}

bool fileEndsLikeDatabase(int fd)
{
    constexpr off_t Tail = 256 * 1024;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const off_t from = st.st_size > Tail ? st.st_size - Tail : 0;
    std::vector<char> buffer(size_t(st.st_size - from));
    size_t done = 0;
    while (done < buffer.size()) {
        const ssize_t got = retryOnInterrupt([&] {
            return ::pread(fd, buffer.data() + done, buffer.size() - done, from + off_t(done));
        });
        if (got <= 0)
            return false;
        done += size_t(got);
    }
    return endsLikeDatabase(std::string_view(buffer.data(), buffer.size()), from == 0);
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace paddock {

/// Whether text, the end of a file, ends as a MOO server ends a database it wrote whole: the
/// last section is "N active connections with listeners" (or, from older servers, "N active
/// connections") followed by exactly N lines of one connection each ("PLAYER LISTENER", or
/// "PLAYER"), the last ending in a line end. fromStart: text is the whole file, so its first
/// line is whole too.
bool endsLikeDatabase(std::string_view text, bool fromStart);

/// The same for the regular file open as fd, read at its end (the last 256 KiB at most, which
/// holds thousands of connections); false when it cannot be read.
bool fileEndsLikeDatabase(int fd);

} // namespace paddock

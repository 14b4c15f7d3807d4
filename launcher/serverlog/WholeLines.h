// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace paddock {

/// A line as LineAssembler gives it, from its bytes up to its "\n": without a trailing "\r",
/// or cut at limit bytes when longer.
inline std::string_view lineAsGiven(std::string_view raw, std::size_t limit)
{
    return raw.size() > limit ? raw.substr(0, limit) : withoutCarriageReturn(raw);
}

/// How many bytes a step of cutWholeLines looks at: as many as the processor allows, or fewer
/// (each way gives the same lines; tests compare them).
enum class LineBlocks { Widest, Sixteen, One };

/// Cuts a stretch of whole lines (each ended by "\n") in one pass over its bytes, and tells at
/// once which lines may be recognised: those whose message may open as a recognised one does
/// (see isRecognisedOpening), and those that hold an escape byte or two "r" in a row (any
/// case), the only lines in which colours or "error" can hide. Under a flood the other lines
/// need no further look. Appends the lines that may be recognised, as lineAsGiven gives them,
/// to marked; returns how many lines there are.
std::size_t cutWholeLines(std::string_view whole, std::size_t limit,
                          std::vector<std::string_view> &marked,
                          LineBlocks blocks = LineBlocks::Widest);

/// Calls visit with each line of whole, as lineAsGiven gives it: a second look at lines
/// cutWholeLines cut, for the rare follower that reads every one.
template <typename Visit>
void forEachWholeLine(std::string_view whole, std::size_t limit, Visit &&visit)
{
    for (std::size_t end = whole.find('\n'); end != std::string_view::npos;
         end = whole.find('\n')) {
        visit(lineAsGiven(whole.substr(0, end), limit));
        whole.remove_prefix(end + 1);
    }
}

} // namespace paddock

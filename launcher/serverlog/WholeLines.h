// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace paddock {

/// How many bytes a step of cutWholeLines looks at: as many as the processor allows, or fewer
/// (each way gives the same lines; tests compare them).
enum class LineBlocks { Widest, Sixteen, One };

/// Cuts a stretch of whole lines (each ended by "\n") in one pass over its bytes, and tells at
/// once which lines hold an escape byte or two "r" in a row (any case), the only lines in
/// which colours or "error" can hide: under a flood, the other lines need no further scan.
/// Each line is given as LineAssembler gives it: without its "\n" or a trailing "\r", cut at
/// limit bytes. Appends the lines to texts, and the indices in texts of the lines that hold
/// such bytes to marked.
void cutWholeLines(std::string_view whole, std::size_t limit, std::vector<std::string_view> &texts,
                   std::vector<std::size_t> &marked, LineBlocks blocks = LineBlocks::Widest);

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "DroppedLogStorage.h"

#include <algorithm>
#include <string>

namespace paddock {

LogPiece DroppedLogStorage::pieceAt(qsizetype position, qsizetype end) const
{
    static const std::string dropped(size_t(LongestPiece), Dropped);
    const qsizetype count = std::clamp<qsizetype>(end - position, 1, LongestPiece);
    return LogPiece(std::string_view(dropped).substr(0, size_t(count)), nullptr);
}

} // namespace paddock

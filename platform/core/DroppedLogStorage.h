// SPDX-License-Identifier: MIT
#pragma once

#include "LogStorage.h"

namespace paddock {

/// The bytes no longer reachable (dropped from memory with no log file holding them, or in a
/// file that rotation removed): every one reads as Dropped.
class DroppedLogStorage final : public LogStorage {
public:
    /// The character that stands for every dropped byte.
    static constexpr char Dropped = '\0';
    /// The longest run of Dropped a piece holds.
    static constexpr qsizetype LongestPiece = qsizetype(2) << 20;

    bool keeps(qsizetype) const override { return true; }
    /// Dropped characters up to end, at most LongestPiece of them.
    LogPiece pieceAt(qsizetype position, qsizetype end) const override;
};

} // namespace paddock

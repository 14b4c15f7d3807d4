// SPDX-License-Identifier: MIT
#pragma once

#include "LogPiece.h"

#include <QtGlobal>

namespace paddock {

/// One way of keeping a log text's bytes, addressed by their position in the log: in memory,
/// read back from the log file, or dropped. A text asks each in turn for the bytes it reads.
class LogStorage {
public:
    virtual ~LogStorage() = default;

    /// Whether the byte at position is kept here.
    virtual bool keeps(qsizetype position) const = 0;
    /// The longest run of bytes from position (kept here) before end that is stored
    /// contiguously here: at least one byte when position < end.
    virtual LogPiece pieceAt(qsizetype position, qsizetype end) const = 0;

protected:
    LogStorage() = default;
    LogStorage(const LogStorage &) = default;
    LogStorage &operator=(const LogStorage &) = default;
};

} // namespace paddock

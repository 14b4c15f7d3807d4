// SPDX-License-Identifier: MIT
#pragma once

#include "SharedLogFile.h"

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <map>

namespace paddock {

/// Puts the chunks that a world's reading threads wrote to its log file into the file's order
/// before the window's log takes them. Each thread hands its own chunks over in order, but two
/// runs' threads (a server that ended and its successor, still draining) may hand theirs over in
/// another order than they wrote them; the window's log must read as the file does.
class LogFileOrder final {
public:
    using Deliver = std::function<void(const QByteArray &bytes, const SharedLogFile::Appended &)>;

    /// Takes a chunk the log file has as appended says; calls deliver with every chunk that is
    /// now due, in the file's order. A chunk in no file is due at once.
    void take(const QByteArray &bytes, const SharedLogFile::Appended &appended,
              const Deliver &deliver);

    /// The most chunks held back for one that has not come: a taker that went with its chunk
    /// (its run was let go of) must not hold the log back for good.
    static constexpr std::size_t MaxWaiting = 32;

private:
    struct Waiting {
        QByteArray bytes;
        SharedLogFile::Appended appended;
    };
    // Delivers the waiting chunks that are due; all of them when flush.
    void deliverDue(const Deliver &deliver, bool flush);

    std::uint64_t m_writer = 0; // the newest writer seen
    std::uint64_t m_next = 0;   // the offset in its log of the next chunk due
    std::map<std::uint64_t, Waiting> m_waiting;
};

} // namespace paddock

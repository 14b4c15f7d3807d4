// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <memory>

namespace paddock {

/// Which controller reads each read end it armed. Every controller hears every read completion
/// (the reader subscribes to all senders), so each world's controller asks here before taking
/// a chunk into its log: another world's output must never land in this world's log or log
/// file. GUI thread only.
class ReadEndClaims final {
public:
    enum class Reader { Nobody, This, Another };

    /// Marks handle as read by reader from now on, for as long as handle lives.
    static void claim(const std::shared_ptr<QObject> &handle, const void *reader);
    /// Who reads handle, as seen by asking; Nobody for a handle no controller claimed (a test's
    /// own pipe, a completion without a sender).
    static Reader readerOf(const QObject *handle, const void *asking);
    /// reader is going away: its read ends stay claimed, so no other controller takes them up.
    static void release(const void *reader);
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QJsonObject>
#include <QString>

#include <chrono>

namespace paddock {

/// What became of a request to the running Paddock.
struct RemoteReply {
    enum class Outcome {
        Answered, // answer holds the answer
        Refused,  // sentence says why; code, when there is one, what a client may act on
        NoAnswer, // sentence says why: no Paddock runs, or it did not answer in time
    };
    Outcome outcome = Outcome::NoAnswer;
    QJsonObject answer;
    QString sentence;
    QString code;
};

/// Asks the user's running Paddock over its socket, without starting one or bringing its window
/// forward, to do verb, for the world named world unless that is empty. Waits for the answer
/// until timeout has passed; a Paddock that has not answered by then counts as none. Needs an
/// application object.
RemoteReply askRunningPaddock(const QString &verb, const QString &world,
                              std::chrono::milliseconds timeout);

} // namespace paddock

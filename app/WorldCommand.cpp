// SPDX-License-Identifier: MIT
#include "WorldCommand.h"

#include "RemoteRequest.h"

#include <QJsonObject>

#include <cstdio>
#include <cstring>

namespace paddock {

namespace {

using namespace std::chrono_literals;

// A start and a checkpoint are answered at once; a stop once the server has ended, or after
// its grace period (ten seconds), with time to spare for a window that is busy.
constexpr std::chrono::milliseconds AnswerTimeout = 15s;
constexpr std::chrono::milliseconds StopAnswerTimeout = 60s;

void printLine(std::FILE *stream, const QString &text)
{
    std::fputs((text + u'\n').toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

} // namespace

bool isWorldCommand(const char *verb)
{
    return std::strcmp(verb, "start") == 0 || std::strcmp(verb, "stop") == 0 ||
           std::strcmp(verb, "checkpoint") == 0;
}

int answerWorldCommand(const QString &verb, const QString &world)
{
    const RemoteReply reply = askRunningPaddock(
        verb, world, verb == QStringLiteral("stop") ? StopAnswerTimeout : AnswerTimeout);
    switch (reply.outcome) {
    case RemoteReply::Outcome::NoAnswer:
        printLine(stderr, reply.sentence);
        return WorldCommandNoPaddock;
    case RemoteReply::Outcome::Refused:
        printLine(stderr, reply.sentence);
        return reply.code == QStringLiteral("unknownWorld") ? WorldCommandUsageError
                                                            : WorldCommandRefused;
    case RemoteReply::Outcome::Answered:
        break;
    }
    const bool done = reply.answer.value(QStringLiteral("done")).toBool();
    printLine(done ? stdout : stderr, reply.answer.value(QStringLiteral("message")).toString());
    return done ? WorldCommandDone : WorldCommandRefused;
}

} // namespace paddock

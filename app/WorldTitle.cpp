// SPDX-License-Identifier: MIT
#include "WorldTitle.h"

#include "ServerLife.h"
#include "String.h"

#include <QCoreApplication>

namespace paddock {

QString worldName(std::string_view databasePath)
{
    const size_t slash = databasePath.rfind('/');
    return displayPath(slash == std::string_view::npos ? databasePath
                                                       : databasePath.substr(slash + 1));
}

QString worldStateWord(const ServerLife &life)
{
    const char *word = QT_TRANSLATE_NOOP("WorldTitle", "Stopped");
    switch (life.state()) {
    case ServerLife::State::Running:
        word = QT_TRANSLATE_NOOP("WorldTitle", "Running");
        break;
    case ServerLife::State::Stopping:
    case ServerLife::State::StopTakingLong:
        word = QT_TRANSLATE_NOOP("WorldTitle", "Stopping");
        break;
    case ServerLife::State::LaunchFailed:
        word = QT_TRANSLATE_NOOP("WorldTitle", "Launch failed");
        break;
    case ServerLife::State::WaitingToRestart:
        word = QT_TRANSLATE_NOOP("WorldTitle", "Waiting to restart");
        break;
    case ServerLife::State::Ended:
        if (life.end() == ServerEnd::Crashed)
            word = QT_TRANSLATE_NOOP("WorldTitle", "Crashed");
        else if (life.end() == ServerEnd::FailedToStart)
            word = QT_TRANSLATE_NOOP("WorldTitle", "Failed to start");
        break;
    case ServerLife::State::Idle:
        break;
    }
    return QCoreApplication::translate("WorldTitle", word);
}

} // namespace paddock

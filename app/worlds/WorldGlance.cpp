// SPDX-License-Identifier: MIT
#include "WorldGlance.h"

#include "MooController.h"
#include "ResponsivenessWatch.h"
#include "Run.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "ServerStatus.h"
#include "StateWords.h"
#include "WorldServer.h"

namespace paddock {

WorldGlance worldGlance(const WorldServer &world)
{
    const ServerLife &life = world.life();
    const Run *run = world.controller().run();
    RunningAs running = RunningAs::Normally;
    if (run && run->isRunning() && run->inEmergencyMode())
        running = RunningAs::InEmergencyMode;
    else if (world.watch().state() == Responsiveness::NotResponding)
        running = RunningAs::NotResponding;
    const StatePhrase phrase = statePhrase(life.state(), life.end(), running);
    const QString words = glanceWords(phrase);
    switch (phrase) {
    case StatePhrase::NotResponding:
        return {words.arg(world.watch().notRespondingSince().toString(QStringLiteral("HH:mm"))),
                {},
                WarningLevel::Risk};
    case StatePhrase::Running:
    case StatePhrase::InEmergencyMode: {
        // As in the status bar: before the world listens no one can be on.
        const RunPlayers &players = world.players();
        if (players.following() && (!life.ports().isEmpty() || players.count() > 0))
            return {
                words + QStringLiteral("; ") + ServerStatus::playersText(players.count()), {}, {}};
        return {words, {}, {}};
    }
    case StatePhrase::LaunchFailed:
    case StatePhrase::RestartFailed:
        return {words, life.launchFailure(), WarningLevel::Error};
    case StatePhrase::WaitingToRestart:
    case StatePhrase::FailedToStart:
    case StatePhrase::Crashed:
        return {words, ServerStatus::endKindText(life, false), WarningLevel::Error};
    case StatePhrase::EndedUnknown:
        return {words, ServerStatus::endKindText(life, false), {}};
    case StatePhrase::Stopped:
    case StatePhrase::Stopping:
    case StatePhrase::StopTakingLong:
    case StatePhrase::ShutDownFromInside:
        break;
    }
    return {words, {}, {}};
}

} // namespace paddock

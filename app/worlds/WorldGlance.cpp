// SPDX-License-Identifier: MIT
#include "WorldGlance.h"

#include "ResponsivenessWatch.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "ServerStatus.h"
#include "WorldServer.h"

#include <QCoreApplication>

namespace paddock {

namespace {

// The status bar's own words, under its catalogue context, so both say the same.
QString statusWords(const char *text)
{
    return QCoreApplication::translate("paddock::ServerStatus", text);
}

WorldGlance running(const WorldServer &world)
{
    const ResponsivenessWatch &watch = world.watch();
    if (watch.state() == Responsiveness::NotResponding)
        return {QCoreApplication::translate("paddock::WorldGlance", "Not responding since %1")
                    .arg(watch.notRespondingSince().toString(QStringLiteral("HH:mm"))),
                {},
                WarningLevel::Risk};
    QString text = QCoreApplication::translate("paddock::WorldGlance", "Running");
    // As in the status bar: before the world listens no one can be on.
    const RunPlayers &players = world.players();
    if (players.following() && (!world.life().ports().isEmpty() || players.count() > 0))
        text += QStringLiteral("; ") + ServerStatus::playersText(players.count());
    return {text, {}, {}};
}

} // namespace

WorldGlance worldGlance(const WorldServer &world)
{
    using State = ServerLife::State;
    const ServerLife &life = world.life();
    switch (life.state()) {
    case State::Idle:
        return {statusWords("Stopped"), {}, {}};
    case State::Running:
        return running(world);
    case State::Stopping:
    case State::StopTakingLong:
        return {statusWords("Stopping..."), {}, {}};
    case State::LaunchFailed:
        return {QCoreApplication::translate("paddock::WorldGlance", "Launch failed"),
                life.launchFailure(), WarningLevel::Error};
    case State::WaitingToRestart:
        return {QCoreApplication::translate("paddock::WorldGlance", "Crashed; starting again"),
                ServerStatus::endKindText(life, false), WarningLevel::Error};
    case State::Ended:
        break;
    }
    const QString details = ServerStatus::endKindText(life, false);
    switch (life.end()) {
    case ServerEnd::Crashed:
        return {QCoreApplication::translate("paddock::WorldGlance", "Crashed"), details,
                WarningLevel::Error};
    case ServerEnd::FailedToStart:
        return {QCoreApplication::translate("paddock::WorldGlance", "Failed to start"), details,
                WarningLevel::Error};
    case ServerEnd::ShutDownFromInside:
        return {statusWords("Shut down from inside the world"), {}, {}};
    case ServerEnd::Unknown:
        return {QCoreApplication::translate("paddock::WorldGlance", "Ended"), details, {}};
    case ServerEnd::Stopped:
    case ServerEnd::None:
        break;
    }
    return {statusWords("Stopped"), {}, {}};
}

} // namespace paddock

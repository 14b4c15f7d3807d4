// SPDX-License-Identifier: MIT
#pragma once

#include "ResponsivenessJudge.h"

#include <QJsonObject>

namespace paddock {

class MooController;
class RunPlayers;
class ServerLife;

/// The world's state as `paddock status` reports it, one JSON object: state ("running",
/// "stopping", "stopped", "ended", "crashed", "waitingToRestart", "launchFailed"), pid,
/// started (ISO 8601), ports, players, responding, lastCheckpoint (ISO 8601), database,
/// outputName and logFile; a value that is not known is null (responding too, while nothing
/// has told yet whether the world answers).
QJsonObject statusReport(const MooController &controller, const ServerLife &life,
                         const RunPlayers &players, Responsiveness responding);

/// Whether a report's state is that of a server process that runs.
bool reportsServerRunning(const QJsonObject &report);

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "StatusReport.h"

#include "MooController.h"
#include "ProcessInfo.h"
#include "ProcessStartTime.h"
#include "Run.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "String.h"

#include <QDateTime>
#include <QJsonArray>

namespace paddock {

namespace {

QString stateName(const ServerLife &life)
{
    using State = ServerLife::State;
    switch (life.state()) {
    case State::Idle:
        return QStringLiteral("stopped");
    case State::Running:
        return QStringLiteral("running");
    case State::Stopping:
    case State::StopTakingLong:
        return QStringLiteral("stopping");
    case State::Ended:
        return life.end() == ServerEnd::Crashed ? QStringLiteral("crashed")
                                                : QStringLiteral("ended");
    case State::LaunchFailed:
        return QStringLiteral("launchFailed");
    case State::WaitingToRestart:
        return QStringLiteral("waitingToRestart");
    }
    return QStringLiteral("stopped");
}

QJsonValue pathValue(const std::string &path)
{
    return path.empty() ? QJsonValue() : QJsonValue(displayPath(path));
}

QJsonValue timeValue(const QDateTime &time)
{
    return time.isValid()
               ? QJsonValue(time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate))
               : QJsonValue();
}

} // namespace

QJsonObject statusReport(const MooController &controller, const ServerLife &life,
                         const RunPlayers &players, Responsiveness responding)
{
    QJsonObject report;
    const Run *run = controller.run();
    const bool runs = run && run->isRunning();
    QString state = stateName(life);
    // The process is the truth: its end may not have reached the life yet.
    if (!runs && (state == QStringLiteral("running") || state == QStringLiteral("stopping")))
        state = QStringLiteral("ended");
    report[QStringLiteral("state")] = state;
    // A crash Paddock did not start again (too many, or a check refused it) waits for someone.
    report[QStringLiteral("restartGivenUp")] =
        state == QStringLiteral("crashed") && life.restartGivenUp();
    QJsonValue pid, started, playerCount;
    if (runs) {
        pid = run->processIdentifier();
        // From the process itself: right for a server an earlier Paddock started too.
        const std::optional<std::uint64_t> ticks = processStartTime(run->processIdentifier());
        started = timeValue(ticks ? processStartDateTime(*ticks) : QDateTime());
        playerCount = players.count();
    }
    report[QStringLiteral("pid")] = pid;
    report[QStringLiteral("started")] = started;
    QJsonArray ports;
    if (runs)
        for (const int port : life.ports())
            ports.append(port);
    report[QStringLiteral("ports")] = ports;
    report[QStringLiteral("players")] = playerCount;
    report[QStringLiteral("responding")] =
        runs && responding != Responsiveness::Unknown
            ? QJsonValue(responding == Responsiveness::Responding)
            : QJsonValue();
    QJsonValue lastCheckpoint;
    if (const auto last = life.lastCheckpoint()) {
        const auto ago =
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - *last);
        lastCheckpoint = timeValue(QDateTime::currentDateTime().addMSecs(-ago.count()));
    }
    report[QStringLiteral("lastCheckpoint")] = lastCheckpoint;
    // The running server's own, else what a Start would use.
    const String db = controller.dbPath(), output = controller.newDbPath();
    report[QStringLiteral("database")] = pathValue(runs ? run->input() : db ? *db : std::string());
    report[QStringLiteral("outputName")] = pathValue(runs     ? run->outputName()
                                                     : output ? *output
                                                              : std::string());
    report[QStringLiteral("logFile")] = pathValue(runs ? run->logFile() : controller.logFilePath());
    return report;
}

bool reportsServerRunning(const QJsonObject &report)
{
    const QString state = report.value(QStringLiteral("state")).toString();
    return state == QStringLiteral("running") || state == QStringLiteral("stopping");
}

} // namespace paddock

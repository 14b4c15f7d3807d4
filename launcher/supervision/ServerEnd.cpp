// SPDX-License-Identifier: MIT
// The server life's pure decisions (how a run ended, when to restart and from which
// database) and the sentences for Checkpoint Now.
#include "ServerLife.h"

#include <QCoreApplication>

#include <algorithm>
#include <sys/stat.h>

namespace paddock {

using std::chrono::milliseconds;

ServerEnd classifyServerEnd(Task::TerminationReason reason, int status, bool stopRequested,
                            SteadyClock::duration ranFor, SteadyClock::duration startupPeriod)
{
    // Whatever the status, an end the user asked for is never restarted.
    if (stopRequested)
        return ServerEnd::Stopped;
    switch (reason) {
    case Task::TerminationReason::UncaughtSignal:
        return ServerEnd::Crashed;
    case Task::TerminationReason::Exit:
        if (status == 0)
            return ServerEnd::ShutDownFromInside;
        return ranFor < startupPeriod ? ServerEnd::FailedToStart : ServerEnd::Crashed;
    case Task::TerminationReason::None:
    case Task::TerminationReason::Unknown:
        break;
    }
    return ServerEnd::Unknown;
}

RestartPlanner::RestartPlanner(RestartPolicy policy)
    : m_policy(policy)
{}

std::optional<milliseconds> RestartPlanner::crashed(SteadyClock::time_point at,
                                                    SteadyClock::duration ranFor)
{
    const auto windowStart = at - m_policy.crashWindow;
    m_crashes.erase(std::remove_if(m_crashes.begin(), m_crashes.end(),
                                   [&](SteadyClock::time_point t) { return t <= windowStart; }),
                    m_crashes.end());
    m_crashes.push_back(at);
    if (int(m_crashes.size()) >= m_policy.crashLimit)
        return std::nullopt;
    if (ranFor >= m_policy.crashWindow)
        m_inARow = 0;
    milliseconds delay = m_policy.firstDelay;
    for (int i = 0; i < m_inARow && delay < m_policy.longestDelay; ++i)
        delay *= 2;
    ++m_inARow;
    return std::min(delay, m_policy.longestDelay);
}

void RestartPlanner::reset()
{
    m_crashes.clear();
    m_inARow = 0;
}

std::string restartDatabase(const std::string &input, const std::string &outputPath,
                            bool outputCheckpointed)
{
    struct stat info = {};
    if (outputCheckpointed && ::stat(outputPath.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return outputPath;
    return input;
}

QString ServerLife::checkpointRequestText(CheckpointRequest request)
{
    switch (request) {
    case CheckpointRequest::Sent:
        return {};
    case CheckpointRequest::NotRunning:
        return tr("No server is running.");
    case CheckpointRequest::NotCaught:
        return tr("The server does not handle SIGUSR2, so the signal would end it; "
                  "nothing was sent.");
    case CheckpointRequest::SendFailed:
        return tr("The server did not accept the signal SIGUSR2.");
    }
    return {};
}

QString ServerLife::checkpointVerdictText(CheckpointVerdict verdict)
{
    switch (verdict) {
    case CheckpointVerdict::None:
        return {};
    case CheckpointVerdict::Waiting:
        return tr("Checkpoint requested; waiting for the server to report it.");
    case CheckpointVerdict::Finished:
        return tr("The checkpoint finished.");
    case CheckpointVerdict::Failed:
        return tr("The checkpoint failed: the server abandoned it.");
    case CheckpointVerdict::NotReported:
        return tr("The server did not report the checkpoint within a minute.");
    case CheckpointVerdict::ServerEnded:
        return tr("The server ended before it reported the checkpoint.");
    }
    return {};
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "ProcessSampler.h"

#include "ProcessInfo.h"

namespace paddock {

ProcessSampler::ProcessSampler(QObject *parent)
    : QObject(parent)
    , m_timer(this)
{
    m_timer.setInterval(std::chrono::seconds(5));
    connect(&m_timer, &QTimer::timeout, this, &ProcessSampler::sampleNow);
}

void ProcessSampler::start(pid_t pid)
{
    const std::optional<ProcessStat> stat = processStat(pid);
    m_pid = stat ? pid : 0;
    m_startTime = stat ? stat->startTime : 0;
    m_timer.start();
    sampleNow();
}

void ProcessSampler::stop()
{
    m_timer.stop();
    m_pid = 0;
}

void ProcessSampler::sampleNow()
{
    if (!isSampling())
        return;
    const std::optional<ProcessStat> stat = processStat(m_pid);
    // A PID that names a later process says nothing of ours: an adopted server's PID is
    // free again as soon as its own parent has reaped it.
    if (!stat || stat->startTime != m_startTime) {
        stop();
        Q_EMIT sampled(ProcessSample{'X', {}, false, 0});
        return;
    }
    ProcessSample sample;
    sample.state = stat->state;
    const long perSecond = clockTicksPerSecond();
    sample.cpu = std::chrono::milliseconds(
        perSecond > 0 ? std::int64_t(stat->cpuTicks * 1000 / std::uint64_t(perSecond)) : 0);
    sample.residentBytes = stat->residentBytes;
    for (const pid_t child : childProcesses(m_pid))
        sample.checkpointer =
            sample.checkpointer || commandLineStartsWith(child, checkpointerCommandLine);
    Q_EMIT sampled(sample);
}

} // namespace paddock

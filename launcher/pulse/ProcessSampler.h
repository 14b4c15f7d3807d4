// SPDX-License-Identifier: MIT
#pragma once

#include "ResponsivenessJudge.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <sys/types.h>

namespace paddock {

/// Samples one server process from /proc every few seconds while it runs: its state, its
/// processor time, its resident memory and whether a checkpointer child of it is alive. While
/// it follows no process its timer is stopped, so an idle Paddock is never woken for it.
class ProcessSampler final : public QObject {
    Q_OBJECT
public:
    /// The command line a MOO server gives the child that writes a checkpoint.
    static constexpr const char *checkpointerCommandLine = "(MOO checkpointer)";

    explicit ProcessSampler(QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(ProcessSampler)

    /// Time between two samples (5 seconds unless changed).
    void setInterval(std::chrono::milliseconds interval) { m_timer.setInterval(interval); }
    /// Follows process pid from now on, sampling it at once; the process it followed before
    /// is let go.
    void start(pid_t pid);
    /// Lets the process go and stops the timer.
    void stop();
    /// Whether a process is followed, so the timer runs.
    bool isSampling() const { return m_timer.isActive(); }

    /// Samples the followed process now. A process that is gone, or whose PID now names
    /// another process, is sampled as ended ('X') and let go.
    void sampleNow();

Q_SIGNALS:
    /// One sample of the followed process.
    void sampled(const paddock::ProcessSample &sample);

private:
    QTimer m_timer;
    pid_t m_pid = 0;
    std::uint64_t m_startTime = 0; // names the process together with the PID
};

} // namespace paddock

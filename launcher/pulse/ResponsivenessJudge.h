// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

namespace paddock {

/// What the kernel tells of the server process at one moment (/proc/PID/stat and its
/// children's command lines).
struct ProcessSample {
    /// The state letter: 'R' running, 'S' sleeping, 'D' waiting on a device, 'T' stopped,
    /// 't' stopped by a debugger, 'Z' or 'X' ended.
    char state = 'S';
    /// The processor time it has used so far, user and system.
    std::chrono::milliseconds cpu{0};
    /// Whether a child of it whose command line reads "(MOO checkpointer)" is alive.
    bool checkpointer = false;
    /// Its resident memory, in bytes.
    std::uint64_t residentBytes = 0;
};

/// Whether a running server answers.
enum class Responsiveness {
    Unknown, // no port announced yet (still loading), or the process has ended
    Responding,
    NotResponding, // no sign of life for the threshold or longer
};

struct ResponsivenessVerdict {
    Responsiveness state = Responsiveness::Unknown;
    /// When the silence began, on the judge's clock; set only when NotResponding.
    std::optional<std::chrono::steady_clock::time_point> since;
};

/// Tells a frozen server from a busy or quiet one, from signs that cost nothing (the process's
/// state and processor time, its log lines) and from an active probe's answer when there is
/// one. A sign of trouble is a stopped process, a process that is busy at full speed or stuck
/// on a device without logging a word, or a probe the server did not answer; any sign of life
/// (a line, an answer, a sample of it idle) clears the busy one. After the threshold the
/// verdict is NotResponding since the trouble began. Never while the database loads, a
/// checkpoint or a dump runs, or a failed dump waits to be retried: those block a server for
/// minutes by design, and the threshold counts from their end.
class ResponsivenessJudge final {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Now = std::function<TimePoint()>;

    /// now: the clock signs are stamped with (the steady clock when empty).
    explicit ResponsivenessJudge(std::chrono::minutes threshold, Now now = {});

    /// How long trouble must last before the verdict is NotResponding.
    void setThreshold(std::chrono::minutes threshold) { m_threshold = threshold; }

    /// Takes in one recognised line of the server's log, read now.
    void takeLine(ServerLogKind kind);
    /// Takes in a sample of the process, taken now.
    void takeSample(const ProcessSample &sample);
    /// Takes in an active probe's result, known now: whether the server sent its first bytes.
    void takeProbe(bool answered);
    /// Forgets what probes said, as when the user turns them off: no answer will clear it.
    void forgetProbes() { m_unansweredSince.reset(); }

    /// The verdict as of now.
    ResponsivenessVerdict verdict() const;

private:
    TimePoint now() const { return m_now ? m_now() : std::chrono::steady_clock::now(); }
    bool excused() const;
    // Notes the end of an excuse, given whether there was one before the latest sign.
    void noteExcuseEnd(bool wasExcused);

    std::chrono::minutes m_threshold;
    Now m_now;

    bool m_listening = false; // a port was announced
    bool m_ended = false;     // the process was seen ended
    bool m_loading = false, m_checkpointing = false, m_dumping = false, m_retrying = false;
    bool m_checkpointer = false;
    std::optional<TimePoint> m_excuseEnded;

    std::optional<ProcessSample> m_lastSample;
    TimePoint m_lastSampleAt;
    // Trouble since when: each cleared by its own sign of life.
    std::optional<TimePoint> m_stoppedSince, m_busySince, m_unansweredSince;
};

} // namespace paddock

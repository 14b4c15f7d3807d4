// SPDX-License-Identifier: MIT
#include "ResponsivenessJudge.h"

#include <algorithm>

namespace paddock {

namespace {

// A single-threaded server using this share of a processor or more, without a word, is in a
// loop it does not leave: its tasks are bounded to seconds.
constexpr double busyShare = 0.9;

} // namespace

ResponsivenessJudge::ResponsivenessJudge(std::chrono::minutes threshold, Now now)
    : m_threshold(threshold)
    , m_now(std::move(now))
{}

bool ResponsivenessJudge::excused() const
{
    return m_loading || m_checkpointing || m_dumping || m_retrying || m_checkpointer;
}

void ResponsivenessJudge::noteExcuseEnd(bool wasExcused)
{
    if (wasExcused && !excused())
        m_excuseEnded = now();
}

void ResponsivenessJudge::takeLine(ServerLogKind kind)
{
    using K = ServerLogKind;
    const bool wasExcused = excused();
    // Its main loop turned: whatever it was busy with, it came back.
    m_busySince.reset();
    switch (kind) {
    case K::Loading:
        m_loading = true;
        break;
    case K::Listening:
        m_listening = true;
        m_loading = false;
        break;
    case K::CheckpointStarted:
        m_checkpointing = true;
        break;
    case K::CheckpointFinished:
    case K::CheckpointAbandoned:
        m_checkpointing = false;
        break;
    case K::DumpStarted:
    case K::Panic: // a panic dump follows
        m_dumping = true;
        break;
    case K::DumpRetrying:
        m_retrying = true;
        break;
    case K::DumpFinished:
        m_dumping = m_retrying = false;
        break;
    default:
        break;
    }
    noteExcuseEnd(wasExcused);
}

void ResponsivenessJudge::takeSample(const ProcessSample &sample)
{
    const bool wasExcused = excused();
    const TimePoint at = now();
    m_checkpointer = sample.checkpointer;
    m_ended = sample.state == 'Z' || sample.state == 'X';
    const bool stopped = sample.state == 'T' || sample.state == 't';
    if (!stopped)
        m_stoppedSince.reset();
    else if (!m_stoppedSince)
        m_stoppedSince = at;

    bool busy = sample.state == 'D';
    if (sample.state == 'R' && m_lastSample && at > m_lastSampleAt) {
        const std::chrono::duration<double> used = sample.cpu - m_lastSample->cpu;
        busy =
            used.count() >= busyShare * std::chrono::duration<double>(at - m_lastSampleAt).count();
    }
    if (!busy)
        m_busySince.reset();
    else if (!m_busySince)
        m_busySince = m_lastSample ? m_lastSampleAt : at; // busy all the time between
    m_lastSample = sample;
    m_lastSampleAt = at;
    noteExcuseEnd(wasExcused);
}

void ResponsivenessJudge::takeProbe(bool answered)
{
    if (answered) {
        m_stoppedSince.reset();
        m_busySince.reset();
        m_unansweredSince.reset();
    } else if (!m_unansweredSince) {
        m_unansweredSince = now();
    }
}

ResponsivenessVerdict ResponsivenessJudge::verdict() const
{
    if (!m_listening || m_ended)
        return {};
    if (excused())
        return {Responsiveness::Responding, std::nullopt};
    std::optional<TimePoint> since;
    for (const auto &trouble : {m_stoppedSince, m_busySince, m_unansweredSince})
        if (trouble && (!since || *trouble < *since))
            since = trouble;
    if (since && m_excuseEnded)
        since = std::max(*since, *m_excuseEnded);
    if (!since || now() - *since < m_threshold)
        return {Responsiveness::Responding, std::nullopt};
    return {Responsiveness::NotResponding, since};
}

} // namespace paddock

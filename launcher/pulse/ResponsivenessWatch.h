// SPDX-License-Identifier: MIT
#pragma once

#include "ChunkLines.h"
#include "ConnectionProbe.h"
#include "ProbeConnections.h"
#include "ProcessSampler.h"
#include "ResponsivenessJudge.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace paddock {

class MooController;
class Run;
struct RecognisedLine;
class UserDefaults;

/// The user's choices for telling whether a world answers, as stored.
struct ResponsivenessSettings {
    bool checkAnswers = false; // connect to the world now and then
    std::chrono::minutes checkEvery{5};
    std::chrono::minutes threshold{5};
};
/// The choices in store, each absent or out-of-range value as its default.
ResponsivenessSettings responsivenessSettings(const UserDefaults &store);

/// Whether the running world answers, judged over each run the controller announces: its
/// process sampled from /proc every few seconds, its log lines, and, when the user wants it,
/// a connection to the first port it announced now and then. Paddock takes no action on the
/// verdict; it only tells it. Nothing runs while no server does.
class ResponsivenessWatch final : public QObject {
    Q_OBJECT
public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;

    /// A connection is tried only after the log has been quiet this long, and never more
    /// often: a server that is logging shows it lives, and a check costs it a connection.
    static constexpr std::chrono::minutes QuietPeriod{1};

    /// Follows controller, which must outlive this; picks up a run that runs already.
    explicit ResponsivenessWatch(MooController &controller, QObject *parent = nullptr);
    ~ResponsivenessWatch() override;
    Q_DISABLE_COPY_MOVE(ResponsivenessWatch)

    /// The clock signs are timed on (the steady clock when empty); for tests.
    void setClock(Now now);
    ProcessSampler &sampler() { return m_sampler; }
    ConnectionProbe &probe() { return m_probe; }

    /// The verdict as last judged (on each sample and each probe's result).
    Responsiveness state() const { return m_state; }
    /// Since when the world has not responded, by the wall clock; invalid unless NotResponding.
    QDateTime notRespondingSince() const { return m_since; }
    /// The port a check connects to: the first the run announced; 0 before any.
    int checkedPort() const { return m_port; }
    /// Whether a line of the log is about one of Paddock's own checks.
    bool isProbeLine(std::string_view line) const { return m_probeLines.isProbeLine(line); }

Q_SIGNALS:
    /// The verdict changed between Unknown, Responding and NotResponding.
    void stateChanged(paddock::Responsiveness state);
    /// A sample of the running server was taken (for graphs).
    void sampled(const paddock::ProcessSample &sample);

public:
    /// The watch's clock (the steady clock unless setClock gave another): samples are timed by
    /// it, so whatever graphs them divides by the same time the watch judges by.
    std::chrono::steady_clock::time_point now() const;

private:
    ResponsivenessSettings settings() const;
    void beginRun(Run &run);
    void onRecognisedLines(std::span<const RecognisedLine> lines);
    void onLines(const ChunkLines &lines);
    void onSample(const ProcessSample &sample);
    void onRunEnded();
    void checkIfDue();
    void judge();

    MooController &m_controller;
    Now m_now;
    ProcessSampler m_sampler;
    ConnectionProbe m_probe;
    ProbeConnections m_probeLines;
    std::unique_ptr<ResponsivenessJudge> m_judge; // one for each run
    QPointer<Run> m_run;
    bool m_judgedLines = false; // the lines being told held one the judge was told of
    int m_port = 0;
    std::chrono::steady_clock::time_point m_lastLineAt;
    std::optional<std::chrono::steady_clock::time_point> m_lastCheckAt;
    Responsiveness m_state = Responsiveness::Unknown;
    QDateTime m_since;
};

} // namespace paddock

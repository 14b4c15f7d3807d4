// SPDX-License-Identifier: MIT
#include "ResponsivenessWatch.h"

#include "MooController.h"
#include "ResponsivenessLines.h"
#include "Run.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

namespace paddock {

using std::chrono::minutes;

ResponsivenessSettings responsivenessSettings(const UserDefaults &store)
{
    const auto storedMinutes = [&store](const QString &key, int fallback) {
        const std::optional<long long> value = store.integerForKey(key);
        return minutes(value && *value >= 1 && *value <= 24 * 60 ? *value : fallback);
    };
    return {store.boolForKey(MOOCheckAnswers),
            storedMinutes(MOOCheckAnswersMinutes, DefaultCheckAnswersMinutes),
            storedMinutes(MOONotRespondingMinutes, DefaultNotRespondingMinutes)};
}

ResponsivenessWatch::ResponsivenessWatch(MooController &controller, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_sampler(this)
    , m_probe(this)
{
    connect(&m_sampler, &ProcessSampler::sampled, this, &ResponsivenessWatch::onSample);
    connect(&m_probe, &ConnectionProbe::connected, this, [this](int serverPort, int localPort) {
        m_probeLines.add(serverPort, localPort, QDateTime::currentDateTime());
    });
    connect(&m_probe, &ConnectionProbe::finished, this, [this](bool answered) {
        if (m_judge)
            m_judge->takeProbe(answered);
        judge();
    });
    connect(&controller, &MooController::runStarted, this, &ResponsivenessWatch::beginRun);
    if (Run *run = controller.run(); run && run->isRunning())
        beginRun(*run);
}

ResponsivenessWatch::~ResponsivenessWatch() = default;

void ResponsivenessWatch::setClock(Now now)
{
    m_now = std::move(now);
    if (m_judge)
        m_judge = std::make_unique<ResponsivenessJudge>(settings().threshold, m_now);
}

std::chrono::steady_clock::time_point ResponsivenessWatch::now() const
{
    return m_now ? m_now() : std::chrono::steady_clock::now();
}

ResponsivenessSettings ResponsivenessWatch::settings() const
{
    const UserDefaultsController *prefs = m_controller.prefsController();
    return prefs ? responsivenessSettings(prefs->defaults()) : ResponsivenessSettings{};
}

void ResponsivenessWatch::beginRun(Run &run)
{
    // Only the newest run is followed.
    if (m_run)
        disconnect(m_run, nullptr, this, nullptr);
    m_run = &run;
    connect(&run, &Run::recognisedLines, this, &ResponsivenessWatch::onRecognisedLines);
    connect(&run, &Run::lines, this, &ResponsivenessWatch::onLines);
    connect(&run, &Run::ended, this, &ResponsivenessWatch::onRunEnded);
    m_judge = std::make_unique<ResponsivenessJudge>(settings().threshold, m_now);
    m_probe.abort();
    m_port = 0;
    m_judgedLines = false;
    // A server taken back announced its ports before: it listens, and its first is checked.
    if (!run.portsAnnouncedBefore().isEmpty()) {
        m_port = run.portsAnnouncedBefore().constFirst();
        m_judge->takeLine(ServerLogKind::Listening);
    }
    m_lastLineAt = now();
    m_lastCheckAt.reset();
    m_sampler.start(run.processIdentifier());
}

void ResponsivenessWatch::onRecognisedLines(std::span<const RecognisedLine> lines)
{
    if (!m_judge)
        return;
    for (const RecognisedLine &line : lines) {
        const ServerLogKind kind = line.line.kind;
        if (!tellsResponsiveness(kind))
            continue;
        if (kind == ServerLogKind::Listening && m_port == 0)
            m_port = line.line.port;
        m_judge->takeLine(kind);
        m_judgedLines = true;
    }
}

void ResponsivenessWatch::onLines(const ChunkLines &)
{
    // The run told the recognised ones among these lines just before.
    const bool judged = std::exchange(m_judgedLines, false);
    if (!m_judge)
        return;
    // Any line is a sign of life; one says as much as a flood of them.
    if (!judged)
        m_judge->takeLine(ServerLogKind::Other);
    m_lastLineAt = now();
}

void ResponsivenessWatch::onSample(const ProcessSample &sample)
{
    if (!m_judge)
        return;
    m_judge->setThreshold(settings().threshold);
    m_judge->takeSample(sample);
    Q_EMIT sampled(sample);
    checkIfDue();
    judge();
}

void ResponsivenessWatch::checkIfDue()
{
    const ResponsivenessSettings wanted = settings();
    const auto at = now();
    if (!wanted.checkAnswers) {
        m_probe.abort();
        m_judge->forgetProbes();
    }
    if (!wanted.checkAnswers || m_port == 0 || m_probe.isRunning() ||
        at - m_lastLineAt < QuietPeriod ||
        (m_lastCheckAt && at - *m_lastCheckAt < std::max<minutes>(wanted.checkEvery, QuietPeriod)))
        return;
    m_lastCheckAt = at;
    m_probe.start(m_port);
}

void ResponsivenessWatch::judge()
{
    const ResponsivenessVerdict verdict = m_judge ? m_judge->verdict() : ResponsivenessVerdict{};
    if (verdict.state == m_state)
        return;
    m_state = verdict.state;
    m_since = QDateTime();
    if (verdict.since)
        m_since = QDateTime::currentDateTime().addMSecs(
            -std::chrono::duration_cast<std::chrono::milliseconds>(now() - *verdict.since).count());
    Q_EMIT stateChanged(m_state);
}

void ResponsivenessWatch::onRunEnded()
{
    m_sampler.stop();
    m_probe.abort();
    m_judge.reset();
    judge();
}

} // namespace paddock

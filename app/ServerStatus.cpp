// SPDX-License-Identifier: MIT
#include "ServerStatus.h"

#include "MooController.h"
#include "Run.h"
#include "RunPlayers.h"
#include "ServerLife.h"
#include "StateWords.h"

#include <QFileInfo>

#include <cstring>

namespace paddock {

namespace {

QString signalName(int signal)
{
#if defined(__GLIBC__)
    // Both thread-safe, and null for a number that names no signal.
    const char *abbreviation = ::sigabbrev_np(signal);
    const char *description = ::sigdescr_np(signal);
#else
    const char *abbreviation = nullptr;
    const char *description = ::strsignal(signal);
#endif
    QString name = abbreviation ? QStringLiteral("SIG") + QString::fromLatin1(abbreviation)
                                : QString::number(signal);
    if (description)
        name += QStringLiteral(" (") + QString::fromLocal8Bit(description) + QLatin1Char(')');
    return name;
}

} // namespace

ServerStatus::ServerStatus(MooController &controller, ServerLife &life, QObject *parent)
    : QObject(parent)
    , m_controller(controller)
    , m_life(life)
    , m_text(statusWords(StatePhrase::Stopped))
    , m_spoken(m_text)
{
    connect(&life, &ServerLife::changed, this, &ServerStatus::render);
    m_minuteTicker.setInterval(60 * 1000);
    connect(&m_minuteTicker, &QTimer::timeout, this, &ServerStatus::render);
    connect(&controller, &MooController::runStarted, this, &ServerStatus::showRunning);
    connect(&controller, &MooController::reattached, this, &ServerStatus::onReattached);
    connect(
        &controller, &MooController::recordedServerEnded, this,
        [this](int pid, const QString &logFile) { setText(endedWhileClosedText(pid, logFile)); });
    const auto warn = [this](const QString &warning) {
        if (m_shown == Shown::Fixed) {
            setText(m_text + warning);
        } else {
            m_warnings += warning;
            render();
        }
    };
    connect(&controller, &MooController::keeperFailed, this, [warn](const QString &reason) {
        warn(tr(". Warning: the server will not outlive Paddock's output: ") + reason);
    });
    connect(&controller, &MooController::serverNotRecorded, this, [warn](const QString &reason) {
        warn(tr(". Warning: a later Paddock will not find this server: ") + reason);
    });
    connect(&controller, &MooController::logFileShared, this,
            [warn](const QString &warning) { warn(tr(". Warning: ") + warning); });
    // Said here too, so it is read without the warning's tooltip.
    connect(&controller, &MooController::logFileFailed, this, [warn](const QString &message) {
        warn(tr(". Warning: ") + (message.endsWith(u'.') ? message.chopped(1) : message));
    });
    connect(&controller, &MooController::recordsRefused, this, [warn](const QStringList &texts) {
        for (const QString &text : texts)
            warn(tr(". Warning: ") + (text.endsWith(u'.') ? text.chopped(1) : text));
    });
    if (Run *run = controller.run(); run && run->isRunning())
        showRunning(*run);
}

ServerStatus::~ServerStatus() = default;

QString ServerStatus::runningText(int pid, QTime since)
{
    return statusWords(StatePhrase::Running)
        .arg(pid)
        .arg(since.toString(QStringLiteral("HH:mm:ss")));
}

QString ServerStatus::emergencyText(int pid)
{
    return statusWords(StatePhrase::InEmergencyMode).arg(pid);
}

void ServerStatus::followPlayers(const RunPlayers &players)
{
    m_players = &players;
    connect(&players, &RunPlayers::changed, this, &ServerStatus::render);
    render();
}

QString ServerStatus::playersText(int count)
{
    // English says none and one apart; a catalogue gives each language its plural forms.
    if (count == 0)
        return tr("no one on");
    return count == 1 ? tr("1 player on") : tr("%n players on", nullptr, count);
}

QString ServerStatus::reattachedText(int pid, const QDateTime &started)
{
    const QString since = started.isValid()
                              ? started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                              : tr("an unknown time");
    return tr("Running, PID %1, since %2; reattached").arg(pid).arg(since);
}

QString ServerStatus::adoptedEndedText()
{
    return tr("Server ended; its exit status is unknown because it was started by an earlier "
              "Paddock");
}

QString ServerStatus::endedWhileClosedText(int pid, const QString &logFile)
{
    QString text = tr("The server with PID %1 ended while Paddock was closed").arg(pid);
    if (!logFile.isEmpty())
        text += tr("; its output is in \"%1\"").arg(logFile);
    return text;
}

void ServerStatus::onReattached(int pid, const QDateTime &started, const QString &problem)
{
    QString text = reattachedText(pid, started);
    if (!problem.isEmpty())
        text += tr(". Warning: ") + problem;
    if (m_shown == Shown::Running) {
        m_runningBase = text;
        render();
    } else {
        m_shown = Shown::Fixed;
        m_attention = false;
        m_short.clear();
        setText(text);
    }
}

QString ServerStatus::endedText(Task::TerminationReason reason, int status, bool stopRequested)
{
    if (reason == Task::TerminationReason::Unknown)
        return statusWords(StatePhrase::EndedUnknown);
    if (reason == Task::TerminationReason::UncaughtSignal)
        return tr("Server killed by signal ") + signalName(status);
    if (stopRequested && status == 0)
        return statusWords(StatePhrase::Stopped);
    return tr("Server exited with status %1").arg(status);
}

QString ServerStatus::nothingSavedText(const std::string &outputPath)
{
    return tr(". Warning: the server saved no database: \"") + QString::fromLocal8Bit(outputPath) +
           tr("\" was not written during this run");
}

void ServerStatus::setNotRespondingSince(const QDateTime &since)
{
    m_notRespondingSince = m_shown == Shown::Running ? since : QDateTime();
    render();
}

void ServerStatus::launchFailed(const QString &reason)
{
    m_shown = Shown::Fixed;
    m_attention = false;
    m_short.clear();
    m_minuteTicker.stop();
    setText(statusWords(StatePhrase::LaunchFailed) + reason);
}

QString ServerStatus::endKindText(const ServerLife &life, bool adopted)
{
    const Task::TerminationReason reason = life.terminationReason();
    const int status = life.terminationStatus();
    const QString how = reason == Task::TerminationReason::UncaughtSignal
                            ? tr("killed by signal ") + signalName(status)
                            : tr("exited with status %1").arg(status);
    switch (life.end()) {
    case ServerEnd::Stopped:
        // A Stop that had to be forced says how the server was ended.
        return endedText(reason, status, true);
    case ServerEnd::ShutDownFromInside:
        return statusWords(StatePhrase::ShutDownFromInside);
    case ServerEnd::FailedToStart:
        return statusWords(StatePhrase::FailedToStart) +
               (life.lastErrorLine().isEmpty() ? how : life.lastErrorLine());
    case ServerEnd::Crashed:
        return statusWords(StatePhrase::Crashed) + how;
    case ServerEnd::Unknown:
        return adopted ? adoptedEndedText() : endedText(reason, status, false);
    case ServerEnd::None:
        break;
    }
    return {};
}

QString ServerStatus::runningDetails() const
{
    QString text;
    const QList<int> &ports = m_life.ports();
    if (!ports.isEmpty()) {
        QStringList numbers;
        for (int port : ports)
            numbers.append(QString::number(port));
        text += tr("; listening on ") + numbers.join(QStringLiteral(", "));
    }
    // Before the world listens no one can be on: the count would only be noise while it loads.
    if (m_players && m_players->following() && (!ports.isEmpty() || m_players->count() > 0))
        text += QStringLiteral("; ") + playersText(m_players->count());
    if (const auto last = m_life.lastCheckpoint()) {
        const auto minutes =
            std::chrono::duration_cast<std::chrono::minutes>(SteadyClock::now() - *last).count();
        text += minutes < 1 ? tr("; checkpoint less than a minute ago")
                            : tr("; checkpoint %1 min ago").arg(minutes);
    }
    if (!m_life.checkpointWarning().isEmpty())
        text += tr(". Warning: ") + m_life.checkpointWarning();
    switch (m_life.checkpointVerdict()) {
    case ServerLife::CheckpointVerdict::Waiting:
    case ServerLife::CheckpointVerdict::Failed:
    case ServerLife::CheckpointVerdict::NotReported:
        text += QStringLiteral(". ") +
                ServerLife::checkpointVerdictText(m_life.checkpointVerdict()).chopped(1);
        break;
    default:
        break;
    }
    return text;
}

QString ServerStatus::endDetails() const
{
    QString text;
    if (!m_life.outputSaved())
        text += nothingSavedText(m_life.runOutputPath());
    if (!m_life.panicFile().empty())
        text += tr(". A panic dump \"%1\" was left beside the database")
                    .arg(QFileInfo(QString::fromLocal8Bit(m_life.panicFile())).fileName());
    return text;
}

void ServerStatus::render()
{
    using State = ServerLife::State;
    const State state = m_life.state();
    if (m_shown != Shown::Ended) {
        m_attention = false;
        m_short.clear();
    }
    if (m_shown == Shown::Running) {
        renderRunning();
        return;
    }
    if (m_shown != Shown::Ended)
        return;
    QString text;
    QString spoken; // the countdown's words that stay the same from second to second
    if (m_life.end() == ServerEnd::None) // life has not seen the end yet
        text = m_endAdopted ? adoptedEndedText()
                            : endedText(m_life.terminationReason(), m_life.terminationStatus(),
                                        state == State::Stopping || state == State::StopTakingLong);
    else if (state == State::LaunchFailed) // starting again after the crash failed
        text = statusWords(StatePhrase::RestartFailed) + m_life.launchFailure();
    else if (state == State::WaitingToRestart && m_life.restartAt()) {
        text = statusWords(StatePhrase::WaitingToRestart)
                   .arg(std::max<long long>(0, std::chrono::ceil<std::chrono::seconds>(
                                                   *m_life.restartAt() - SteadyClock::now())
                                                   .count()));
        spoken = tr("Crashed; starting again at %1").arg(restartClockTime());
    } else
        text = endKindText(m_life, m_endAdopted);
    QString rest = endDetails();
    if (m_life.restartGivenUp() && state == State::Ended) {
        // A check's sentence ends with a stop of its own; the details after it add theirs.
        QString refusal = m_life.restartRefusal();
        if (refusal.endsWith(u'.'))
            refusal.chop(1);
        rest += refusal.isEmpty() ? tr(". It crashed too often to be started again")
                                  : tr(". It was not started again: %1").arg(refusal);
    }
    rest += m_warnings;
    const ServerEnd end = m_life.end();
    m_attention = (state == State::Ended || state == State::LaunchFailed) &&
                  end != ServerEnd::None &&
                  (end == ServerEnd::Crashed || end == ServerEnd::FailedToStart ||
                   state == State::LaunchFailed || m_life.restartGivenUp() ||
                   !m_life.outputSaved() || !m_life.panicFile().empty());
    m_short = m_attention ? text : QString();
    setText(text + rest, spoken.isEmpty() ? QString() : spoken + rest);
}

void ServerStatus::renderRunning()
{
    const int pid = m_shownRun ? m_shownRun->processIdentifier() : 0;
    RunningAs running = RunningAs::Normally;
    if (m_shownRun && m_shownRun->inEmergencyMode())
        running = RunningAs::InEmergencyMode;
    else if (m_notRespondingSince.isValid())
        running = RunningAs::NotResponding;
    const StatePhrase phrase = statePhrase(m_life.state(), m_life.end(), running);
    switch (phrase) {
    case StatePhrase::Stopping:
    case StatePhrase::StopTakingLong:
        setText(statusWords(phrase));
        break;
    case StatePhrase::InEmergencyMode:
        setText(emergencyText(pid) + m_warnings);
        break;
    case StatePhrase::NotResponding:
        setText(statusWords(phrase)
                    .arg(m_notRespondingSince.toString(QStringLiteral("HH:mm")))
                    .arg(pid) +
                runningDetails() + m_warnings);
        break;
    case StatePhrase::Running:
        setText(m_runningBase + runningDetails() + m_warnings);
        break;
    // Life may already know of the end before this run's termination notice comes here,
    // which renders it.
    case StatePhrase::Stopped:
    case StatePhrase::LaunchFailed:
    case StatePhrase::RestartFailed:
    case StatePhrase::WaitingToRestart:
    case StatePhrase::ShutDownFromInside:
    case StatePhrase::FailedToStart:
    case StatePhrase::Crashed:
    case StatePhrase::EndedUnknown:
        break;
    }
}

QString ServerStatus::restartClockTime()
{
    if (m_restartAt != m_life.restartAt()) {
        m_restartAt = m_life.restartAt();
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_restartAt.value_or(SteadyClock::now()) - SteadyClock::now());
        m_restartClockTime =
            QTime::currentTime().addMSecs(int(wait.count())).toString(QStringLiteral("HH:mm:ss"));
    }
    return m_restartClockTime;
}

void ServerStatus::setText(const QString &text, const QString &spoken)
{
    const QString said = spoken.isEmpty() ? text : spoken;
    if (text == m_text && said == m_spoken)
        return;
    m_text = text;
    m_spoken = said;
    Q_EMIT textChanged(m_text);
}

void ServerStatus::showRunning(Run &run)
{
    // Only the newest run is shown: the end of one a launch replaced says nothing of it.
    if (m_shownRun)
        disconnect(m_shownRun, nullptr, this, nullptr);
    m_shownRun = &run;
    connect(&run, &Run::ended, this, &ServerStatus::onRunEnded);
    connect(&run, &Run::emergencyModeLeft, this, &ServerStatus::render);
    m_since = QTime::currentTime();
    m_shown = Shown::Running;
    m_runningBase = runningText(run.processIdentifier(), m_since);
    m_notRespondingSince = QDateTime();
    m_warnings.clear();
    m_minuteTicker.start();
    render();
}

void ServerStatus::onRunEnded()
{
    m_endAdopted = m_shownRun->isAdopted();
    m_shown = Shown::Ended;
    m_notRespondingSince = QDateTime();
    m_warnings.clear();
    m_minuteTicker.stop();
    disconnect(m_shownRun, nullptr, this, nullptr);
    m_shownRun = nullptr;
    render();
}

} // namespace paddock

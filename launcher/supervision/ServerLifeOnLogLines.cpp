// SPDX-License-Identifier: MIT
// The server's life as its log tells it: the ports it listens on, its checkpoints and dumps,
// panics, and what became of Checkpoint Now.
#include "ServerLife.h"

#include "MooController.h"
#include "OutputDatabase.h"
#include "ProcessInfo.h"
#include "ServerLogLines.h"

#include <csignal>

namespace paddock {

void ServerLife::onLine(const ServerLogLine &line, std::string_view text)
{
    bool shown = false;
    if (line.isError()) {
        m_lastErrorLine = QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
        shown = true;
    }
    const std::string database(line.database);
    const bool ofOutput = !database.empty() && m_run && !m_run->outputName().empty() &&
                          resolvedOutputPath(m_run->input(), database) == m_run->outputPath();
    switch (line.kind) {
    case ServerLogKind::Listening:
        if (!m_ports.contains(line.port))
            m_ports.append(line.port);
        shown = true;
        break;
    case ServerLogKind::CheckpointFinished:
    case ServerLogKind::DumpFinished:
        if (ofOutput)
            m_outputCheckpointed = true;
        if (ofOutput && line.kind == ServerLogKind::DumpFinished)
            m_finalDumpFinished = true;
        m_lastCheckpoint = now();
        m_checkpointWarning.clear();
        if (m_checkpointVerdict == CheckpointVerdict::Waiting)
            setCheckpointVerdict(CheckpointVerdict::Finished);
        shown = true;
        break;
    case ServerLogKind::CheckpointAbandoned:
        m_checkpointWarning = tr("The last checkpoint was abandoned");
        if (m_checkpointVerdict == CheckpointVerdict::Waiting)
            setCheckpointVerdict(CheckpointVerdict::Failed);
        else
            Q_EMIT notice(Notice::CheckpointFailed,
                          checkpointVerdictText(CheckpointVerdict::Failed));
        shown = true;
        break;
    case ServerLogKind::DumpRetrying:
        m_checkpointWarning = tr("The server could not write its database and is retrying");
        shown = true;
        break;
    case ServerLogKind::Panic:
        if (m_state == State::Ended || m_state == State::WaitingToRestart)
            checkPanicFile();
        shown = true;
        break;
    default:
        break;
    }
    if (shown)
        Q_EMIT changed();
}

void ServerLife::setCheckpointVerdict(CheckpointVerdict verdict)
{
    if (verdict != CheckpointVerdict::Waiting)
        m_checkpointTimer.stop();
    m_checkpointVerdict = verdict;
    Q_EMIT changed();
    if (verdict == CheckpointVerdict::Failed || verdict == CheckpointVerdict::NotReported)
        Q_EMIT notice(Notice::CheckpointFailed, checkpointVerdictText(verdict));
}

ServerLife::CheckpointRequest ServerLife::checkpointNow()
{
    if (!m_run || !m_run->isRunning())
        return CheckpointRequest::NotRunning;
    // SIGUSR2's default action ends the process: a server without a handler would be
    // killed, not checkpointed.
    if (!processCatchesSignal(m_run->processIdentifier(), SIGUSR2))
        return CheckpointRequest::NotCaught;
    if (!m_run->sendSignal(SIGUSR2))
        return CheckpointRequest::SendFailed;
    m_checkpointVerdict = CheckpointVerdict::Waiting;
    m_checkpointTimer.start();
    Q_EMIT changed();
    return CheckpointRequest::Sent;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
// The server's life as its log tells it: the ports it listens on, its checkpoints and dumps,
// panics, and what became of Checkpoint Now.
#include "ServerLife.h"

#include "FileHandle.h"
#include "MooController.h"
#include "NotificationCenter.h"
#include "ProcessInfo.h"
#include "ServerLogLines.h"

#include <QByteArray>

#include <algorithm>
#include <csignal>

namespace paddock {

void ServerLife::onReadCompletion(const Notification &notification)
{
    const QObject *const sender = notification.sender.get();
    const auto item = notification.userInfo.constFind(FileHandleNotificationDataItem);
    const QByteArray chunk =
        item != notification.userInfo.constEnd() ? item->toByteArray() : QByteArray();
    // Lines go to onLine as they are found, as views into the chunk; the assembler is held
    // here meanwhile, so nothing done for a line can take it away mid-chunk.
    std::unique_ptr<LineAssembler> assembler = std::move(m_assemblers[sender]);
    m_assemblers.erase(sender);
    if (!assembler)
        assembler = std::make_unique<LineAssembler>();
    const auto recognise = [this](std::string_view line) {
        onLine(recogniseServerLogLine(line), line);
    };
    assembler->push(std::string_view(chunk.constData(), size_t(chunk.size())), recognise);
    // An empty chunk is the end of the stream: its last line is complete, and the sender's
    // assembler goes, so a long life of many runs leaves none behind.
    if (chunk.isEmpty())
        assembler->finish(recognise);
    else
        m_assemblers[sender] = std::move(assembler);
    if (chunk.isEmpty()) {
        const auto stream = std::find(m_runStreams.begin(), m_runStreams.end(), sender);
        if (stream != m_runStreams.end()) {
            m_runStreams.erase(stream);
            if (m_runStreams.empty())
                Q_EMIT runOutputFinished();
        }
    }
}

void ServerLife::onLine(const ServerLogLine &line, std::string_view text)
{
    bool shown = false;
    if (line.isError()) {
        m_lastErrorLine = QString::fromLocal8Bit(text.data(), qsizetype(text.size()));
        shown = true;
    }
    const std::string database(line.database);
    const bool ofOutput = !database.empty() && !m_runOutputName.empty() &&
                          resolvedOutputPath(m_runInput, database) == m_runOutputPath;
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
    const std::shared_ptr<Task> task = m_controller.task();
    if (!task || !task->isRunning())
        return CheckpointRequest::NotRunning;
    // SIGUSR2's default action ends the process: a server without a handler would be
    // killed, not checkpointed.
    if (!processCatchesSignal(task->processIdentifier(), SIGUSR2))
        return CheckpointRequest::NotCaught;
    if (!task->sendSignal(SIGUSR2))
        return CheckpointRequest::SendFailed;
    m_checkpointVerdict = CheckpointVerdict::Waiting;
    m_checkpointTimer.start();
    Q_EMIT changed();
    return CheckpointRequest::Sent;
}

} // namespace paddock

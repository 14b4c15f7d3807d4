// SPDX-License-Identifier: MIT
#include "RunPlayers.h"

#include "LogFileHistory.h"
#include "MooController.h"
#include "Run.h"
#include "ServerLogLines.h"

#include <QDateTime>

namespace paddock {

RunPlayers::RunPlayers(MooController &controller, QObject *parent)
    : QObject(parent)
{
    connect(&controller, &MooController::runStarted, this, &RunPlayers::follow);
    if (Run *run = controller.run(); run && run->isRunning())
        follow(*run);
}

RunPlayers::~RunPlayers() = default;

bool RunPlayers::take(std::span<const RecognisedLine> lines)
{
    bool changed = false;
    QDateTime now; // read once, and only when a line may need it
    for (const RecognisedLine &line : lines) {
        // An accepted connection logs no one in.
        if (!isConnectionKind(line.line.kind) || line.line.kind == ServerLogKind::Accepted)
            continue;
        if (!now.isValid())
            now = QDateTime::currentDateTime();
        changed |= m_roster.take(line.line, now);
    }
    return changed;
}

void RunPlayers::follow(Run &run)
{
    // Only the newest run counts: a server a launch replaced is on its way out.
    if (m_run)
        disconnect(m_run, nullptr, this, nullptr);
    m_run = &run;
    m_roster.clear();
    connect(&run, &Run::recognisedLines, this, [this](std::span<const RecognisedLine> lines) {
        if (take(lines))
            Q_EMIT changed();
    });
    connect(&run, &Run::ended, this, &RunPlayers::onRunEnded);
    if (run.isAdopted())
        rebuildFromLogFile(run);
    Q_EMIT changed();
}

void RunPlayers::onRunEnded()
{
    disconnect(m_run, nullptr, this, nullptr);
    m_run = nullptr;
    m_roster.clear();
    Q_EMIT changed();
}

void RunPlayers::rebuildFromLogFile(const Run &run)
{
    if (run.logFile().empty())
        return;
    // Everything up to the hand-back is in the file; the pipes bring the rest.
    const std::string history = readLogFileTail(run.logFile(), HistoryLimit, run.logStart());
    // A last line without its end is left to the pipes, which bring the rest of it.
    LineAssembler assembler;
    // The lines are recognised as the run recognises those it reads.
    std::string scratch;
    assembler.push(history, [&](std::string_view line) {
        if (const std::optional<RecognisedLine> recognised = recogniseNoteworthyLine(line, scratch))
            take(std::span(&*recognised, 1));
    });
}

} // namespace paddock

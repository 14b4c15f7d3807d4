// SPDX-License-Identifier: MIT
#include "RunPlayers.h"

#include "LogFileHistory.h"
#include "MooController.h"
#include "Run.h"
#include "ServerLogLines.h"

#include <QDateTime>

namespace paddock {

namespace {

// Whether a login or logout verb may begin at `at`: CONNECTED, CREATED, CLIENT DISCONNECTED,
// REDIRECTED, DISCONNECTED, told apart by their first two letters.
bool verbAt(std::string_view line, std::size_t at)
{
    if (line.size() < at + 9) // "CREATED: " is the shortest
        return false;
    const char first = line[at], second = line[at + 1];
    return (first == 'C' && (second == 'O' || second == 'R' || second == 'L')) ||
           (first == 'R' && second == 'E') || (first == 'D' && second == 'I');
}

// Whether a severity mark the roster accepts ("*** ", "!!! ", "### ") ends at `at`.
bool markBefore(std::string_view line, std::size_t at)
{
    if (at < 4 || line.size() <= at || line[at - 1] != ' ')
        return false;
    const char mark = line[at - 4];
    return (mark == '*' || mark == '!' || mark == '#') && line[at - 3] == mark &&
           line[at - 2] == mark;
}

} // namespace

bool mayChangePlayers(std::string_view line)
{
    // The verb follows the line's start or a 17-byte stamp, each maybe with a mark between. A
    // server writing colours puts them before either: such lines take the full path.
    constexpr std::size_t stamp = 17;
    if (!line.empty() && line[0] == '\x1b')
        return true;
    if (line.size() > stamp && line[stamp] == '\x1b')
        return true;
    return verbAt(line, 0) || (markBefore(line, 4) && verbAt(line, 4)) || verbAt(line, stamp) ||
           (markBefore(line, stamp + 4) && verbAt(line, stamp + 4));
}

RunPlayers::RunPlayers(MooController &controller, QObject *parent)
    : QObject(parent)
{
    connect(&controller, &MooController::runStarted, this, &RunPlayers::follow);
    if (Run *run = controller.run(); run && run->isRunning())
        follow(*run);
}

RunPlayers::~RunPlayers() = default;

bool RunPlayers::take(std::span<const std::string_view> lines)
{
    bool changed = false;
    QDateTime now; // read once, and only when a line may need it
    for (const std::string_view line : lines) {
        if (!mayChangePlayers(line))
            continue;
        if (!now.isValid())
            now = QDateTime::currentDateTime();
        changed |= m_roster.take(recogniseServerLogLine(withoutColours(line, m_scratch)), now);
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
    connect(&run, &Run::lines, this, [this](std::span<const std::string_view> lines) {
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
    assembler.push(history, [this](std::string_view line) {
        const std::string_view one[] = {line};
        take(one);
    });
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "PlayerRoster.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <span>

namespace paddock {

class MooController;
class Run;
struct RecognisedLine;

/// Who is on the world the controller runs now: a roster kept from the current run's lines,
/// emptied when the run ends. For a server Paddock took back from an earlier one, the roster
/// is first rebuilt from the run's part of its log file.
class RunPlayers final : public QObject {
    Q_OBJECT
public:
    /// The most of a log file read back for a server taken back: its newest bytes. Read on the
    /// event loop, so bounded well below what could stall the window.
    static constexpr std::uint64_t HistoryLimit = 32ull << 20;

    /// Follows controller, which must outlive this; picks up a run that runs already.
    explicit RunPlayers(MooController &controller, QObject *parent = nullptr);
    ~RunPlayers() override;
    Q_DISABLE_COPY_MOVE(RunPlayers)

    /// The players on now; empty while no server runs.
    const PlayerRoster &roster() const { return m_roster; }
    int count() const { return m_roster.count(); }
    /// Whether a server runs, so the count means something.
    bool following() const { return !m_run.isNull(); }

Q_SIGNALS:
    /// The roster or whether a server runs changed.
    void changed();

private:
    void follow(Run &run);
    void onRunEnded();
    /// Takes in lines just recognised; returns whether the roster changed.
    bool take(std::span<const RecognisedLine> lines);
    void rebuildFromLogFile(const Run &run);

    PlayerRoster m_roster;
    QPointer<Run> m_run;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QList>

#include <string>

namespace paddock {

/// One server run as Paddock launched it: when, on which database, under which output name
/// (both absolute, the output resolved against the database's folder).
struct RunRecord {
    QDateTime started;
    std::string input; ///< in the operating system's bytes, as are all paths here
    std::string output;
    bool operator==(const RunRecord &) const = default;
};

/// The runs Paddock launched, kept in a small file in its state folder so the Databases
/// window can tell which run wrote which file. Paths are stored percent-encoded, so any
/// bytes a file name holds survive; the file keeps only the newest runs.
class RunHistory final {
public:
    /// The history at filePath; an empty path keeps nothing.
    explicit RunHistory(std::string filePath = defaultPath());

    /// runs in the state folder ($XDG_STATE_HOME/paddock); empty when there is none.
    static std::string defaultPath();
    /// How many runs the file keeps at most.
    static constexpr int Kept = 1000;

    /// Appends run; returns false when the file cannot be written (the history is a help,
    /// never a reason to refuse a launch).
    bool record(const RunRecord &run) const;
    /// Every run recorded, oldest first; lines that make no sense are skipped.
    QList<RunRecord> runs() const;

private:
    std::string m_path;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace paddock {

/// Where the server writes an output name: resolved as the server resolves it, against the
/// folder of the database it runs on (an absolute name stays as it is).
std::string resolvedOutputPath(std::string_view dbPath, std::string_view outputName);

/// Why an output name cannot work for a database, or is a risk to it.
enum class OutputNameProblem {
    None,
    Empty,          // the server would have no name to write under
    FolderMissing,  // the folder the name points into does not exist
    NamesFolder,    // the name ends in "/", ".", ".." or names an existing folder
    OverwritesInput // the input database itself, under any spelling or link: the server's
                    // dumps replace it, so it works, but no earlier copy is kept
};

/// What is wrong with outputName for a server started on dbPath. The folder is looked for
/// only when checkFolder is set (a preview for an example database has no real folder).
OutputNameProblem outputNameProblem(std::string_view dbPath, std::string_view outputName,
                                    bool checkFolder = true);

/// The sentence the window shows for problem, naming outputName; empty for None.
std::string describeOutputNameProblem(OutputNameProblem problem, std::string_view outputName);

/// What the output database was like when a server was launched, so its end can tell
/// whether the server wrote it during the run.
class OutputDatabaseCheck final {
public:
    /// Looks at the output database of a server about to run on dbPath.
    static OutputDatabaseCheck before(std::string_view dbPath, std::string_view outputName);

    /// Whether the output database exists now as a file, written since before() looked:
    /// it was new, or replaced, or modified.
    bool writtenSince() const;
    /// The output database's path, resolved against the database's folder.
    const std::string &path() const { return m_path; }

private:
    struct Seen {
        dev_t device = 0;
        ino_t inode = 0;
        long long modifiedSeconds = 0;
        long modifiedNanoseconds = 0;
        long long size = 0;
        bool operator==(const Seen &) const = default;
    };
    static std::optional<Seen> look(const std::string &path);

    std::string m_path;
    std::optional<Seen> m_before;
};

} // namespace paddock

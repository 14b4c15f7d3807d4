// SPDX-License-Identifier: MIT
#pragma once

#include "LogFileOwnership.h"
#include "LogFileWriter.h"

#include <QMetaType>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace paddock {

/// The controller's log file, written from the threads that read its server's output (so a
/// chunk is in the file before anyone else sees it, and a Paddock that exits leaves nothing
/// read and unwritten) while the controller opens it anew for each run. Thread-safe.
class SharedLogFile final {
public:
    /// Where one chunk went in the log file.
    struct Appended {
        /// The log file read back, and the offset in its log of the chunk's first byte; no file
        /// when there is none, or it has failed before.
        std::shared_ptr<const LogFileSegments> file;
        std::uint64_t fileOffset = 0;
        /// The errno of a failure of this very append (the writer appends nothing after it).
        int failure = 0;
        /// Which of the writers opened one after the other appended it, counted from 1.
        std::uint64_t writer = 0;
    };

    /// Writes to path from now on (none when empty), keeping the writer when it writes path
    /// already with rotateSize and has not failed: another run on the same database goes on in
    /// the same files, read back through one set of descriptors.
    void open(const std::string &path, std::uint64_t rotateSize, LogFileOwnership ownership);
    /// Appends bytes to the log file, if one is open and sound.
    Appended append(std::string_view bytes);
    /// The path of the log file written, empty when none.
    std::string path() const;

private:
    mutable std::mutex m_mutex;
    std::unique_ptr<LogFileWriter> m_writer;
    std::uint64_t m_writers = 0; // how many were opened
};

} // namespace paddock

Q_DECLARE_METATYPE(paddock::SharedLogFile::Appended)

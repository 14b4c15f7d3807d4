// SPDX-License-Identifier: MIT
#include "SharedLogFile.h"

namespace paddock {

void SharedLogFile::open(const std::string &path, std::uint64_t rotateSize,
                         LogFileOwnership ownership)
{
    const std::lock_guard lock(m_mutex);
    const bool same = m_writer && !m_writer->failed() && m_writer->path() == path &&
                      m_writer->rotateSize() == rotateSize;
    if (same)
        return;
    ++m_writers;
    m_writer = path.empty() ? nullptr
                            : std::make_unique<LogFileWriter>(path, rotateSize,
                                                              LogFileWriter::DefaultKeep,
                                                              std::move(ownership));
}

SharedLogFile::Appended SharedLogFile::append(std::string_view bytes)
{
    const std::lock_guard lock(m_mutex);
    Appended appended;
    if (!m_writer || m_writer->failed())
        return appended;
    appended.writer = m_writers;
    appended.file = m_writer->segments();
    appended.fileOffset = m_writer->written();
    appended.failure = m_writer->append(bytes).error;
    if (appended.failure != 0)
        appended.file = nullptr; // not all of it is in the file: the window's log keeps it
    return appended;
}

std::string SharedLogFile::path() const
{
    const std::lock_guard lock(m_mutex);
    return m_writer ? m_writer->path() : std::string();
}

} // namespace paddock

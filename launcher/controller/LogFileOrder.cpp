// SPDX-License-Identifier: MIT
#include "LogFileOrder.h"

namespace paddock {

void LogFileOrder::take(const QByteArray &bytes, const SharedLogFile::Appended &appended,
                        const Deliver &deliver)
{
    // Not in the file, an earlier writer's, or nothing (a stream's end): nothing to keep in
    // step with.
    if (!appended.file || appended.writer < m_writer || bytes.isEmpty()) {
        deliver(bytes, appended);
        return;
    }
    if (appended.writer > m_writer) {
        // A new writer begins at offset 0; the last one's chunks waiting are due now.
        deliverDue(deliver, true);
        m_writer = appended.writer;
        m_next = 0;
    }
    if (appended.fileOffset < m_next) {
        deliver(bytes, appended); // one given up on came after all
        return;
    }
    m_waiting.emplace(appended.fileOffset, Waiting{bytes, appended});
    deliverDue(deliver, m_waiting.size() > MaxWaiting);
}

void LogFileOrder::deliverDue(const Deliver &deliver, bool flush)
{
    while (!m_waiting.empty() && (flush || m_waiting.begin()->first == m_next)) {
        const Waiting chunk = std::move(m_waiting.begin()->second);
        m_waiting.erase(m_waiting.begin());
        m_next = chunk.appended.fileOffset + std::uint64_t(chunk.bytes.size());
        deliver(chunk.bytes, chunk.appended);
    }
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "ChunkLines.h"

#include "WholeLines.h"

#include <atomic>

namespace paddock {

namespace {

// As many lists as chunks can be on their way to the window at once, and one being cut.
constexpr std::size_t KeptLists = 6;

} // namespace

std::shared_ptr<ChunkLines> LineCutter::unused()
{
    for (const std::shared_ptr<ChunkLines> &lines : m_lists) {
        if (lines.use_count() == 1) {
            // Whoever let go of it last is done reading it before it is written again.
            std::atomic_thread_fence(std::memory_order_acquire);
            lines->count = 0;
            lines->recognised.clear();
            lines->m_before.clear();
            lines->m_after.clear();
            lines->m_whole = {};
            lines->m_own.clear();
            return lines;
        }
    }
    if (m_lists.size() >= KeptLists)
        m_lists.erase(m_lists.begin());
    return m_lists.emplace_back(std::make_shared<ChunkLines>());
}

std::shared_ptr<const ChunkLines> LineCutter::cut(const QByteArray &chunk)
{
    const std::shared_ptr<ChunkLines> lines = unused();
    lines->m_chunk = chunk;
    const std::string_view bytes(chunk.constData(), size_t(chunk.size()));
    // Cleaned text is made in a string that already has its final place, so the recognised
    // parts' views into it stay valid; one left unused serves the next coloured line.
    std::string *scratch = nullptr;
    const auto recognise = [&](std::string_view text) {
        if (!scratch)
            scratch = &lines->m_own.emplace_back();
        const std::optional<RecognisedLine> recognised = recogniseNoteworthyLine(text, *scratch);
        if (recognised && recognised->text.data() == scratch->data())
            scratch = nullptr; // holds this line's cleaned text now
        if (recognised)
            lines->recognised.push_back(*recognised);
    };
    lines->m_limit = m_assembler.limit();
    std::vector<std::string_view> *assembled = &lines->m_before;
    const auto take = [&](std::string_view text) {
        // A line put together from earlier reads lives only during this call.
        if (text.data() < bytes.data() || text.data() + text.size() > bytes.data() + bytes.size())
            text = lines->m_own.emplace_back(text);
        recognise(text);
        assembled->push_back(text);
        ++lines->count;
    };
    if (chunk.isEmpty()) {
        m_assembler.finish(take);
        return lines;
    }
    // The assembler ends the line earlier reads began and keeps the one this read leaves
    // unfinished; every line between lies whole in the chunk, cut in one pass over its bytes.
    const std::size_t firstEnd = bytes.find('\n');
    const std::size_t lastEnd = bytes.rfind('\n');
    if (firstEnd == lastEnd) {
        m_assembler.push(bytes, take);
        return lines;
    }
    m_assembler.push(bytes.substr(0, firstEnd + 1), take);
    lines->m_whole = bytes.substr(firstEnd + 1, lastEnd - firstEnd);
    m_marked.clear();
    lines->count += cutWholeLines(lines->m_whole, lines->m_limit, m_marked);
    for (const std::string_view line : m_marked)
        recognise(line);
    // An overlong unfinished line is given cut at once.
    assembled = &lines->m_after;
    m_assembler.push(bytes.substr(lastEnd + 1), take);
    return lines;
}

} // namespace paddock

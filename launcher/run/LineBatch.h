// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

#include <QtGlobal>

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace paddock {

/// The lines of one read of a server's output, recognised once and told to whoever follows it a
/// few hundred at a time, while their bytes are still in the processor's cache: first the
/// noteworthy ones among them, recognised (tellRecognised(std::span<const RecognisedLine>),
/// only when there are any), then all of them (tellLines(std::span<const std::string_view>)).
/// Nothing is allocated per line; a coloured line's cleaned bytes live in one of two scratch
/// strings until told. Meant to live on the stack of one read: a follower that turns the event
/// loop may see the next read while this one is being told.
template <typename TellRecognised, typename TellLines> class LineBatch final {
public:
    LineBatch(TellRecognised tellRecognised, TellLines tellLines)
        : m_tellRecognised(tellRecognised)
        , m_tellLines(tellLines)
    {}
    Q_DISABLE_COPY_MOVE(LineBatch)

    /// Adds a line whose bytes last until the batch is told.
    void add(std::string_view text)
    {
        // A coloured line is recognised in the spare scratch: the other one may hold the last
        // coloured line, which is told before its scratch is reused.
        std::string &spare = m_scratch[1 - m_heldScratch];
        const std::optional<RecognisedLine> recognised = recogniseNoteworthyLine(text, spare);
        if (recognised && recognised->text.data() == spare.data()) {
            if (m_scratchHeld)
                tell();
            m_heldScratch = 1 - m_heldScratch;
            m_scratchHeld = true;
        }
        if (recognised)
            m_recognised[m_recognisedCount++] = *recognised;
        m_texts[m_textCount++] = text;
        if (m_textCount == m_texts.size() || m_recognisedCount == m_recognised.size())
            tell();
    }
    /// Tells a line at once, after those added before it: its bytes last only during the call.
    void tellAlone(std::string_view text)
    {
        tell();
        add(text);
        tell();
    }
    /// Tells the lines added so far.
    void tell()
    {
        if (m_recognisedCount > 0)
            m_tellRecognised(
                std::span<const RecognisedLine>(m_recognised.data(), m_recognisedCount));
        if (m_textCount > 0)
            m_tellLines(std::span<const std::string_view>(m_texts.data(), m_textCount));
        m_recognisedCount = m_textCount = 0;
        m_scratchHeld = false;
    }

    /// The most lines, and noteworthy lines, told at a time.
    static constexpr std::size_t MaxLines = 256, MaxRecognised = 64;

private:
    TellRecognised m_tellRecognised;
    TellLines m_tellLines;
    std::array<std::string_view, MaxLines> m_texts;
    std::array<RecognisedLine, MaxRecognised> m_recognised; // few lines are noteworthy
    std::array<std::string, 2> m_scratch;
    std::size_t m_textCount = 0, m_recognisedCount = 0;
    std::size_t m_heldScratch = 0; // the scratch the last coloured line is in
    bool m_scratchHeld = false;    // and whether that line is still to be told
};

} // namespace paddock

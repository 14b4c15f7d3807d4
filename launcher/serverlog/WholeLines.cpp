// SPDX-License-Identifier: MIT
#include "WholeLines.h"

#include "ServerLogLines.h"

#include <bit>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define PADDOCK_X86_BLOCKS 1
#endif

namespace paddock {

namespace {

// Takes the lines of whole as a walk over its bytes finds their ends, with what each holds.
// Its steps are run once per block or line of a flood: they are copied into each walk, which
// also lets a walk built for wider registers keep them.
class LineSink final {
public:
    LineSink(std::string_view whole, std::size_t limit, std::vector<std::string_view> &marked)
        : m_whole(whole)
        , m_limit(limit)
        , m_marked(marked)
    {}

    std::size_t lines() const { return m_lines; }

    // The bytes of a block that matter, a bit each (the first byte in the lowest): its line
    // ends, its "r" in either case and its escapes.
    [[gnu::always_inline]] void takeBlock(std::size_t at, unsigned width, std::uint32_t newlines,
                                          std::uint32_t rs, std::uint32_t escapes)
    {
        // The second "r" of a pair marks it: both lie on the same line.
        std::uint32_t marks = (rs & ((rs << 1) | m_lastWasR)) | escapes;
        m_lastWasR = rs >> (width - 1);
        for (; newlines; newlines &= newlines - 1) {
            const auto bit = unsigned(std::countr_zero(newlines));
            const std::uint32_t before = (std::uint32_t(1) << bit) - 1;
            endLine(at + bit, m_lineMarked || (marks & before) != 0);
            marks &= ~before;
        }
        m_lineMarked = m_lineMarked || marks != 0;
    }

    // The bytes from at on, one at a time.
    void takeRest(std::size_t at)
    {
        for (; at < m_whole.size(); ++at) {
            const char c = m_whole[at];
            const bool r = (c | 0x20) == 'r';
            if (c == '\n')
                endLine(at, m_lineMarked);
            else if (c == '\x1b' || (r && m_lastWasR))
                m_lineMarked = true;
            m_lastWasR = r ? 1 : 0;
        }
    }

private:
    [[gnu::always_inline]] void endLine(std::size_t newline, bool marked)
    {
        const std::string_view raw(m_whole.data() + m_lineStart, newline - m_lineStart);
        // The message's first byte, at the start or past a stamp ("Jul  7 10:31:02: "), may
        // open a recognised line; the recogniser tells whether it is a stamp.
        constexpr std::size_t stamp = 17;
        const bool opens =
            !raw.empty() && (isRecognisedOpening(raw[0]) ||
                             (raw.size() > stamp && raw[stamp - 1] == ' ' &&
                              raw[stamp - 2] == ':' && isRecognisedOpening(raw[stamp])));
        if (marked || opens)
            m_marked.push_back(lineAsGiven(raw, m_limit));
        ++m_lines;
        m_lineStart = newline + 1;
        m_lineMarked = false;
    }

    std::string_view m_whole;
    std::size_t m_limit;
    std::vector<std::string_view> &m_marked;
    std::size_t m_lines = 0;
    std::size_t m_lineStart = 0;
    bool m_lineMarked = false;
    std::uint32_t m_lastWasR = 0;
};

#ifdef PADDOCK_X86_BLOCKS
void cutIn16ByteBlocks(LineSink &sink, std::string_view whole)
{
    const auto mask = [](__m128i equal) { return std::uint32_t(_mm_movemask_epi8(equal)); };
    std::size_t at = 0;
    for (; at + 16 <= whole.size(); at += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(whole.data() + at));
        sink.takeBlock(
            at, 16, mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))),
            mask(_mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), _mm_set1_epi8('r'))),
            mask(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\x1b'))));
    }
    sink.takeRest(at);
}

// Twice the bytes a step where the processor has the wider registers.
__attribute__((target("avx2"))) void cutIn32ByteBlocks(LineSink &sink, std::string_view whole)
{
    std::size_t at = 0;
    for (; at + 32 <= whole.size(); at += 32) {
        const __m256i bytes =
            _mm256_loadu_si256(reinterpret_cast<const __m256i *>(whole.data() + at));
        const __m256i folded = _mm256_or_si256(bytes, _mm256_set1_epi8(0x20));
        sink.takeBlock(
            at, 32,
            std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n')))),
            std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(folded, _mm256_set1_epi8('r')))),
            std::uint32_t(
                _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\x1b')))));
    }
    sink.takeRest(at);
}
#endif

} // namespace

std::size_t cutWholeLines(std::string_view whole, std::size_t limit,
                          std::vector<std::string_view> &marked, LineBlocks blocks)
{
    LineSink sink(whole, limit, marked);
#ifdef PADDOCK_X86_BLOCKS
    static const bool wide = __builtin_cpu_supports("avx2");
    if (blocks == LineBlocks::Widest && wide)
        cutIn32ByteBlocks(sink, whole);
    else if (blocks != LineBlocks::One)
        cutIn16ByteBlocks(sink, whole);
    else
        sink.takeRest(0);
#else
    (void)blocks; // a byte at a time is all there is
    sink.takeRest(0);
#endif
    return sink.lines();
}

} // namespace paddock

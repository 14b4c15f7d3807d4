// SPDX-License-Identifier: MIT
// log_search: how fast a search runs through the log, with the standard library's
// Boyer-Moore-Horspool searcher (what LogSearch uses, block by block) and with a
// hand-written one scanning the same blocks. The log holds 256 MiB of flood output;
// the needle is either near its end or missing, with case kept or folded. Prints MiB/s,
// the best of a few runs each.

#include "LogSearch.h"
#include "LogText.h"

#include <QElapsedTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

using namespace paddock;

namespace {

constexpr qsizetype MiB = qsizetype(1) << 20;
constexpr qsizetype LogSize = 256 * MiB;
constexpr int Runs = 5;

// 100-byte lines as the stand-in server floods them, and the needle 512 KiB before the end.
LogTextPtr floodLog(const std::string &needle)
{
    const std::string filler =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrs";
    std::string block;
    for (int line = 0; block.size() < size_t(MiB); ++line) {
        char head[32];
        std::snprintf(head, sizeof head, "flood %08d ", line);
        block += head + filler + '\n';
    }
    LogTextPtr log = LogText::create();
    while (log->length() < LogSize - MiB)
        log = log->appending(block);
    const std::string tail =
        block.substr(0, size_t(MiB / 2)) + needle + block.substr(size_t(MiB / 2));
    return log->appending(std::string_view(tail).substr(0, size_t(LogSize - log->length())));
}

// The search LogText used to carry: a plain Horspool loop with ASCII letters folded.
class HandWritten final {
public:
    HandWritten(const std::string &needle, bool caseSensitive)
    {
        for (int c = 0; c < 256; ++c)
            m_fold[size_t(c)] =
                (unsigned char)(!caseSensitive && c >= 'A' && c <= 'Z' ? c + 32 : c);
        for (const char c : needle)
            m_needle += char(m_fold[(unsigned char)c]);
        m_skip.fill(qsizetype(m_needle.size()));
        for (size_t i = 0; i + 1 < m_needle.size(); ++i)
            m_skip[(unsigned char)m_needle[i]] = qsizetype(m_needle.size() - 1 - i);
    }

    // The first match in the log's blocks (not across them: the needles here never are).
    qsizetype find(const LogText &log) const
    {
        for (qsizetype from = 0; from < log.length();) {
            const LogPiece held = log.pieceAt(from);
            const std::string_view piece = held.bytes();
            const qsizetype found = scan(piece.data(), qsizetype(piece.size()));
            if (found >= 0)
                return from + found;
            from += qsizetype(piece.size());
        }
        return -1;
    }

private:
    qsizetype scan(const char *data, qsizetype size) const
    {
        const auto m = qsizetype(m_needle.size());
        const auto *text = reinterpret_cast<const unsigned char *>(data);
        for (qsizetype i = 0; i + m <= size;) {
            qsizetype j = m - 1;
            while (m_fold[text[i + j]] == (unsigned char)m_needle[size_t(j)]) {
                if (j == 0)
                    return i;
                --j;
            }
            i += m_skip[m_fold[text[i + m - 1]]];
        }
        return -1;
    }

    std::array<unsigned char, 256> m_fold{};
    std::string m_needle;
    std::array<qsizetype, 256> m_skip{};
};

// MiB/s through the log up to where find stopped, the best of Runs.
template <typename Find> double rate(Find find, qsizetype expected)
{
    double best = 0;
    for (int run = 0; run < Runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        const qsizetype found = find();
        const double seconds = std::max<double>(1e-9, double(clock.nsecsElapsed()) / 1e9);
        if (found != expected) {
            std::fprintf(stderr, "wrong result: %lld, expected %lld\n", (long long)found,
                         (long long)expected);
            std::exit(1);
        }
        const double scanned = double(found < 0 ? LogSize : found) / double(MiB);
        best = std::max(best, scanned / seconds);
    }
    return best;
}

} // namespace

int main()
{
    const std::string present = "needle near the END";
    const LogTextPtr log = floodLog(present);
    const auto planted = qsizetype(log->bytes(0, log->length()).find(present));
    std::printf("256 MiB of flood text; MiB/s, best of %d runs\n", Runs);
    std::printf("%-14s %-7s %12s %14s\n", "needle", "case", "standard", "hand-written");
    for (const bool missing : {false, true}) {
        for (const bool caseSensitive : {true, false}) {
            const std::string needle = missing         ? "missing needle"
                                       : caseSensitive ? present
                                                       : "NEEDLE NEAR THE end";
            const qsizetype expected = missing ? -1 : planted;
            const LogSearch standard(QString::fromLatin1(needle), caseSensitive);
            const HandWritten handWritten(needle, caseSensitive);
            const double standardRate =
                rate([&] { return standard.first(*log, 0, log->length(), log->length()).start; },
                     expected);
            const double handRate = rate([&] { return handWritten.find(*log); }, expected);
            std::printf("%-14s %-7s %12.0f %14.0f\n", missing ? "missing" : "near the end",
                        caseSensitive ? "kept" : "folded", standardRate, handRate);
        }
    }
    return 0;
}

// SPDX-License-Identifier: MIT
#include "ServerLogLines.h"

#include "ConnectionLines.h"
#include "DecimalText.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace paddock {

namespace {

// "Jul  7 10:31:02: ": three letters, a day padded to two, the time, a colon and a space.
std::string_view withoutStamp(std::string_view line)
{
    constexpr std::size_t length = 17;
    if (line.size() < length)
        return line;
    // Every line passes here: ASCII letters are told without a call into the locale.
    const auto letter = [&](std::size_t i) {
        const auto c = static_cast<unsigned char>(line[i]);
        return ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') || (c >= 0x80 && std::isalpha(c) != 0);
    };
    // The separators first: they turn away a line without a stamp at once.
    const bool stamp = line[16] == ' ' && line[15] == ':' && line[3] == ' ' && letter(0) &&
                       letter(1) && letter(2) && (line[4] == ' ' || isDecimalDigit(line[4])) &&
                       isDecimalDigit(line[5]) && line[6] == ' ' && isDecimalDigit(line[7]) &&
                       isDecimalDigit(line[8]) && line[9] == ':' && isDecimalDigit(line[10]) &&
                       isDecimalDigit(line[11]) && line[12] == ':' && isDecimalDigit(line[13]) &&
                       isDecimalDigit(line[14]);
    return stamp ? line.substr(length) : line;
}

// The name in "VERB on NAME ..." or "VERB on NAME finished": the word after "on ".
std::string_view dumpNameAfter(std::string_view text, std::string_view verb)
{
    std::string_view rest = text.substr(verb.size());
    if (!rest.starts_with(" on "))
        return {};
    rest.remove_prefix(4);
    return rest.substr(0, rest.find(' '));
}

// "castle.db.#3#" names the file that becomes "castle.db".
std::string_view databaseOf(std::string_view dumpName)
{
    if (dumpName.size() < 3 || dumpName.back() != '#')
        return dumpName;
    const std::size_t open = dumpName.rfind(".#", dumpName.size() - 2);
    if (open == std::string_view::npos || open + 2 >= dumpName.size() - 1)
        return dumpName;
    const std::string_view number = dumpName.substr(open + 2, dumpName.size() - open - 3);
    return std::all_of(number.begin(), number.end(), isDecimalDigit) ? dumpName.substr(0, open)
                                                                     : dumpName;
}

// The port of "... now listening on port 7777" (LambdaMOO) or "... now listening on
// 0.0.0.0 port 7777 ..." forms: the number after the last "port ", else the last number.
int listeningPort(std::string_view text)
{
    std::size_t at = text.rfind("port ");
    std::string_view digits;
    if (at != std::string_view::npos) {
        digits = text.substr(at + 5);
    } else {
        std::size_t end = text.size();
        while (end > 0 && !isDecimalDigit(text[end - 1]))
            --end;
        std::size_t begin = end;
        while (begin > 0 && isDecimalDigit(text[begin - 1]))
            --begin;
        digits = text.substr(begin, end - begin);
    }
    long long port = 0;
    return leadingNumber(digits, port) > 0 && port <= 65535 ? int(port) : 0;
}

// Whether text holds "error" in any case. Every line the server logs passes here, so it
// looks for the "rr" each occurrence holds sixteen bytes at a time where the processor
// allows, without copying the line.
bool mentionsError(std::string_view text)
{
    const auto folded = [&](std::size_t at) { return char(text[at] | 0x20); }; // 'R' -> 'r'
    // at: a byte that is 'r' or 'R' followed by another.
    const auto errorAround = [&](std::size_t at) {
        return at >= 1 && at + 3 < text.size() && folded(at - 1) == 'e' && folded(at + 2) == 'o' &&
               folded(at + 3) == 'r';
    };
    std::size_t at = 0;
#ifdef __SSE2__
    const __m128i caseBit = _mm_set1_epi8(0x20), r = _mm_set1_epi8('r');
    // Sixteen bytes hold fifteen adjacent pairs.
    const auto pairsFrom = [&](std::size_t from) {
        const __m128i bytes =
            _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data() + from));
        const auto rs =
            unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(bytes, caseBit), r)));
        for (unsigned pairs = rs & (rs >> 1); pairs; pairs &= pairs - 1)
            if (errorAround(from + std::size_t(std::countr_zero(pairs))))
                return true;
        return false;
    };
    if (text.size() >= 16) {
        // The next load starts at the sixteenth byte; the last one ends with the text,
        // looking again at pairs already seen rather than at the rest a byte at a time.
        for (; at + 16 <= text.size(); at += 15)
            if (pairsFrom(at))
                return true;
        return at + 1 < text.size() && pairsFrom(text.size() - 16);
    }
#endif
    for (; at + 1 < text.size(); ++at)
        if (folded(at) == 'r' && folded(at + 1) == 'r' && errorAround(at))
            return true;
    return false;
}

// A marked line that says a port could not be listened on becomes ListenFailed: an error
// about listening ("*** Binding listening socket: ..."), or a warning that it failed ("Failed
// to bind"). The servers word it differently, but always mark it.
void markFailedListen(ServerLogLine &line)
{
    if (line.mark.empty()) // most lines: nothing to look for
        return;
    const auto has = [&line](std::string_view part) {
        return line.text.find(part) != std::string_view::npos;
    };
    if (line.kind == ServerLogKind::Other && !line.mark.empty() && line.mark != ">" &&
        (has("isten") || has("bind") || has("Bind")) &&
        (line.mark == "***" || has("ail") || has("an't") || has("annot") || has("nable")))
        line.kind = ServerLogKind::ListenFailed;
}

} // namespace

bool ServerLogLine::isError() const
{
    if (mark == "***" || mark == "!!!" || kind == ServerLogKind::Panic ||
        kind == ServerLogKind::CheckpointAbandoned || kind == ServerLogKind::ListenFailed)
        return true;
    // Names and hosts are the players' own words: "Terror" logging in is no error.
    return !isConnectionKind(kind) && mentionsError(text);
}

LogLineParts logLineParts(std::string_view line)
{
    LogLineParts parts;
    std::string_view text = withoutStamp(line);
    if (text.size() != line.size())
        parts.stamp = line.substr(0, line.size() - text.size() - 2);
    static constexpr std::array<std::string_view, 4> marks = {"*** ", "!!! ", "### ", "> "};
    // Most lines carry no mark: one byte tells.
    if (!text.empty() && std::string_view("*!#>").find(text.front()) != std::string_view::npos) {
        for (const std::string_view mark : marks) {
            if (text.starts_with(mark)) {
                parts.mark = text.substr(0, mark.size() - 1);
                text.remove_prefix(mark.size());
                break;
            }
        }
    }
    parts.text = text;
    return parts;
}

bool hasColouredOpening(std::string_view line)
{
    // A stamp, the longest mark and the message's first byte.
    constexpr std::size_t opening = 17 + 4 + 1;
#ifdef __SSE2__
    // Every line a filter reads passes here: two overlapping loads instead of a call.
    if (line.size() >= opening) {
        const auto escapes = [&](std::size_t from) {
            const __m128i bytes =
                _mm_loadu_si128(reinterpret_cast<const __m128i *>(line.data() + from));
            return _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\x1b'));
        };
        return _mm_movemask_epi8(_mm_or_si128(escapes(0), escapes(opening - 16))) != 0;
    }
#endif
    return std::memchr(line.data(), '\x1b', std::min(line.size(), opening)) != nullptr;
}

ServerLogLine recogniseServerLogLine(std::string_view line)
{
    ServerLogLine result;
    const LogLineParts parts = logLineParts(line);
    result.stamp = parts.stamp;
    result.mark = parts.mark;
    result.text = parts.text;
    const std::string_view text = parts.text;
    // Every kind below begins with one of these letters; most lines begin otherwise.
    if (text.empty() || std::string_view("LCDPAWSR").find(text.front()) == std::string_view::npos) {
        markFailedListen(result);
        return result;
    }

    const auto dump = [&](ServerLogKind started, ServerLogKind finished, std::string_view verb) {
        result.dumpName = dumpNameAfter(text, verb);
        if (result.dumpName.empty())
            return;
        result.database = databaseOf(result.dumpName);
        const std::string_view after = text.substr(verb.size() + 4 + result.dumpName.size());
        result.kind = after.find("finished") != std::string_view::npos ? finished : started;
    };

    if (text.starts_with("LISTEN:") && text.find("now listening") != std::string_view::npos) {
        result.port = listeningPort(text);
        if (result.port > 0)
            result.kind = ServerLogKind::Listening;
    } else if (text.starts_with("LISTEN:")) {
        result.kind = ServerLogKind::ListenFailed;
    } else if (text.starts_with("LOADING")) {
        result.kind = ServerLogKind::Loading;
    } else if (text.starts_with("CHECKPOINTING")) {
        dump(ServerLogKind::CheckpointStarted, ServerLogKind::CheckpointFinished, "CHECKPOINTING");
    } else if (text.starts_with("DUMPING")) {
        dump(ServerLogKind::DumpStarted, ServerLogKind::DumpFinished, "DUMPING");
    } else if (text.starts_with("PANIC-DUMPING")) {
        result.dumpName = dumpNameAfter(text, "PANIC-DUMPING");
        result.database = result.dumpName;
        result.kind = ServerLogKind::Panic;
    } else if (text.starts_with("PANIC")) {
        result.kind = ServerLogKind::Panic;
    } else if (text.starts_with("Abandoning checkpoint attempt")) {
        result.kind = ServerLogKind::CheckpointAbandoned;
    } else if (text.starts_with("Waiting ") &&
               text.find("retrying dump") != std::string_view::npos) {
        result.kind = ServerLogKind::DumpRetrying;
    } else if (text.starts_with("SHUTDOWN:")) {
        result.kind = ServerLogKind::Shutdown;
    } else {
        result.kind = recogniseConnectionLine(text, result);
    }
    markFailedListen(result);
    return result;
}

bool mayBeRecognised(std::string_view line)
{
    // Colours hide the stamp, the mark or the message's start: the full path tells.
    if (hasColouredOpening(line))
        return true;
    // Neither marked nor of a kind: only "error" in it could still make it an error. Colours
    // further on do not break the word: a server colours whole lines.
    const std::string_view text = withoutStamp(line);
    return !text.empty() && (isRecognisedOpening(text.front()) || mentionsError(text));
}

std::optional<RecognisedLine> recogniseNoteworthyLine(std::string_view line, std::string &scratch)
{
    if (!mayBeRecognised(line))
        return std::nullopt;
    const std::string_view text = withoutColours(line, scratch);
    RecognisedLine recognised{text, recogniseServerLogLine(text)};
    if (!recognised.line.isNoteworthy())
        return std::nullopt;
    return recognised;
}

std::string_view withoutColours(std::string_view line, std::string &scratch)
{
    if (std::memchr(line.data(), '\x1b', line.size()) == nullptr)
        return line;
    scratch.clear();
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (line[at] != '\x1b') {
            scratch += line[at];
            continue;
        }
        if (at + 1 < line.size() && line[at + 1] == '[') {
            // A control sequence: parameters and intermediates, then one final byte.
            at += 2;
            while (at < line.size() && (line[at] < 0x40 || line[at] > 0x7e))
                ++at;
        } else {
            ++at; // a two-byte escape
        }
    }
    return scratch;
}

LineAssembler::LineAssembler(std::size_t limit)
    : m_limit(std::max<std::size_t>(limit, 1))
{}

std::optional<std::string_view> LineAssembler::complete(std::string_view rest, bool ended)
{
    std::optional<std::string_view> line;
    if (!m_dropping) {
        line = rest;
        if (!m_pending.empty()) {
            m_pending.append(rest);
            // Kept apart from the pending line, which is cleared below.
            m_pending.swap(m_completed);
            line = m_completed;
        }
        if (ended)
            line = withoutCarriageReturn(*line);
    }
    m_pending.clear();
    m_dropping = false;
    return line;
}

std::optional<std::string_view> LineAssembler::takeCarriedOver(std::string_view piece, bool ended)
{
    std::optional<std::string_view> cut;
    if (!m_dropping && m_pending.size() + piece.size() > m_limit) {
        // Give the cut line now: its rest may never end.
        cut = complete(piece.substr(0, m_limit - m_pending.size()), false);
        m_dropping = true;
    }
    if (!ended) {
        if (!m_dropping)
            m_pending.append(piece);
        return cut;
    }
    const std::optional<std::string_view> line = complete(piece, true);
    return cut ? cut : line;
}

std::optional<std::string_view> LineAssembler::takeUnfinished()
{
    std::optional<std::string_view> line;
    if (!m_pending.empty() && !m_dropping) {
        m_pending.swap(m_completed);
        line = m_completed;
    }
    m_pending.clear();
    m_dropping = false;
    return line;
}

} // namespace paddock

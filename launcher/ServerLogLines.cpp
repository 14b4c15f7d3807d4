// SPDX-License-Identifier: MIT
#include "ServerLogLines.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace paddock {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// "Jul  7 10:31:02: ": three letters, a day padded to two, the time, a colon and a space.
std::string_view withoutStamp(std::string_view line)
{
    constexpr std::size_t length = 17;
    if (line.size() < length)
        return line;
    const auto letter = [&](std::size_t i) {
        return std::isalpha(static_cast<unsigned char>(line[i])) != 0;
    };
    const bool stamp = letter(0) && letter(1) && letter(2) && line[3] == ' ' &&
                       (line[4] == ' ' || isDigit(line[4])) && isDigit(line[5]) && line[6] == ' ' &&
                       isDigit(line[7]) && isDigit(line[8]) && line[9] == ':' &&
                       isDigit(line[10]) && isDigit(line[11]) && line[12] == ':' &&
                       isDigit(line[13]) && isDigit(line[14]) && line[15] == ':' && line[16] == ' ';
    return stamp ? line.substr(length) : line;
}

// The name in "VERB on NAME ..." or "VERB on NAME finished": the word after "on ".
std::string_view dumpNameAfter(std::string_view text, std::string_view verb)
{
    std::string_view rest = text.substr(verb.size());
    if (!startsWith(rest, " on "))
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
    return std::all_of(number.begin(), number.end(), isDigit) ? dumpName.substr(0, open) : dumpName;
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
        while (end > 0 && !isDigit(text[end - 1]))
            --end;
        std::size_t begin = end;
        while (begin > 0 && isDigit(text[begin - 1]))
            --begin;
        digits = text.substr(begin, end - begin);
    }
    int port = 0;
    for (const char c : digits) {
        if (!isDigit(c))
            break;
        port = port * 10 + (c - '0');
        if (port > 65535)
            return 0;
    }
    return port;
}

bool containsWord(std::string_view text, std::string_view word)
{
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return lower.find(word) != std::string::npos;
}

} // namespace

bool ServerLogLine::isError() const
{
    return mark == "***" || mark == "!!!" || kind == ServerLogKind::Panic ||
           kind == ServerLogKind::CheckpointAbandoned || containsWord(text, "error");
}

ServerLogLine recogniseServerLogLine(std::string_view line)
{
    ServerLogLine result;
    std::string_view text = withoutStamp(line);
    static constexpr std::array<std::string_view, 4> marks = {"*** ", "!!! ", "### ", "> "};
    for (const std::string_view mark : marks) {
        if (startsWith(text, mark)) {
            result.mark = text.substr(0, mark.size() - 1);
            text.remove_prefix(mark.size());
            break;
        }
    }
    result.text = text;

    const auto dump = [&](ServerLogKind started, ServerLogKind finished, std::string_view verb) {
        result.dumpName = dumpNameAfter(text, verb);
        if (result.dumpName.empty())
            return;
        result.database = databaseOf(result.dumpName);
        const std::string_view after = text.substr(verb.size() + 4 + result.dumpName.size());
        result.kind = after.find("finished") != std::string_view::npos ? finished : started;
    };

    if (startsWith(text, "LISTEN:") && text.find("now listening") != std::string_view::npos) {
        result.port = listeningPort(text);
        if (result.port > 0)
            result.kind = ServerLogKind::Listening;
    } else if (startsWith(text, "CHECKPOINTING")) {
        dump(ServerLogKind::CheckpointStarted, ServerLogKind::CheckpointFinished, "CHECKPOINTING");
    } else if (startsWith(text, "DUMPING")) {
        dump(ServerLogKind::DumpStarted, ServerLogKind::DumpFinished, "DUMPING");
    } else if (startsWith(text, "PANIC-DUMPING")) {
        result.dumpName = dumpNameAfter(text, "PANIC-DUMPING");
        result.database = result.dumpName;
        result.kind = ServerLogKind::Panic;
    } else if (startsWith(text, "PANIC")) {
        result.kind = ServerLogKind::Panic;
    } else if (startsWith(text, "Abandoning checkpoint attempt")) {
        result.kind = ServerLogKind::CheckpointAbandoned;
    } else if (startsWith(text, "Waiting ") &&
               text.find("retrying dump") != std::string_view::npos) {
        result.kind = ServerLogKind::DumpRetrying;
    } else if (startsWith(text, "SHUTDOWN:")) {
        result.kind = ServerLogKind::Shutdown;
    }
    return result;
}

LineAssembler::LineAssembler(std::size_t limit)
    : m_limit(std::max<std::size_t>(limit, 1))
{}

std::vector<std::string> LineAssembler::push(std::string_view chunk)
{
    std::vector<std::string> lines;
    while (!chunk.empty()) {
        const std::size_t end = chunk.find('\n');
        const std::string_view piece = chunk.substr(0, end);
        if (!m_dropping) {
            const std::size_t room = m_limit - m_pending.size();
            m_pending.append(piece.substr(0, room));
            if (piece.size() > room) {
                // Give the cut line now: its rest may never end.
                lines.push_back(std::move(m_pending));
                m_pending.clear();
                m_dropping = true;
            }
        }
        if (end == std::string_view::npos)
            break;
        if (!m_dropping) {
            if (!m_pending.empty() && m_pending.back() == '\r')
                m_pending.pop_back();
            lines.push_back(std::move(m_pending));
        }
        m_pending.clear();
        m_dropping = false;
        chunk.remove_prefix(end + 1);
    }
    return lines;
}

std::vector<std::string> LineAssembler::finish()
{
    std::vector<std::string> lines;
    if (!m_pending.empty())
        lines.push_back(std::move(m_pending));
    m_pending.clear();
    m_dropping = false;
    return lines;
}

} // namespace paddock

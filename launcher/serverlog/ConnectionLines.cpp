// SPDX-License-Identifier: MIT
#include "ConnectionLines.h"

#include "DecimalText.h"

#include <array>
#include <optional>

namespace paddock {

namespace {

// "port P from HOST, port Q", the name both servers give a network connection; a name of
// another shape is kept whole as the host.
void takeConnectionName(std::string_view name, ServerLogLine &result)
{
    result.host = name;
    long long port = 0, remote = 0;
    const std::size_t portDigits =
        name.starts_with("port ") ? leadingNumber(name.substr(5), port) : 0;
    if (portDigits == 0 || port > 65535)
        return;
    std::string_view from = name.substr(5 + portDigits);
    if (!from.starts_with(" from "))
        return;
    from.remove_prefix(6);
    const std::size_t last = from.rfind(", port ");
    if (last == std::string_view::npos)
        return;
    const std::string_view tail = from.substr(last + 7);
    if (tail.empty() || leadingNumber(tail, remote) != tail.size() || remote > 65535)
        return;
    result.port = int(port);
    result.remotePort = int(remote);
    result.host = from.substr(0, last);
}

// The subject of a connection line, "NAME (#N)" or "#N", followed by separator: sets player
// and object and returns what follows the separator; none when text has not that shape.
std::optional<std::string_view> takeSubject(std::string_view text, std::string_view separator,
                                            ServerLogLine &result)
{
    // "#N" or "#-N" at at; end: just after it.
    const auto objectAt = [&](std::size_t at, std::size_t &end) {
        if (at >= text.size() || text[at] != '#')
            return false;
        const bool negative = at + 1 < text.size() && text[at + 1] == '-';
        long long value = 0;
        const std::size_t digits = leadingNumber(text.substr(at + 1 + negative), value);
        result.object = negative ? -value : value;
        end = at + 1 + negative + digits;
        return digits > 0;
    };
    std::size_t end = 0;
    if (objectAt(0, end) && text.substr(end).starts_with(separator))
        return text.substr(end + separator.size());
    // A name may hold " (#": the subject ends at the first "(#N)" the separator follows.
    for (std::size_t open = text.find(" (#"); open != std::string_view::npos;
         open = text.find(" (#", open + 1)) {
        if (objectAt(open + 2, end) && end < text.size() && text[end] == ')' &&
            text.substr(end + 1).starts_with(separator)) {
            result.player = text.substr(0, open);
            return text.substr(end + 1 + separator.size());
        }
    }
    result.object = 0;
    return std::nullopt;
}

} // namespace

ServerLogKind recogniseConnectionLine(std::string_view text, ServerLogLine &result)
{
    using K = ServerLogKind;
    struct Verb {
        std::string_view prefix;
        ServerLogKind kind;
    };
    static constexpr std::array<Verb, 6> verbs = {
        {{"ACCEPT: ", K::Accepted},
         {"CONNECTED: ", K::Connected},
         {"CREATED: ", K::Created},
         {"REDIRECTED: ", K::Redirected},
         {"DISCONNECTED: ", K::Disconnected},
         {"CLIENT DISCONNECTED: ", K::ClientDisconnected}}};
    for (const Verb &verb : verbs) {
        if (!text.starts_with(verb.prefix))
            continue;
        const bool redirected = verb.kind == K::Redirected;
        const auto rest =
            takeSubject(text.substr(verb.prefix.size()), redirected ? ", was " : " on ", result);
        if (!rest)
            return K::Other;
        // An accepted connection has no player yet; a login is always to a player.
        const bool login = verb.kind == K::Connected || verb.kind == K::Created || redirected;
        if ((verb.kind == K::Accepted && !result.player.empty()) ||
            (login && (result.player.empty() || result.object < 0))) {
            result.player = {};
            result.object = 0;
            return K::Other;
        }
        if (!redirected) {
            takeConnectionName(*rest, result);
        } else if (const std::size_t now = rest->rfind(", now "); now != std::string_view::npos) {
            takeConnectionName(rest->substr(now + 6), result);
        }
        return verb.kind;
    }
    return K::Other;
}

} // namespace paddock

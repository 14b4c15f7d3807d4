// SPDX-License-Identifier: MIT
#include "ProbeConnections.h"

#include "ConnectionLines.h"
#include "LogStamp.h"
#include "ServerLogLines.h"

#include <QHostAddress>

#include <optional>
#include <string>

namespace paddock {

namespace {

// Whether a connection came from this machine, by where the server says it came from: the
// address in brackets after a name ("localhost [127.0.0.1]"), else the host as logged
// ("127.0.0.1", "::ffff:127.0.0.1", or "localhost" when the server looks names up). A name
// that only begins with or holds such text ("127.0.0.1.example.net") is another machine.
bool isLoopback(std::string_view host)
{
    if (const std::size_t open = host.rfind(" [");
        open != std::string_view::npos && host.ends_with(']'))
        host = host.substr(open + 2, host.size() - open - 3);
    else if (host.starts_with('[') && host.ends_with(']'))
        host = host.substr(1, host.size() - 2);
    if (host == "localhost" || host.starts_with("localhost."))
        return true;
    QHostAddress address;
    return address.setAddress(QString::fromLatin1(host.data(), qsizetype(host.size()))) &&
           address.isLoopback();
}

} // namespace

void ProbeConnections::add(int serverPort, int localPort, const QDateTime &at)
{
    if (m_probes.size() == Remembered)
        m_probes.pop_front();
    m_probes.push_back({serverPort, localPort, at});
}

bool ProbeConnections::isProbeLine(std::string_view line) const
{
    if (m_probes.empty())
        return false;
    // Recognised as the run recognises the lines it hands to who counts the players.
    std::string scratch;
    const std::optional<RecognisedLine> noteworthy = recogniseNoteworthyLine(line, scratch);
    if (!noteworthy)
        return false;
    const ServerLogLine &recognised = noteworthy->line;
    if (!isServersConnectionLine(recognised) || !recognised.player.empty() ||
        recognised.object >= 0 || !isLoopback(recognised.host))
        return false;
    for (const Probe &probe : m_probes) {
        if (probe.localPort != recognised.remotePort || probe.serverPort != recognised.port)
            continue;
        if (recognised.stamp.empty())
            return true;
        // The server logs the connection within the probe's few seconds; a later connection
        // from the same port, hours on, is someone else's.
        const QDateTime stamped = stampTime(recognised.stamp, probe.at);
        if (stamped.isValid() && std::abs(stamped.secsTo(probe.at)) <= 60)
            return true;
    }
    return false;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "ProbeConnections.h"

#include "LogStamp.h"
#include "ServerLogLines.h"

#include <string>

namespace paddock {

namespace {

// "127.0.0.1", "localhost", "localhost [127.0.0.1]", "::1", "[::ffff:127.0.0.1]"...
bool isLoopback(std::string_view host)
{
    return host.substr(0, 9) == "localhost" || host.find("127.0.0.1") != std::string_view::npos ||
           host == "::1" || host.find("[::1]") != std::string_view::npos;
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
    std::string scratch;
    const ServerLogLine recognised = recogniseServerLogLine(withoutColours(line, scratch));
    if (!isConnectionKind(recognised.kind) || !recognised.player.empty() ||
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

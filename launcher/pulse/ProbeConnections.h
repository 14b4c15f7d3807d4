// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>

#include <deque>
#include <string_view>

namespace paddock {

/// Remembers the connections Paddock made to check that the world answers, so the lines the
/// server logs for them can be told from its players' own: a connection that never logged in,
/// from the loopback interface and the probe's own port, to the port probed, stamped (when
/// stamped) around the probe's time. Only the latest probes are remembered.
class ProbeConnections final {
public:
    /// The most probes remembered.
    static constexpr std::size_t Remembered = 64;

    /// A probe connected from localPort to serverPort at the local time at.
    void add(int serverPort, int localPort, const QDateTime &at);
    /// Whether line (as the server logged it, colours and all) is about one of the probes.
    bool isProbeLine(std::string_view line) const;

private:
    struct Probe {
        int serverPort;
        int localPort;
        QDateTime at;
    };
    std::deque<Probe> m_probes; // oldest first
};

} // namespace paddock

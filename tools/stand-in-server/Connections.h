// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <string>

namespace standin {

/// Writes one line of the log (without its line end); called from the answering thread too.
using Log = std::function<void(const std::string &)>;

/// Listens on the loopback interface at port (0: any free port) and logs it as a MOO server
/// does ("LISTEN: #0 now listening on port P"). A thread of its own then answers each
/// connection as a MOO server does: logs "ACCEPT", sends "*** Connected ***" at once, and logs
/// "CLIENT DISCONNECTED" when the client closes. After answerMs milliseconds (never when
/// negative) it stops answering, as a frozen server: the kernel still completes connections,
/// and no byte comes back. Returns the port, or 0 after logging why it could not listen.
int listenOnLoopback(int port, long answerMs, const Log &log);

/// The line a MOO server logs when the player name (#object) logs in from the loopback
/// interface on port, or out.
std::string playerLine(bool in, const std::string &name, long long object, int port);

} // namespace standin

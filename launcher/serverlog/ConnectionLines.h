// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLogLines.h"

#include <string_view>

namespace paddock {

/// Recognises a connection line's message (without stamp and mark): ACCEPT, CONNECTED,
/// CREATED, REDIRECTED, DISCONNECTED and CLIENT DISCONNECTED, in the shape its verb gives it.
/// Returns its kind and fills in result's player, object, host and ports; Other, with those
/// left empty, when text is no such line.
ServerLogKind recogniseConnectionLine(std::string_view text, ServerLogLine &result);

/// Whether line is a connection line the server logged itself. A line marked "> " is the
/// database's own (server_log), which wizard code can fill with anything, look-alikes
/// included: it tells nothing of who connected.
inline bool isServersConnectionLine(const ServerLogLine &line)
{
    return isConnectionKind(line.kind) && line.mark != ">";
}

} // namespace paddock

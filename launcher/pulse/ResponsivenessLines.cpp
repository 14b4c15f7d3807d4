// SPDX-License-Identifier: MIT
#include "ResponsivenessLines.h"

namespace paddock {

bool tellsResponsiveness(ServerLogKind kind)
{
    switch (kind) {
    case ServerLogKind::Loading:
    case ServerLogKind::Listening:
    case ServerLogKind::CheckpointStarted:
    case ServerLogKind::CheckpointFinished:
    case ServerLogKind::CheckpointAbandoned:
    case ServerLogKind::DumpStarted:
    case ServerLogKind::DumpFinished:
    case ServerLogKind::DumpRetrying:
    case ServerLogKind::Panic:
        return true;
    default:
        return false;
    }
}

} // namespace paddock

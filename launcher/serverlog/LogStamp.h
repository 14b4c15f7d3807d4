// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>

#include <string_view>

namespace paddock {

/// The local time a log line's stamp ("Jul  7 10:31:02", which has no year) names: the latest
/// such time no more than a day after reference, since a line is logged before it is read.
/// Invalid when stamp is not of that shape.
QDateTime stampTime(std::string_view stamp, const QDateTime &reference);

} // namespace paddock

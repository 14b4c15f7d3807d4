#pragma once

#include <QString>

namespace paddock {

/// Path of the server executable (a plain path despite the name).
inline const QString MOOExecutableURL = QStringLiteral("MOOExecutableURL");
/// Template of the output database name, with the tokens %T, %R and %@.
inline const QString MOONewDBNameFormat = QStringLiteral("MOONewDBNameFormat");
/// strftime format for the %T token.
inline const QString MOODateFormat = QStringLiteral("MOODateFormat");
/// The most recent output database name, suggested when choosing the next database.
inline const QString MOOLastDBName = QStringLiteral("MOOLastDBName");

inline constexpr const char *DefaultNewDBNameFormat = "%@.new";
inline constexpr const char *DefaultDateFormat = "%Y%m%d%H%M%S";

} // namespace paddock

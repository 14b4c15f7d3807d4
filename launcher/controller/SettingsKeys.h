// SPDX-License-Identifier: MIT
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

// Newer preferences: written only when the user changes them; an absent key means the
// default below, so a store that never saw them behaves as before they existed.

/// The server's log file, resolved against the database's folder like the output name;
/// empty means no log file.
inline const QString MOOLogFileName = QStringLiteral("MOOLogFileName");
/// How much of the log the window keeps in memory when there is no log file, in MiB.
inline const QString MOOScrollbackMiB = QStringLiteral("MOOScrollbackMiB");

/// Words given to the server before the two database names, split as a shell splits words
/// (quotes honoured, nothing expanded, no shell run); empty by default.
inline const QString MOOArgumentsBefore = QStringLiteral("MOOArgumentsBefore");
/// Words given to the server after the two database names; empty by default.
inline const QString MOOArgumentsAfter = QStringLiteral("MOOArgumentsAfter");
/// Whether a server that crashed is started again ("1" or "true"); off by default.
inline const QString MOORestartAfterCrash = QStringLiteral("MOORestartAfterCrash");
/// Whether, after a clean stop, the input database moves into archive/ and the output takes
/// its name ("1" or "true"); off by default, so output names stay as the template makes them.
inline const QString MOORotateDatabases = QStringLiteral("MOORotateDatabases");
/// How many archived databases of a world always stay (DefaultArchiveKeep).
inline const QString MOOArchiveKeep = QStringLiteral("MOOArchiveKeep");
/// Archived databases younger than this many days always stay (DefaultArchiveDays).
inline const QString MOOArchiveDays = QStringLiteral("MOOArchiveDays");
/// Whether each finished checkpoint is kept as a compressed snapshot in archive/ ("1" or
/// "true"); off by default.
inline const QString MOOSnapshotCheckpoints = QStringLiteral("MOOSnapshotCheckpoints");
/// How snapshots thin with age: all younger than these hours, the newest of each day for these
/// days, the newest of each week for these weeks (SnapshotRetention's defaults).
inline const QString MOOSnapshotHours = QStringLiteral("MOOSnapshotHours");
inline const QString MOOSnapshotDays = QStringLiteral("MOOSnapshotDays");
inline const QString MOOSnapshotWeeks = QStringLiteral("MOOSnapshotWeeks");
/// A second folder that receives each snapshot too (another disk, a share); empty for none.
inline const QString MOOOffsiteFolder = QStringLiteral("MOOOffsiteFolder");
/// How the off-site folder's snapshots thin with age, as the three above.
inline const QString MOOOffsiteHours = QStringLiteral("MOOOffsiteHours");
inline const QString MOOOffsiteDays = QStringLiteral("MOOOffsiteDays");
inline const QString MOOOffsiteWeeks = QStringLiteral("MOOOffsiteWeeks");
/// Whether Paddock checks that the world answers by connecting to it now and then ("1" or
/// "true"); off by default.
inline const QString MOOCheckAnswers = QStringLiteral("MOOCheckAnswers");
/// How often that check runs, in minutes (DefaultCheckAnswersMinutes; at least 1).
inline const QString MOOCheckAnswersMinutes = QStringLiteral("MOOCheckAnswersMinutes");
/// After how many minutes without a sign of life a running world reads as not responding
/// (DefaultNotRespondingMinutes; at least 1).
inline const QString MOONotRespondingMinutes = QStringLiteral("MOONotRespondingMinutes");

inline constexpr const char *DefaultLogFileName = "server.log";
inline constexpr long long DefaultScrollbackMiB = 256;
inline constexpr int DefaultCheckAnswersMinutes = 5;
inline constexpr int DefaultNotRespondingMinutes = 5;

inline constexpr const char *DefaultNewDBNameFormat = "%@.new";
inline constexpr const char *DefaultDateFormat = "%Y%m%d%H%M%S";

} // namespace paddock

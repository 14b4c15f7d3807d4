// SPDX-License-Identifier: MIT
#pragma once

#include "RunHistory.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <string>

namespace paddock {

/// What a file of a world is.
enum class WorldFileKind {
    Database,      ///< the world's database, or another one a recorded run started from
    Output,        ///< a database a run wrote as its output
    Archive,       ///< <name>.<YYYY-MM-DDTHHMMSS>[.zst]: a database as a run found it
    Panic,         ///< <name>.PANIC: what a crashing server dumped
    TemporaryDump, ///< <name>.#N#: a dump the server had not finished
    Snapshot,      ///< <name>.<YYYY-MM-DDTHHMMSS>[-N].snapshot[.zst]: a finished checkpoint kept
};

/// One database file of a world.
struct WorldFile {
    QString path;          ///< relative to the world's folder, as visiblePath shows it
    std::string localPath; ///< the full path in the operating system's bytes, exactly
    WorldFileKind kind = WorldFileKind::Database;
    QDateTime modified;
    qint64 size = 0;
    QString run; ///< the run that wrote it, or else read it, in words; empty when unknown
    bool newestComplete = false;
};

/// The database files of the world whose database is database (its full path in bytes): the
/// database, the outputs and the leftovers (.PANIC, .#N#) of names beside it or written by runs
/// recorded in runs that read or wrote in its folder, and its archive/ (only names Paddock
/// gives; snapshots there once compressed). Looks in no folder but the database's, its archive/ and those of recorded outputs.
/// Newest first. The newest Database, Output or Archive that is the world's database, that a
/// recorded run read or wrote, or that begins with a MOO database's header is marked
/// newestComplete; none is when no such file is listed.
QList<WorldFile> listWorldFiles(const std::string &database, const QList<RunRecord> &runs);

/// Whether the file at path begins as a MOO server's database does, with a line like
/// "** LambdaMOO Database, Format Version 4 **". Reads a few hundred bytes at most and never
/// through a link or from anything but a regular file.
bool hasDatabaseHeader(const std::string &path);

} // namespace paddock

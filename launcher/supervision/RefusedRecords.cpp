// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "PrivateFolder.h"
#include "ProcessInfo.h"
#include "ServerRecord.h"

#include <sys/stat.h>

namespace paddock {

namespace {

// Whether the process a record names may still be the server it recorded: a process with its
// PID exists and, when the record says when it started, started then. Only /proc is read.
bool mayStillRun(const ServerRecord &record)
{
    const std::optional<std::uint64_t> started = processStartTime(record.serverPid);
    return started && (record.serverStartTime == 0 || *started == record.serverStartTime);
}

// The same database, under the same name or under another name for the same file.
bool sameDatabase(const std::string &a, const std::string &b)
{
    if (a == b)
        return true;
    struct stat first = {}, second = {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace

QString MooController::refusedRecordText(const RefusedServerRecord &refused)
{
    const QString problem = QString::fromLocal8Bit(refused.problem);
    const QString path = QString::fromLocal8Bit(refused.path);
    if (!refused.untrusted)
        return tr("%1. Paddock does not act on it; if no server of yours runs from it, remove "
                  "\"%2\".")
            .arg(problem, path);
    const ServerRecord &record = *refused.untrusted;
    const QString database = QString::fromLocal8Bit(record.database);
    if (!mayStillRun(record))
        return tr("%1. Paddock does not act on it; the server it names (PID %2, database "
                  "\"%3\") is no longer running. Remove \"%4\".")
            .arg(problem)
            .arg(record.serverPid)
            .arg(database, path);
    return tr("%1. Paddock does not act on it; the server it names (PID %2, database \"%3\") "
              "may still be running, so Paddock will not start another server on that "
              "database. Check that server, and remove \"%4\" once it has ended.")
        .arg(problem)
        .arg(record.serverPid)
        .arg(database, path);
}

QString MooController::recordedServerRefusal(const std::string &db) const
{
    const std::string folder = serverRecordFolder();
    if (folder.empty())
        return {};
    // Read again at every Start: a record may have been fixed or removed since.
    for (const RefusedServerRecord &refused : readServerRecords(folder).refused)
        if (refused.untrusted && sameDatabase(refused.untrusted->database, db) &&
            mayStillRun(*refused.untrusted))
            return refusedRecordText(refused);
    return {};
}

} // namespace paddock

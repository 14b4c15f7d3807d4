// SPDX-License-Identifier: MIT
#include "SnapshotWork.h"

#include "ArchiveFiles.h"
#include "ArchiveRetention.h"
#include "DatabaseEnding.h"
#include "DiskSpace.h"
#include "HeldFolder.h"
#include "RotationJournal.h"
#include "String.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace paddock {

namespace {

using Entry = HeldFolder::Entry;

QString tr(const char *text)
{
    return QCoreApplication::translate("SnapshotWork", text);
}

QString shownTime(const std::string &name)
{
    const std::optional<SnapshotName> parsed = parseSnapshotName(name);
    return parsed ? QLocale().toString(parsed->time, QStringLiteral("d MMM HH:mm:ss")) : QString();
}

bool contains(const std::vector<std::string> &names, const std::string &name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Compresses the file open as fd into archive/<name>.zst: written as a part, verified against
// fd, then given its name without replacing anything there, and recorded as Paddock's.
void compressSnapshot(const HeldFolder &archive, int fd, const std::string &sourcePath,
                      const std::string &name)
{
    const std::string zst = name + ".zst", part = zst + ".part";
    archive.removeLeftover(part);
    compressFile(fd, sourcePath, {archive, part});
    if (!decompressesTo({archive, part}, fd, sourcePath)) {
        archive.remove(part);
        throw RotationError(tr("The compressed copy of “%1” does not match it.")
                                .arg(displayPath(sourcePath))
                                .toStdString());
    }
    if (const int error = archive.renameNoReplace(part, archive, zst)) {
        archive.remove(part);
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"), archive.pathOf(zst), error);
    }
    archive.sync();
    recordArchived(archive, zst);
}

// Snapshots an earlier Paddock linked and recorded but did not get to compress (those taken
// before before): finished now, or dropped when their checkpoint is not whole. Only names
// Paddock recorded are touched; later ones belong to snapshots waiting their turn.
void finishLeftovers(const HeldFolder &archive, const QDateTime &before)
{
    // Names keep whole seconds: a snapshot of the second before began is this Paddock's.
    const QDateTime second = before.addMSecs(-before.time().msec());
    for (const std::string &name : archivedByPaddock(archive)) {
        const std::optional<SnapshotName> parsed = parseSnapshotName(name);
        if (!parsed || parsed->compressed || parsed->time >= second ||
            name.find('/') != std::string::npos || archive.entry(name) != Entry::File)
            continue;
        if (archive.entry(name + ".zst") == Entry::Absent) {
            const UniqueFd file = archive.openForReading(name);
            if (fileEndsLikeDatabase(file.get()))
                compressSnapshot(archive, file.get(), archive.pathOf(name), name);
        }
        archive.remove(name);
    }
}

void copyOne(const HeldFolder &archive, const HeldFolder &offsite, const std::string &name)
{
    const std::string part = name + ".part";
    offsite.removeLeftover(part);
    copyFile({archive, name}, {offsite, part});
    if (const int error = offsite.renameNoReplace(part, offsite, name)) {
        offsite.remove(part);
        throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot write"), offsite.pathOf(name),
                       error);
    }
    offsite.sync();
    recordArchived(offsite, name);
}

// Copies every snapshot of archive the off-site folder lacks and its retention would keep,
// newest first, then thins it; returns why a copy failed, or nothing.
QString bringOffsiteUpToDate(const HeldFolder &archive, const SnapshotPlan &plan)
{
    // A relative name would depend on the folder Paddock was started in.
    if (!plan.offsite.starts_with('/'))
        return tr("“%1” is not a full path to a folder.").arg(displayPath(plan.offsite));
    QString problem;
    try {
        const HeldFolder offsite = HeldFolder::open(plan.offsite);
        const std::vector<std::string> local = recordedSnapshots(archive);
        const std::vector<std::string> there = recordedSnapshots(offsite);
        std::vector<std::string> all = there;
        for (const std::string &name : local)
            if (!contains(there, name))
                all.push_back(name);
        const std::vector<std::string> unwanted =
            snapshotsToRemove(all, plan.now, plan.offsiteRetention);
        for (auto name = local.rbegin(); name != local.rend(); ++name) {
            if (contains(there, *name) || contains(unwanted, *name))
                continue;
            try {
                copyOne(archive, offsite, *name);
            } catch (const RotationError &error) {
                if (problem.isEmpty())
                    problem = QString::fromStdString(error.what());
                // A full disk fails every copy after it the same way.
                if (error.error() == ENOSPC || error.error() == EDQUOT || error.error() == EFBIG)
                    break;
            }
        }
        const QStringList left = pruneSnapshots(offsite, plan.now, plan.offsiteRetention);
        if (problem.isEmpty() && !left.isEmpty())
            problem = left.join(QLatin1Char(' '));
    } catch (const RotationError &error) {
        problem = QString::fromStdString(error.what());
    }
    return problem;
}

} // namespace

HoldOutcome holdCheckpoint(const std::string &databasePath, const QDateTime &time)
{
    const std::string path = absolutePath(databasePath);
    HeldCheckpoint held;
    held.folder = folderOf(path);
    held.database = lastPathComponent(path);
    const QString shown = displayPath(held.database);
    try {
        const HeldFolder world = HeldFolder::open(held.folder);
        struct stat st;
        if (::fstatat(world.fd(), held.database.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot read"), path, errno);
        if (!S_ISREG(st.st_mode))
            return {std::nullopt, tr("No snapshot of “%1” was taken: it is a link or something "
                                     "other than a file, which Paddock does not follow.")
                                      .arg(shown)};
        const HeldFolder archive = world.subfolder(ArchiveFolderName, true);
        const qint64 free = archive.freeBytes();
        if (!snapshotFits(free, qint64(st.st_size))) {
            const QLocale locale;
            return {std::nullopt,
                    tr("No snapshot of “%1” was taken: it takes %2 and only %3 are free for "
                       "“archive/”, where twice its size must stay free for the server's next "
                       "dump.")
                        .arg(shown, locale.formattedDataSize(qint64(st.st_size)),
                             locale.formattedDataSize(free))};
        }
        for (int repeat = 1; repeat < 100; ++repeat) {
            held.name = snapshotFileName(held.database, time, repeat);
            // A name that is taken (by anything, a link too) is left alone: the next one.
            if (archive.entry(held.name) != Entry::Absent ||
                archive.entry(held.name + ".zst") != Entry::Absent)
                continue;
            // Relative to both folders' descriptors, and a link at the database's name is
            // linked as a link (then refused when read), never followed.
            if (::linkat(world.fd(), held.database.c_str(), archive.fd(), held.name.c_str(), 0) ==
                0) {
                held.linked = true;
                // Recorded at once (not waiting for the disk), so a link Paddock leaves behind
                // when it ends is known as its own and finished by the next snapshot there.
                try {
                    recordArchived(archive, held.name, false);
                } catch (const RotationError &) {
                    archive.remove(held.name);
                    throw;
                }
                return {held, {}};
            }
            if (errno == EEXIST)
                continue;
            // No link there (archive/ on another file system, or links refused): the file held
            // open keeps these bytes just as well, and the worker copies from it.
            held.file = std::make_shared<UniqueFd>(world.openForReading(held.database));
            return {held, {}};
        }
        return {std::nullopt,
                tr("No snapshot of “%1” was taken: every name for it in “archive/” is taken.")
                    .arg(shown)};
    } catch (const RotationError &error) {
        return {std::nullopt, tr("No snapshot of “%1” was taken: %2.")
                                  .arg(shown, QString::fromStdString(error.what()))};
    }
}

SnapshotResult finishSnapshot(const HeldCheckpoint &held, const SnapshotPlan &plan)
{
    SnapshotResult result;
    const QString when = shownTime(held.name);
    std::optional<HeldFolder> archive;
    try {
        archive = HeldFolder::open(held.folder).subfolder(ArchiveFolderName, false);
        try {
            finishLeftovers(*archive, plan.leftoversBefore);
        } catch (const RotationError &) {
            // A leftover that cannot be finished now stays for the next snapshot; it does not
            // cost this one.
        }
        UniqueFd link;
        if (held.linked)
            link = archive->openForReading(held.name);
        const int fd = held.linked ? link.get() : held.file->get();
        const std::string source =
            held.linked ? archive->pathOf(held.name) : held.folder + '/' + held.database;
        if (plan.beforeCompression)
            plan.beforeCompression();
        if (!fileEndsLikeDatabase(fd)) {
            result.text = tr("The checkpoint of %1 was not kept: “%2” does not end as a whole "
                             "database does.")
                              .arg(when, displayPath(held.database));
        } else {
            compressSnapshot(*archive, fd, source, held.name);
            result.kept = true;
            result.text = tr("The checkpoint of %1 is kept as “%2”.")
                              .arg(when, displayPath(ArchiveFolderName + '/' + held.name + ".zst"));
        }
        if (held.linked)
            archive->remove(held.name);
        const QStringList left = pruneSnapshots(*archive, plan.now, plan.retention);
        if (!left.isEmpty())
            result.text += QLatin1Char(' ') + left.join(QLatin1Char(' '));
    } catch (const std::exception &error) {
        // Nothing half-made stays: the link alone would hold a whole database's space. Only
        // when Paddock is ending does it stay, for the next snapshot there to finish.
        if (archive && held.linked && !archiveWorkCancelled())
            ::unlinkat(archive->fd(), held.name.c_str(), 0);
        result.kept = false;
        result.text = tr("The checkpoint of %1 was not kept: %2")
                          .arg(when, QString::fromStdString(error.what()));
    }
    if (archive && !plan.offsite.empty())
        result.offsiteProblem = bringOffsiteUpToDate(*archive, plan);
    return result;
}

} // namespace paddock

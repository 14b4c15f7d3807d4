// SPDX-License-Identifier: MIT
#include "DatabaseRotation.h"

#include "ArchiveFiles.h"
#include "ArchiveRetention.h"
#include "HeldFolder.h"
#include "RotationJournal.h"
#include "String.h"
#include "SystemError.h"

#include <QCoreApplication>
#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace paddock {

namespace {

using Entry = HeldFolder::Entry;

// The catalogue files these sentences under the class they are said in, or under the
// namespace outside any class: look under both.
QString tr(const char *text)
{
    const QString inClass = QCoreApplication::translate("paddock::DatabaseRotation", text);
    return inClass != QString::fromUtf8(text) ? inClass
                                              : QCoreApplication::translate("paddock", text);
}

[[noreturn]] void fail(const QString &what, int error)
{
    throw RotationError(what.toStdString() + ": " + errorText(error), error);
}

void callHook(const DatabaseRotation::StepHook &hook, RotationStep step)
{
    if (hook)
        hook(step);
}

// Whether name is a file in folder; anything but a file there (a link above all) was not left
// by a rotation, and stops it.
bool present(const HeldFolder &folder, const std::string &name)
{
    const Entry entry = folder.entry(name);
    if (entry == Entry::Other)
        throw RotationError("“" + folder.pathOf(name) +
                            "” is a link or something other than a file; Paddock leaves it alone.");
    return entry == Entry::File;
}

bool isFullDisk(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EFBIG;
}

QString fullDiskSentence(const std::string &archive, qint64 free)
{
    return tr("“%1” is kept uncompressed: the disk was full when Paddock compressed it, with %2 "
              "free. Paddock compresses it at a later start, once more space is free.")
        .arg(displayPath(ArchiveFolderName + '/' + archive),
             QLocale::system().formattedDataSize(std::max(free, qint64(0))));
}

// The sentence to stop with when the compression of archive failed for want of space and too
// little was freed since: clearly more than then (an eighth more, at least 1 MiB), so small
// changes in free space do not make Paddock fill the disk again for nothing.
QString compressionWaits(const HeldFolder &world, const HeldFolder &archiveFolder,
                         const std::string &archive)
{
    const std::optional<FullDisk> failed = fullDiskRecord(world);
    if (!failed || failed->archive != archive)
        return {};
    const qint64 free = archiveFolder.freeBytes();
    if (free > failed->free + std::max(failed->free / 8, qint64(1) << 20))
        return {};
    return fullDiskSentence(archive, failed->free);
}

} // namespace

DatabaseRotation::DatabaseRotation(const std::string &input, const std::string &output,
                                   const QDateTime &started)
    : m_input(absolutePath(input))
    , m_output(absolutePath(output))
{
    m_archive = folderOf(m_input) + '/' + ArchiveFolderName + '/' + lastPathComponent(m_input) +
                '.' +
                started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd'T'HHmmss")).toStdString();
}

DatabaseRotation::DatabaseRotation(std::string input, std::string output, std::string archive,
                                   bool inPlace)
    : m_input(std::move(input))
    , m_output(std::move(output))
    , m_archive(std::move(archive))
    , m_inPlace(inPlace)
{}

std::string DatabaseRotation::journalPath(const std::string &folder)
{
    return absolutePath(folder + '/' + JournalName);
}

namespace {

// The folder's journal as recover() would take it; none when the folder cannot be opened.
std::optional<JournalReading> journalIn(const std::string &folder)
{
    try {
        return readJournal(HeldFolder::open(absolutePath(folder)));
    } catch (const RotationError &) {
        return std::nullopt;
    }
}

} // namespace

bool DatabaseRotation::unfinishedIn(const std::string &folder)
{
    const std::optional<JournalReading> journal = journalIn(folder);
    return journal && journal->plan;
}

QString DatabaseRotation::journalRefusal(const std::string &folder)
{
    const std::optional<JournalReading> journal = journalIn(folder);
    return journal ? journal->refusal : QString();
}

bool DatabaseRotation::onlyCompressionLeftIn(const std::string &folder)
{
    const std::optional<JournalReading> journal = journalIn(folder);
    return journal && journal->plan && journal->plan->inPlace;
}

void DatabaseRotation::retryCompression(const std::string &folder)
{
    forgetFullDisk(HeldFolder::open(absolutePath(folder)));
}

void DatabaseRotation::run(const StepHook &hook, Until until) const
{
    if (m_input == m_output)
        throw RotationError(
            tr("The output database has the input's name; nothing to archive.").toStdString());
    // The journal names files of one folder only, and giving the output the world's name must
    // be a rename: a copy would leave the world without a database under its name meanwhile.
    if (folderOf(m_output) != folderOf(m_input))
        throw RotationError(tr("“%1” is not in the folder of “%2”; Paddock archives only an output "
                               "written beside its database.")
                                .arg(displayPath(m_output), displayPath(m_input))
                                .toStdString());
    const HeldFolder world = HeldFolder::open(folderOf(m_input));
    const RotationPlan plan{lastPathComponent(m_input), lastPathComponent(m_output),
                            lastPathComponent(m_archive)};
    // Check everything that can be checked before the journal exists, so a refusal leaves
    // nothing to recover.
    for (const std::string &name : {plan.input, plan.output})
        if (!present(world, name))
            fail(tr("Cannot archive “%1”").arg(displayPath(world.pathOf(name))), ENOENT);
    // One journal per folder: overwriting it would lose the record of an unfinished rotation.
    if (world.entry(JournalName) != Entry::Absent) {
        const QString refusal = readJournal(world).refusal;
        throw RotationError(!refusal.isEmpty()
                                ? refusal.toStdString()
                                : tr("An earlier archiving in “%1” is unfinished; it must be "
                                     "recovered first.")
                                      .arg(displayPath(world.path()))
                                      .toStdString());
    }
    const HeldFolder archive = world.subfolder(ArchiveFolderName, true);
    if (archive.entry(plan.archive) != Entry::Absent ||
        archive.entry(plan.archive + ".zst") != Entry::Absent)
        fail(tr("Cannot archive “%1”").arg(displayPath(m_input)), EEXIST);
    struct stat inputStat, outputStat;
    if (::fstatat(world.fd(), plan.input.c_str(), &inputStat, AT_SYMLINK_NOFOLLOW) != 0 ||
        ::fstatat(world.fd(), plan.output.c_str(), &outputStat, AT_SYMLINK_NOFOLLOW) != 0)
        fail(tr("Cannot archive “%1”").arg(displayPath(m_input)), errno);
    if (inputStat.st_dev != outputStat.st_dev)
        fail(tr("Cannot give “%1” the name “%2”").arg(displayPath(m_output), displayPath(m_input)),
             EXDEV);

    writeJournal(world, plan);
    callHook(hook, RotationStep::JournalWritten);
    if (const QString waits = continueFromFiles(world, archive, hook, until); !waits.isEmpty())
        throw RotationError(waits.toStdString(), ENOSPC);
}

// Every step is chosen from the files that exist, so a normal run and a recovery after a
// crash at any point take the same path. Returns why the compression waits, or nothing.
QString DatabaseRotation::continueFromFiles(const HeldFolder &world, const HeldFolder &archive,
                                            const StepHook &hook, Until until) const
{
    const std::string input = lastPathComponent(m_input), output = lastPathComponent(m_output);
    const std::string archived = lastPathComponent(m_archive), zst = archived + ".zst";
    const std::string zstPart = zst + ".part", copyPart = archived + ".part";
    bool inPlace = m_inPlace;
    for (;;) {
        // Once the world's database is back under its name, only the archive is looked at: a
        // new run may take the input's and the output's names at any moment.
        const bool in = inPlace || present(world, input);
        const bool out = !inPlace && present(world, output);
        const bool ar = present(archive, archived), z = present(archive, zst);
        if (!inPlace && in && !out && (ar || z)) {
            writeJournal(world, {input, output, archived, true}, true);
            inPlace = true;
        }
        if (until == Until::InPlace && in && !out)
            return {};
        if (in && out && !ar && !z) {
            const int error = world.renameNoReplace(input, archive, archived);
            if (error == EXDEV) {
                // The archive folder is another file system: copy under a temporary name, so
                // the archive's name only ever holds a whole copy; the next round verifies it.
                archive.removeLeftover(copyPart);
                copyFile({world, input}, {archive, copyPart});
                if (const int e = archive.renameNoReplace(copyPart, archive, archived))
                    fail(tr("Cannot archive “%1”").arg(displayPath(m_input)), e);
                archive.sync();
                continue;
            }
            if (error)
                fail(tr("Cannot archive “%1”").arg(displayPath(m_input)), error);
            archive.sync();
            world.sync();
            callHook(hook, RotationStep::InputArchived);
        } else if (in && out && ar && !z) {
            if (!sameBytes({world, input}, {archive, archived}))
                throw RotationError(tr("The archived copy of “%1” differs from it.")
                                        .arg(displayPath(world.pathOf(input)))
                                        .toStdString());
            world.remove(input);
            world.sync();
            callHook(hook, RotationStep::InputArchived);
        } else if (!in && out && (ar || z)) {
            if (const int e = world.renameNoReplace(output, world, input))
                fail(tr("Cannot rename “%1”").arg(displayPath(m_output)), e);
            world.sync();
            callHook(hook, RotationStep::OutputRenamed);
        } else if (in && !out && ar && !z) {
            if (const QString waits = compressionWaits(world, archive, archived); !waits.isEmpty())
                return waits;
            archive.removeLeftover(zstPart);
            try {
                compressFile({archive, archived}, {archive, zstPart});
            } catch (const RotationError &error) {
                if (!isFullDisk(error.error()))
                    throw;
                // The part is gone again; what is free now is what did not suffice. Should
                // even this record not fit, the next start tries once more.
                const qint64 free = archive.freeBytes();
                recordFullDisk(world, {archived, free});
                return fullDiskSentence(archived, free);
            }
            if (!decompressesTo({archive, zstPart}, {archive, archived})) {
                archive.remove(zstPart);
                throw RotationError(tr("The compressed copy of “%1” does not match it.")
                                        .arg(displayPath(archive.pathOf(archived)))
                                        .toStdString());
            }
            callHook(hook, RotationStep::CompressedWritten);
            if (const int e = archive.renameNoReplace(zstPart, archive, zst))
                fail(tr("Cannot rename “%1”").arg(displayPath(archive.pathOf(zstPart))), e);
            archive.sync();
            callHook(hook, RotationStep::CompressedInPlace);
        } else if (in && !out && ar && z) {
            // The compressed file only gets its name once verified; checking again costs one
            // read and guards against a disk that lost it since.
            if (!decompressesTo({archive, zst}, {archive, archived}))
                throw RotationError(tr("The compressed copy of “%1” does not match it.")
                                        .arg(displayPath(archive.pathOf(archived)))
                                        .toStdString());
            archive.remove(archived);
            archive.sync();
            callHook(hook, RotationStep::UncompressedGone);
        } else if (in && !out && !ar && z) {
            // Recorded before the journal goes, so a crash between them records it twice at
            // worst, never not at all.
            recordArchived(archive, zst);
            archive.removeLeftover(zstPart);
            forgetFullDisk(world);
            world.remove(JournalName);
            world.sync();
            return {};
        } else {
            throw RotationError(
                tr("The databases are not where an unfinished archiving left them.").toStdString());
        }
    }
}

QString DatabaseRotation::recover(const std::string &folder, const StepHook &hook, Until until)
{
    std::optional<HeldFolder> world;
    try {
        world = HeldFolder::open(absolutePath(folder));
    } catch (const RotationError &) {
        return {}; // no folder, no journal
    }
    const JournalReading journal = readJournal(*world);
    if (!journal.plan)
        return journal.refusal;
    const std::string input = world->pathOf(journal.plan->input);
    const std::string output = world->pathOf(journal.plan->output);
    const std::string archive = world->pathOf(ArchiveFolderName + '/' + journal.plan->archive);
    try {
        const HeldFolder archived = world->subfolder(ArchiveFolderName, true);
        return DatabaseRotation(input, output, archive, journal.plan->inPlace)
            .continueFromFiles(*world, archived, hook, until);
    } catch (const std::exception &e) {
        std::string newest;
        struct timespec newestTime = {};
        // With the world's database in place, the output's name may be a newer run's.
        const std::vector<std::string> candidates =
            journal.plan->inPlace
                ? std::vector<std::string>{input, archive, archive + ".zst"}
                : std::vector<std::string>{input, output, archive, archive + ".zst"};
        for (const std::string &candidate : candidates) {
            struct stat st;
            if (::stat(candidate.c_str(), &st) != 0)
                continue;
            const timespec &time = st.st_mtim;
            if (newest.empty() || time.tv_sec > newestTime.tv_sec ||
                (time.tv_sec == newestTime.tv_sec && time.tv_nsec > newestTime.tv_nsec)) {
                newest = candidate;
                newestTime = time;
            }
        }
        const QString reason = QString::fromStdString(e.what());
        if (newest.empty())
            return tr("Paddock could not finish archiving “%1” and finds none of its "
                      "databases (%2).")
                .arg(displayPath(input), reason);
        return tr("Paddock could not finish archiving “%1” (%2); the newest database "
                  "is “%3”.")
            .arg(displayPath(input), reason, displayPath(newest));
    }
}

} // namespace paddock

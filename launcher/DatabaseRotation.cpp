// SPDX-License-Identifier: MIT
#include "DatabaseRotation.h"

#include "ArchiveFiles.h"
#include "ArchiveRetention.h"
#include "String.h"
#include "SystemError.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace paddock {

namespace {

const QString JournalName = QStringLiteral(".paddock-rotation");

bool exists(const QString &path)
{
    struct stat st;
    return ::lstat(pathBytes(path).c_str(), &st) == 0;
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

[[noreturn]] void fail(const QString &what, int error)
{
    throw RotationError(what.toStdString() + ": " + errorText(error));
}

// Never replaces a file: a rename onto an existing name would destroy a database.
int renameNoReplace(const QString &from, const QString &to)
{
    if (::renameat2(AT_FDCWD, pathBytes(from).c_str(), AT_FDCWD, pathBytes(to).c_str(),
                    RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    if (exists(to))
        return EEXIST;
    return ::rename(pathBytes(from).c_str(), pathBytes(to).c_str()) == 0 ? 0 : errno;
}

void removeFile(const QString &path)
{
    if (::unlink(pathBytes(path).c_str()) != 0 && errno != ENOENT)
        fail(QStringLiteral("Cannot remove “%1”").arg(path), errno);
}

void callHook(const DatabaseRotation::StepHook &hook, RotationStep step)
{
    if (hook)
        hook(step);
}

QJsonObject readJournal(const QString &folder)
{
    QFile journal(DatabaseRotation::journalPath(folder));
    if (!journal.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(journal.read(1 << 16)).object();
}

void writeJournal(const QString &folder, const QJsonObject &plan)
{
    QSaveFile journal(DatabaseRotation::journalPath(folder));
    if (!journal.open(QIODevice::WriteOnly) || journal.write(QJsonDocument(plan).toJson()) < 0 ||
        !journal.commit())
        throw RotationError("Cannot write “" + pathBytes(journal.fileName()) +
                            "”: " + journal.errorString().toStdString());
    syncFolder(pathBytes(folder));
}

} // namespace

DatabaseRotation::DatabaseRotation(QString input, QString output, const QDateTime &started)
    : m_input(QFileInfo(input).absoluteFilePath())
    , m_output(QFileInfo(output).absoluteFilePath())
{
    m_archive = folderOf(m_input) + QStringLiteral("/archive/") + QFileInfo(m_input).fileName() +
                QLatin1Char('.') +
                started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd'T'HHmmss"));
}

DatabaseRotation::DatabaseRotation(QString input, QString output, QString archive, bool inPlace)
    : m_input(std::move(input))
    , m_output(std::move(output))
    , m_archive(std::move(archive))
    , m_inPlace(inPlace)
{}

QString DatabaseRotation::journalPath(const QString &folder)
{
    return QDir(folder).absoluteFilePath(JournalName);
}

bool DatabaseRotation::unfinishedIn(const QString &folder)
{
    return exists(journalPath(folder));
}

bool DatabaseRotation::onlyCompressionLeftIn(const QString &folder)
{
    return readJournal(folder).value(QStringLiteral("inPlace")).toBool();
}

void DatabaseRotation::run(const StepHook &hook, Until until) const
{
    if (m_input == m_output)
        throw RotationError("The output database has the input's name; nothing to archive.");
    // Check everything that can be checked before the journal exists, so a refusal leaves
    // nothing to recover.
    for (const QString &path : {m_input, m_output})
        if (!exists(path))
            fail(QStringLiteral("Cannot archive “%1”").arg(path), ENOENT);
    const QString zst = m_archive + QStringLiteral(".zst");
    if (exists(m_archive) || exists(zst))
        fail(QStringLiteral("Cannot archive “%1”").arg(m_input), EEXIST);
    // One journal per folder: overwriting it would lose the record of an unfinished rotation.
    if (exists(journalPath(folderOf(m_input))))
        throw RotationError("An earlier archiving in “" + pathBytes(folderOf(m_input)) +
                            "” is unfinished; it must be recovered first.");
    const QString archiveFolder = folderOf(m_archive);
    if (::mkdir(pathBytes(archiveFolder).c_str(), 0755) != 0 && errno != EEXIST)
        fail(QStringLiteral("Cannot create the folder “%1”").arg(archiveFolder), errno);
    struct stat inputStat, outputStat, archiveStat;
    if (::stat(pathBytes(archiveFolder).c_str(), &archiveStat) != 0)
        fail(QStringLiteral("Cannot use the folder “%1”").arg(archiveFolder), errno);
    if (!S_ISDIR(archiveStat.st_mode))
        fail(QStringLiteral("Cannot use the folder “%1”").arg(archiveFolder), ENOTDIR);
    // Giving the output the world's name must be a rename: a copy across file systems would
    // leave the world without a database under its name for as long as it takes.
    if (::stat(pathBytes(m_input).c_str(), &inputStat) != 0 ||
        ::stat(pathBytes(m_output).c_str(), &outputStat) != 0)
        fail(QStringLiteral("Cannot archive “%1”").arg(m_input), errno);
    if (inputStat.st_dev != outputStat.st_dev)
        fail(QStringLiteral("Cannot give “%1” the name “%2”").arg(m_output, m_input), EXDEV);

    writeJournal(folderOf(m_input), {{QStringLiteral("input"), m_input},
                                     {QStringLiteral("output"), m_output},
                                     {QStringLiteral("archive"), m_archive}});
    callHook(hook, RotationStep::JournalWritten);
    continueFromFiles(hook, until);
}

// Every step is chosen from the files that exist, so a normal run and a recovery after a
// crash at any point take the same path.
void DatabaseRotation::continueFromFiles(const StepHook &hook, Until until) const
{
    const QString zst = m_archive + QStringLiteral(".zst");
    const QString zstTemp = zst + QStringLiteral(".part");
    const std::string folder = pathBytes(folderOf(m_input));
    const std::string archiveFolder = pathBytes(folderOf(m_archive));
    bool inPlace = m_inPlace;
    for (;;) {
        // Once the world's database is back under its name, only the archive is looked at: a
        // new run may take the input's and the output's names at any moment.
        const bool in = inPlace || exists(m_input), out = !inPlace && exists(m_output);
        const bool ar = exists(m_archive), z = exists(zst);
        if (!inPlace && in && !out && (ar || z)) {
            writeJournal(folderOf(m_input), {{QStringLiteral("input"), m_input},
                                             {QStringLiteral("output"), m_output},
                                             {QStringLiteral("archive"), m_archive},
                                             {QStringLiteral("inPlace"), true}});
            inPlace = true;
        }
        if (until == Until::InPlace && in && !out)
            return;
        if (in && out && !ar && !z) {
            const int error = renameNoReplace(m_input, m_archive);
            if (error == EXDEV) {
                // The archive folder is another file system: copy under a temporary name, so
                // the archive's name only ever holds a whole copy; the next round verifies it.
                const QString part = m_archive + QStringLiteral(".part");
                copyFile(pathBytes(m_input), pathBytes(part));
                if (const int e = renameNoReplace(part, m_archive))
                    fail(QStringLiteral("Cannot archive “%1”").arg(m_input), e);
                syncFolder(archiveFolder);
                continue;
            }
            if (error)
                fail(QStringLiteral("Cannot archive “%1”").arg(m_input), error);
            syncFolder(archiveFolder);
            syncFolder(folder);
            callHook(hook, RotationStep::InputArchived);
        } else if (in && out && ar && !z) {
            if (!sameBytes(pathBytes(m_input), pathBytes(m_archive)))
                throw RotationError("The archived copy of “" + pathBytes(m_input) +
                                    "” differs from it.");
            removeFile(m_input);
            syncFolder(folder);
            callHook(hook, RotationStep::InputArchived);
        } else if (!in && out && (ar || z)) {
            if (const int e = renameNoReplace(m_output, m_input))
                fail(QStringLiteral("Cannot rename “%1”").arg(m_output), e);
            syncFolder(folder);
            callHook(hook, RotationStep::OutputRenamed);
        } else if (in && !out && ar && !z) {
            compressFile(pathBytes(m_archive), pathBytes(zstTemp));
            if (!decompressesTo(pathBytes(zstTemp), pathBytes(m_archive))) {
                removeFile(zstTemp);
                throw RotationError("The compressed copy of “" + pathBytes(m_archive) +
                                    "” does not match it.");
            }
            callHook(hook, RotationStep::CompressedWritten);
            if (const int e = renameNoReplace(zstTemp, zst))
                fail(QStringLiteral("Cannot rename “%1”").arg(zstTemp), e);
            syncFolder(archiveFolder);
            callHook(hook, RotationStep::CompressedInPlace);
        } else if (in && !out && ar && z) {
            // The compressed file only gets its name once verified; checking again costs one
            // read and guards against a disk that lost it since.
            if (!decompressesTo(pathBytes(zst), pathBytes(m_archive)))
                throw RotationError("The compressed copy of “" + pathBytes(m_archive) +
                                    "” does not match it.");
            removeFile(m_archive);
            syncFolder(archiveFolder);
            callHook(hook, RotationStep::UncompressedGone);
        } else if (in && !out && !ar && z) {
            // Recorded before the journal goes, so a crash between them records it twice at
            // worst, never not at all.
            recordArchived(folderOf(m_archive), QFileInfo(zst).fileName());
            removeFile(zstTemp);
            removeFile(journalPath(folderOf(m_input)));
            syncFolder(folder);
            return;
        } else {
            throw RotationError("The databases are not where an unfinished archiving left them.");
        }
    }
}

QString DatabaseRotation::recover(const QString &folder, const StepHook &hook, Until until)
{
    QFile journal(journalPath(folder));
    if (!journal.exists())
        return {};
    if (!journal.open(QIODevice::ReadOnly))
        return QStringLiteral("Paddock cannot read “%1”, left by an unfinished archiving: %2.")
            .arg(journal.fileName(), journal.errorString());
    const QJsonObject plan = QJsonDocument::fromJson(journal.readAll()).object();
    const QString input = plan.value(QStringLiteral("input")).toString();
    const QString output = plan.value(QStringLiteral("output")).toString();
    const QString archive = plan.value(QStringLiteral("archive")).toString();
    const bool inPlace = plan.value(QStringLiteral("inPlace")).toBool();
    if (input.isEmpty() || output.isEmpty() || archive.isEmpty())
        return QStringLiteral("Paddock cannot make sense of “%1”, left by an unfinished archiving; "
                              "check the databases in “%2”.")
            .arg(journal.fileName(), folder);
    try {
        DatabaseRotation(input, output, archive, inPlace).continueFromFiles(hook, until);
        return {};
    } catch (const std::exception &e) {
        QString newest;
        QDateTime newestTime;
        // With the world's database in place, the output's name may be a newer run's.
        const QStringList candidates =
            inPlace ? QStringList{input, archive, archive + QStringLiteral(".zst")}
                    : QStringList{input, output, archive, archive + QStringLiteral(".zst")};
        for (const QString &path : candidates) {
            const QFileInfo info(path);
            if (info.exists() && (newest.isEmpty() || info.lastModified() > newestTime)) {
                newest = path;
                newestTime = info.lastModified();
            }
        }
        const QString reason = QString::fromStdString(e.what());
        if (newest.isEmpty())
            return QStringLiteral("Paddock could not finish archiving “%1” and finds none of its "
                                  "databases (%2).")
                .arg(input, reason);
        return QStringLiteral("Paddock could not finish archiving “%1” (%2); the newest database "
                              "is “%3”.")
            .arg(input, reason, newest);
    }
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "ArchiveRetention.h"

#include "DatabaseRotation.h"
#include "DescriptorIo.h"
#include "String.h"

#include "SystemError.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

namespace paddock {

namespace {

struct Archive {
    QDateTime time;
    QStringList files; // the uncompressed and/or the compressed form
};

} // namespace

std::optional<ArchiveName> parseArchiveName(const QString &fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(.+)\\.(\\d{4}-\\d{2}-\\d{2}T\\d{6})(\\.zst)?$"));
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    const QDateTime time =
        QDateTime::fromString(m.captured(2), QStringLiteral("yyyy-MM-dd'T'HHmmss"));
    if (!time.isValid())
        return std::nullopt;
    return ArchiveName{m.captured(1), time, m.hasCaptured(3)};
}

QStringList archivesToRemove(const QStringList &fileNames, const QDateTime &now, int keep, int days)
{
    // Archives grouped by database name, then by run (the name without .zst).
    QHash<QString, QHash<QString, Archive>> worlds;
    for (const QString &name : fileNames) {
        const std::optional<ArchiveName> parsed = parseArchiveName(name);
        if (!parsed)
            continue;
        const QString run = parsed->compressed ? name.chopped(4) : name;
        Archive &archive = worlds[parsed->database][run];
        archive.time = parsed->time;
        archive.files.append(name);
    }

    const QDateTime cutoff = now.addDays(-std::max(days, 0));
    QStringList remove;
    for (const auto &runs : std::as_const(worlds)) {
        QList<Archive> archives = runs.values();
        std::sort(archives.begin(), archives.end(),
                  [](const Archive &a, const Archive &b) { return a.time > b.time; });
        // The newest archive is the only copy of the world before its last run: never removed.
        for (qsizetype i = std::max(keep, 1); i < archives.size(); ++i) {
            const Archive &archive = archives.at(i);
            if (archive.time >= cutoff || archive.files.size() > 1)
                continue;
            remove.append(archive.files);
        }
    }
    remove.sort();
    return remove;
}

namespace {

const std::string ManifestName = ".paddock-archived";

// The names of the regular files in folder.
QStringList fileNames(const HeldFolder &folder)
{
    QStringList names;
    const int fd = ::fcntl(folder.fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return names;
    DIR *dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return names;
    }
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && folder.entry(name) == HeldFolder::Entry::File)
            names.append(QFile::decodeName(QByteArray::fromStdString(name)));
    }
    ::closedir(dir);
    return names;
}

} // namespace

void recordArchived(const HeldFolder &folder, const QString &fileName)
{
    const UniqueFd manifest = folder.openForAppending(ManifestName);
    const QByteArray line = QFile::encodeName(fileName).toPercentEncoding() + '\n';
    if (!writeAll(manifest.get(), std::string_view(line.constData(), size_t(line.size()))) ||
        ::fsync(manifest.get()) != 0) {
        const int error = errno;
        throw RotationError(QCoreApplication::translate("ArchiveRetention", "Cannot write “%1”: %2")
                                .arg(displayPath(folder.pathOf(ManifestName)),
                                     QString::fromStdString(errorText(error)))
                                .toStdString(),
                            error);
    }
}

QStringList archivedByPaddock(const HeldFolder &folder)
{
    QStringList names;
    QFile manifest;
    try {
        if (!manifest.open(folder.openForReading(ManifestName).release(), QIODevice::ReadOnly,
                           QFileDevice::AutoCloseHandle))
            return names;
    } catch (const RotationError &) {
        return names; // none, or not a list Paddock could have written: nothing is pruned
    }
    while (!manifest.atEnd()) {
        const QByteArray line = manifest.readLine().trimmed();
        if (!line.isEmpty())
            names.append(QFile::decodeName(QByteArray::fromPercentEncoding(line)));
    }
    return names;
}

QStringList pruneArchive(const QString &folder, const QDateTime &now, int keep, int days)
{
    const std::string path = pathBytes(folder);
    std::optional<HeldFolder> archive;
    try {
        // The archive folder itself must not be a link: what is pruned stays inside the world.
        archive = HeldFolder::open(deletingLastPathComponent(path))
                      .subfolder(lastPathComponent(path), false);
    } catch (const RotationError &error) {
        if (error.error() == ENOENT)
            return {};
        return {QString::fromStdString(error.what()) + QLatin1Char('.')};
    }
    QStringList failures;
    // Only what Paddock archived itself is ever removed: a file someone put there under a
    // name of the same form stays.
    const QStringList archived = archivedByPaddock(*archive);
    QStringList names = fileNames(*archive);
    names.removeIf([&archived](const QString &name) { return !archived.contains(name); });
    for (const QString &name : archivesToRemove(names, now, keep, days)) {
        try {
            archive->remove(pathBytes(name));
        } catch (const RotationError &error) {
            failures.append(QCoreApplication::translate("ArchiveRetention",
                                                        "Cannot remove the archived database "
                                                        "“%1”: %2.")
                                .arg(QString::fromStdString(archive->pathOf(pathBytes(name))),
                                     QString::fromStdString(errorText(error.error()))));
        }
    }
    return failures;
}

} // namespace paddock

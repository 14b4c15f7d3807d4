// SPDX-License-Identifier: MIT
#include "ArchiveRetention.h"

#include "DatabaseRotation.h"
#include "String.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
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

const QString ManifestName = QStringLiteral(".paddock-archived");

} // namespace

void recordArchived(const QString &folder, const QString &fileName)
{
    QFile manifest(QDir(folder).filePath(ManifestName));
    if (!manifest.open(QIODevice::Append))
        throw RotationError("Cannot write “" + pathBytes(manifest.fileName()) +
                            "”: " + manifest.errorString().toStdString());
    const QByteArray line = QFile::encodeName(fileName).toPercentEncoding() + '\n';
    if (manifest.write(line) != line.size() || !manifest.flush() || ::fsync(manifest.handle()) != 0)
        throw RotationError("Cannot write “" + pathBytes(manifest.fileName()) +
                            "”: " + manifest.errorString().toStdString());
}

QStringList archivedByPaddock(const QString &folder)
{
    QStringList names;
    QFile manifest(QDir(folder).filePath(ManifestName));
    if (!manifest.open(QIODevice::ReadOnly))
        return names;
    while (!manifest.atEnd()) {
        const QByteArray line = manifest.readLine().trimmed();
        if (!line.isEmpty())
            names.append(QFile::decodeName(QByteArray::fromPercentEncoding(line)));
    }
    return names;
}

QStringList pruneArchive(const QString &folder, const QDateTime &now, int keep, int days)
{
    const QDir dir(folder);
    QStringList failures;
    // Only what Paddock archived itself is ever removed: a file someone put there under a
    // name of the same form stays.
    const QStringList archived = archivedByPaddock(folder);
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeIf([&archived](const QString &name) { return !archived.contains(name); });
    for (const QString &name : archivesToRemove(names, now, keep, days)) {
        QFile file(dir.filePath(name));
        if (!file.remove())
            failures.append(QStringLiteral("Cannot remove the archived database “%1”: %2.")
                                .arg(file.fileName(), file.errorString()));
    }
    return failures;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "ArchiveRetention.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>

namespace paddock {

namespace {

struct Archive {
    QDateTime time;
    QStringList files; // the uncompressed and/or the compressed form
};

} // namespace

QStringList archivesToRemove(const QStringList &fileNames, const QDateTime &now, int keep, int days)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(.+)\\.(\\d{4}-\\d{2}-\\d{2}T\\d{6})(\\.zst)?$"));
    // Archives grouped by database name, then by run time.
    QHash<QString, QHash<QString, Archive>> worlds;
    for (const QString &name : fileNames) {
        const QRegularExpressionMatch m = pattern.match(name);
        if (!m.hasMatch())
            continue;
        const QDateTime time =
            QDateTime::fromString(m.captured(2), QStringLiteral("yyyy-MM-dd'T'HHmmss"));
        if (!time.isValid())
            continue;
        Archive &archive = worlds[m.captured(1)][m.captured(2)];
        archive.time = time;
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

QStringList pruneArchive(const QString &folder, const QDateTime &now, int keep, int days)
{
    const QDir dir(folder);
    QStringList failures;
    const QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : archivesToRemove(names, now, keep, days)) {
        QFile file(dir.filePath(name));
        if (!file.remove())
            failures.append(QStringLiteral("Cannot remove the archived database “%1”: %2.")
                                .arg(file.fileName(), file.errorString()));
    }
    return failures;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "ArchiveRetention.h"

#include "DescriptorIo.h"
#include "RotationError.h"
#include "String.h"

#include "SystemError.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace paddock {

namespace {

struct Archive {
    QDateTime time;
    std::vector<std::string> files; // the uncompressed and/or the compressed form
};

} // namespace

std::optional<ArchiveName> parseArchiveName(std::string_view fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{6}$"));
    constexpr size_t StampSize = 17; // YYYY-MM-DDTHHMMSS
    ArchiveName parsed;
    parsed.compressed = fileName.ends_with(".zst");
    if (parsed.compressed)
        fileName.remove_suffix(4);
    if (fileName.size() < StampSize + 2 || fileName[fileName.size() - StampSize - 1] != '.')
        return std::nullopt;
    const QString stamp = QString::fromLatin1(
        QByteArrayView(fileName.data() + fileName.size() - StampSize, qsizetype(StampSize)));
    if (!pattern.match(stamp).hasMatch())
        return std::nullopt;
    parsed.time = QDateTime::fromString(stamp, QStringLiteral("yyyy-MM-dd'T'HHmmss"));
    if (!parsed.time.isValid())
        return std::nullopt;
    parsed.database = std::string(fileName.substr(0, fileName.size() - StampSize - 1));
    return parsed;
}

std::vector<std::string> archivesToRemove(const std::vector<std::string> &fileNames,
                                          const QDateTime &now, int keep, int days)
{
    // Archives grouped by database name, then by run (the name without .zst).
    std::map<std::string, std::map<std::string, Archive>> worlds;
    for (const std::string &name : fileNames) {
        const std::optional<ArchiveName> parsed = parseArchiveName(name);
        if (!parsed)
            continue;
        const std::string run = parsed->compressed ? name.substr(0, name.size() - 4) : name;
        Archive &archive = worlds[parsed->database][run];
        archive.time = parsed->time;
        archive.files.push_back(name);
    }

    const QDateTime cutoff = now.addDays(-std::max(days, 0));
    std::vector<std::string> remove;
    for (const auto &[database, runs] : worlds) {
        std::vector<Archive> archives;
        for (const auto &[run, archive] : runs)
            archives.push_back(archive);
        std::sort(archives.begin(), archives.end(),
                  [](const Archive &a, const Archive &b) { return a.time > b.time; });
        // The newest archive is the only copy of the world before its last run: never removed.
        for (size_t i = size_t(std::max(keep, 1)); i < archives.size(); ++i) {
            const Archive &archive = archives.at(i);
            if (archive.time >= cutoff || archive.files.size() > 1)
                continue;
            remove.insert(remove.end(), archive.files.begin(), archive.files.end());
        }
    }
    std::sort(remove.begin(), remove.end());
    return remove;
}

namespace {

const std::string ManifestName = ".paddock-archived";

// The names of the regular files in folder.
std::vector<std::string> fileNames(const HeldFolder &folder)
{
    std::vector<std::string> names;
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
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

[[noreturn]] void throwListError(const HeldFolder &folder, int error)
{
    throw RotationError(
        QCoreApplication::translate("ArchiveRetention", "Cannot write “%1”: %2")
            .arg(displayPath(folder.pathOf(ManifestName)), QString::fromStdString(errorText(error)))
            .toStdString(),
        error);
}

// Holds the list open as manifest for this process alone, and tells whether it is still the
// one under its name: a tidying may have replaced it while the lock was awaited. The lock goes
// with the descriptor.
bool lockList(const HeldFolder &folder, const UniqueFd &manifest)
{
    if (retryOnInterrupt([&] { return ::flock(manifest.get(), LOCK_EX); }) != 0)
        throwListError(folder, errno);
    struct stat held = {}, named = {};
    return ::fstat(manifest.get(), &held) == 0 &&
           ::fstatat(folder.fd(), ManifestName.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace

void recordArchived(const HeldFolder &folder, const std::string &fileName, bool durable)
{
    const QByteArray line = QByteArray::fromStdString(fileName).toPercentEncoding() + '\n';
    for (;;) {
        const UniqueFd manifest = folder.openForAppending(ManifestName);
        if (!lockList(folder, manifest))
            continue; // replaced by a tidier list meanwhile: add to that one
        if (!writeAll(manifest.get(), std::string_view(line.constData(), size_t(line.size()))) ||
            (durable && ::fsync(manifest.get()) != 0))
            throwListError(folder, errno);
        return;
    }
}

void forgetArchivesGone(const HeldFolder &folder)
{
    UniqueFd manifest;
    try {
        manifest = folder.openForReading(ManifestName);
    } catch (const RotationError &) {
        return; // none, or not a list Paddock could have written: left as it is
    }
    std::string text;
    if (!lockList(folder, manifest) || readAll(manifest.get(), text) != 0)
        return; // replaced meanwhile, or unreadable: the next pruning looks again
    std::vector<std::string> kept;
    std::string rewritten;
    qsizetype listed = 0;
    for (const QByteArray &line : QByteArray::fromStdString(text).split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        ++listed;
        const std::string name = QByteArray::fromPercentEncoding(line.trimmed()).toStdString();
        // A name with a slash was not written by Paddock, and would lead out of the folder.
        if (name.find('/') != std::string::npos || folder.entry(name) != HeldFolder::Entry::File ||
            std::find(kept.begin(), kept.end(), name) != kept.end())
            continue;
        kept.push_back(name);
        rewritten += QByteArray::fromStdString(name).toPercentEncoding().toStdString() + '\n';
    }
    if (qsizetype(kept.size()) == listed)
        return;
    // Written whole beside the list, then renamed over it: a crash leaves one list or the other.
    const std::string part = ManifestName + ".part";
    folder.removeLeftover(part);
    folder.writeNewFile(part, rewritten);
    if (::renameat(folder.fd(), part.c_str(), folder.fd(), ManifestName.c_str()) != 0) {
        const int error = errno;
        folder.remove(part);
        throwListError(folder, error);
    }
    folder.sync();
}

std::vector<std::string> archivedByPaddock(const HeldFolder &folder)
{
    std::vector<std::string> names;
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
            names.push_back(QByteArray::fromPercentEncoding(line).toStdString());
    }
    return names;
}

QStringList pruneArchive(const std::string &folder, const QDateTime &now, int keep, int days)
{
    const std::string path = absolutePath(folder);
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
    const std::vector<std::string> archived = archivedByPaddock(*archive);
    std::vector<std::string> names = fileNames(*archive);
    std::erase_if(names, [&archived](const std::string &name) {
        return std::find(archived.begin(), archived.end(), name) == archived.end();
    });
    for (const std::string &name : archivesToRemove(names, now, keep, days)) {
        try {
            archive->remove(name);
        } catch (const RotationError &error) {
            failures.append(QCoreApplication::translate("ArchiveRetention",
                                                        "Cannot remove the archived database "
                                                        "“%1”: %2.")
                                .arg(displayPath(archive->pathOf(name)),
                                     QString::fromStdString(errorText(error.error()))));
        }
    }
    try {
        forgetArchivesGone(*archive);
    } catch (const RotationError &error) {
        failures.append(QString::fromStdString(error.what()) + QLatin1Char('.'));
    }
    return failures;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "DiskSpace.h"

#include "DescriptorIo.h"
#include "String.h"

#include <QLocale>

#include <cerrno>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace paddock {

QString diskSpaceWarning(const std::string &path, qint64 freeBytes, qint64 databaseBytes)
{
    if (databaseBytes <= 0 || freeBytes / 2 >= databaseBytes)
        return {};
    const QLocale locale;
    return QStringLiteral("Only %1 free beside “%2”, which takes %3: the next dump may fail.")
        .arg(locale.formattedDataSize(freeBytes), displayPath(lastPathComponent(path)),
             locale.formattedDataSize(databaseBytes));
}

bool snapshotFits(qint64 freeBytes, qint64 databaseBytes)
{
    return freeBytes < 0 || freeBytes - databaseBytes >= 2 * databaseBytes;
}

QString diskSpaceWarning(const std::string &path)
{
    const std::string folder = folderOf(path);
    struct stat st;
    struct statvfs fs;
    const int rc = retryOnInterrupt([&] { return ::statvfs(folder.c_str(), &fs); });
    if (rc != 0 || ::stat(path.c_str(), &st) != 0)
        return {};
    return diskSpaceWarning(path, qint64(fs.f_bavail) * qint64(fs.f_frsize), qint64(st.st_size));
}

} // namespace paddock

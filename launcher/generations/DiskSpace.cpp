// SPDX-License-Identifier: MIT
#include "DiskSpace.h"

#include "DescriptorIo.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace paddock {

QString diskSpaceWarning(const QString &database, qint64 freeBytes, qint64 databaseBytes)
{
    if (databaseBytes <= 0 || freeBytes / 2 >= databaseBytes)
        return {};
    const QLocale locale;
    return QStringLiteral("Only %1 free beside “%2”, which takes %3: the next dump may fail.")
        .arg(locale.formattedDataSize(freeBytes), QFileInfo(database).fileName(),
             locale.formattedDataSize(databaseBytes));
}

QString diskSpaceWarning(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    struct stat st;
    struct statvfs fs;
    const int rc = retryOnInterrupt([&] { return ::statvfs(folder.constData(), &fs); });
    if (rc != 0 || ::stat(local.constData(), &st) != 0)
        return {};
    return diskSpaceWarning(path, qint64(fs.f_bavail) * qint64(fs.f_frsize), qint64(st.st_size));
}

} // namespace paddock

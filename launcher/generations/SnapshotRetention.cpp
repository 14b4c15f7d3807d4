// SPDX-License-Identifier: MIT
#include "SnapshotRetention.h"

#include "ArchiveRetention.h"
#include "String.h"
#include "SystemError.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace paddock {

namespace {

constexpr std::string_view Suffix = ".snapshot";
const QString StampFormat = QStringLiteral("yyyy-MM-dd'T'HHmmss");

} // namespace

std::string snapshotFileName(const std::string &database, const QDateTime &time, int repeat)
{
    std::string name = database + '.' + time.toLocalTime().toString(StampFormat).toStdString();
    if (repeat > 1)
        name += '-' + std::to_string(repeat);
    return name + std::string(Suffix);
}

std::optional<SnapshotName> parseSnapshotName(std::string_view fileName)
{
    static const QRegularExpression pattern(
        QStringLiteral("\\.(\\d{4}-\\d{2}-\\d{2}T\\d{6})(?:-([2-9]|[1-9]\\d{1,2}))?$"));
    SnapshotName parsed;
    parsed.compressed = fileName.ends_with(".zst");
    if (parsed.compressed)
        fileName.remove_suffix(4);
    if (!fileName.ends_with(Suffix))
        return std::nullopt;
    fileName.remove_suffix(Suffix.size());
    // Latin-1 keeps each byte one character, so the database's part keeps its bytes.
    const QString text = QString::fromLatin1(fileName.data(), qsizetype(fileName.size()));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch() || match.capturedStart() < 1)
        return std::nullopt;
    parsed.time = QDateTime::fromString(match.captured(1), StampFormat);
    if (!parsed.time.isValid())
        return std::nullopt;
    parsed.repeat = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
    parsed.database = std::string(fileName.substr(0, size_t(match.capturedStart())));
    return parsed;
}

std::vector<std::string> snapshotsToRemove(const std::vector<std::string> &fileNames,
                                           const QDateTime &now, const SnapshotRetention &retention)
{
    struct Snapshot {
        SnapshotName parts;
        std::string file;
    };
    std::map<std::string, std::vector<Snapshot>> worlds;
    for (const std::string &name : fileNames)
        if (const auto parsed = parseSnapshotName(name); parsed && parsed->compressed)
            worlds[parsed->database].push_back({*parsed, name});

    const QDateTime hourly = now.addSecs(-3600LL * std::max(retention.hours, 0));
    const QDateTime daily = now.addDays(-std::max(retention.days, 0));
    const QDateTime weekly = now.addDays(-7LL * std::max(retention.weeks, 0));
    std::vector<std::string> remove;
    for (auto &[database, snapshots] : worlds) {
        std::sort(snapshots.begin(), snapshots.end(), [](const Snapshot &a, const Snapshot &b) {
            return std::pair(a.parts.time, a.parts.repeat) >
                   std::pair(b.parts.time, b.parts.repeat);
        });
        // Newest first, so the first of each day or week seen is the one that stays for it;
        // a newer snapshot never falls into an older one's day, so what stays keeps staying.
        std::set<QDate> days;
        std::set<std::pair<int, int>> weeks;
        for (size_t i = 0; i < snapshots.size(); ++i) {
            const QDateTime &time = snapshots[i].parts.time;
            const QDate day = time.date();
            int weekYear = 0;
            const int week = day.weekNumber(&weekYear);
            const bool newestOfDay = days.insert(day).second;
            const bool newestOfWeek = weeks.insert({weekYear, week}).second;
            const bool kept = i == 0 || time >= hourly || (newestOfDay && time >= daily) ||
                              (newestOfWeek && time >= weekly);
            if (!kept)
                remove.push_back(snapshots[i].file);
        }
    }
    std::sort(remove.begin(), remove.end());
    return remove;
}

std::vector<std::string> recordedSnapshots(const HeldFolder &folder)
{
    std::vector<std::string> names;
    for (const std::string &name : archivedByPaddock(folder)) {
        const auto parsed = parseSnapshotName(name);
        // A name with a slash was not written by Paddock, and would lead out of the folder.
        if (parsed && parsed->compressed && name.find('/') == std::string::npos &&
            folder.entry(name) == HeldFolder::Entry::File &&
            std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

QStringList pruneSnapshots(const HeldFolder &folder, const QDateTime &now,
                           const SnapshotRetention &retention)
{
    QStringList failures;
    // Only what Paddock recorded making is ever removed: a file someone put there stays.
    for (const std::string &name : snapshotsToRemove(recordedSnapshots(folder), now, retention)) {
        try {
            folder.remove(name);
        } catch (const RotationError &error) {
            failures.append(QCoreApplication::translate("SnapshotRetention",
                                                        "Cannot remove the snapshot “%1”: %2.")
                                .arg(displayPath(folder.pathOf(name)),
                                     QString::fromStdString(errorText(error.error()))));
        }
    }
    try {
        forgetArchivesGone(folder);
    } catch (const RotationError &error) {
        failures.append(QString::fromStdString(error.what()) + QLatin1Char('.'));
    }
    return failures;
}

} // namespace paddock

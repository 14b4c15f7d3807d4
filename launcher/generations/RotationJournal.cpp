// SPDX-License-Identifier: MIT
#include "RotationJournal.h"

#include "RotationError.h"
#include "String.h"
#include "SystemError.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstdio>
#include <variant>
#include <vector>

namespace paddock {

namespace {

const std::string JournalTemporaryName = JournalName + ".part";
const std::string FullDiskName = JournalName + "-full";
constexpr qint64 MostJournalBytes = 64 * 1024;

// The catalogue files tr() outside any class under the namespace.
QString tr(const char *text)
{
    return QCoreApplication::translate("paddock", text);
}

QString shown(const std::string &path)
{
    return displayPath(path);
}

// The whole of the regular file name in folder, at most limit bytes; none when it is absent.
// Throws RotationError when it cannot be read or is a link.
std::optional<QByteArray> readSmallFile(const HeldFolder &folder, const std::string &name,
                                        qint64 limit)
{
    QFile file;
    try {
        file.open(folder.openForReading(name).release(), QIODevice::ReadOnly,
                  QFileDevice::AutoCloseHandle);
    } catch (const RotationError &error) {
        if (error.error() == ENOENT)
            return std::nullopt;
        throw;
    }
    return file.read(limit);
}

// Names are written percent-encoded, marked so, so every byte of a name that is not UTF-8
// survives the JSON text; an earlier Paddock wrote them as plain text, without the mark.
const QString NamesKey = QStringLiteral("names");
const QString PercentEncoded = QStringLiteral("percent-encoded");

QJsonValue encodedName(const std::string &bytes)
{
    return QString::fromLatin1(QByteArray::fromStdString(bytes).toPercentEncoding());
}

std::string decodedName(const QJsonObject &json, const char *key)
{
    const QString text = json.value(QLatin1String(key)).toString();
    if (json.value(NamesKey).toString() == PercentEncoded)
        return QByteArray::fromPercentEncoding(text.toLatin1()).toStdString();
    return text.toUtf8().toStdString();
}

std::vector<std::string> components(const std::string &path, bool skipEmpty)
{
    std::vector<std::string> parts;
    for (size_t at = 0;;) {
        const size_t slash = path.find('/', at);
        std::string part = path.substr(at, slash == std::string::npos ? slash : slash - at);
        if (!skipEmpty || !part.empty())
            parts.push_back(std::move(part));
        if (slash == std::string::npos)
            return parts;
        at = slash + 1;
    }
}

// The plain name entry gives in the folder at folderPath, or in its archive/ when inArchive;
// none when it names anything else. An earlier Paddock wrote absolute paths: they are taken
// when they lead, component by component, to the same place.
std::optional<std::string> nameIn(const std::string &entry, const std::string &folderPath,
                                  bool inArchive)
{
    std::vector<std::string> parts = components(entry, false);
    std::vector<std::string> expected;
    if (entry.starts_with('/')) {
        expected = components(absolutePath(folderPath), true);
        parts.erase(parts.begin());
    }
    if (inArchive)
        expected.push_back(ArchiveFolderName);
    const std::string name = parts.back();
    parts.pop_back();
    // Paddock's own files are never a database's name.
    if (parts != expected || name.empty() || name == "." || name == ".." ||
        name.find('\0') != std::string::npos || name.starts_with(".paddock-"))
        return std::nullopt;
    return name;
}

// Why a name of the plan may not be used: a link or anything but a regular file is there.
QString refusedEntry(const HeldFolder &folder, const std::string &name)
{
    if (folder.entry(name) != HeldFolder::Entry::Other)
        return {};
    return tr("“%1” is a link or something other than a file").arg(shown(folder.pathOf(name)));
}

// Reads the plan, or says why Paddock will not act on it.
std::variant<RotationPlan, QString> planOf(const HeldFolder &folder)
{
    std::optional<QByteArray> bytes;
    try {
        bytes = readSmallFile(folder, JournalName, MostJournalBytes + 1);
    } catch (const RotationError &error) {
        return error.error() == ELOOP
                   ? tr("it is a link")
                   : tr("it cannot be read (%1)").arg(QString::fromStdString(error.what()));
    }
    if (!bytes)
        return QString();
    const QJsonObject json = QJsonDocument::fromJson(*bytes).object();
    const auto name = [&](const char *key, bool inArchive) {
        return nameIn(decodedName(json, key), folder.path(), inArchive);
    };
    const std::optional<std::string> input = name("input", false), output = name("output", false),
                                     archive = name("archive", true);
    if (json.isEmpty() || bytes->size() > MostJournalBytes)
        return tr("Paddock cannot make sense of it");
    for (const auto &[entry, key] :
         {std::pair(&input, "input"), std::pair(&output, "output"), std::pair(&archive, "archive")})
        if (!*entry)
            return tr("it names “%1”, which is not a file in that folder or in its archive folder")
                .arg(shown(decodedName(json, key)));
    if (*input == *output)
        return tr("Paddock cannot make sense of it");
    return RotationPlan{*input, *output, *archive,
                        json.value(QStringLiteral("inPlace")).toBool()};
}

} // namespace

void writeJournal(const HeldFolder &folder, const RotationPlan &plan, bool replacing)
{
    QJsonObject json{
        {QStringLiteral("input"), encodedName(plan.input)},
        {QStringLiteral("output"), encodedName(plan.output)},
        {QStringLiteral("archive"), encodedName(ArchiveFolderName + '/' + plan.archive)},
        {NamesKey, PercentEncoded}};
    if (plan.inPlace)
        json.insert(QStringLiteral("inPlace"), true);
    const QByteArray bytes = QJsonDocument(json).toJson();
    folder.removeLeftover(JournalTemporaryName);
    folder.writeNewFile(JournalTemporaryName, bytes.toStdString());
    // Replacing renames over the name itself, never through a link there.
    const int error =
        replacing ? (::renameat(folder.fd(), JournalTemporaryName.c_str(), folder.fd(),
                                JournalName.c_str()) == 0
                         ? 0
                         : errno)
                  : folder.renameNoReplace(JournalTemporaryName, folder, JournalName);
    if (error) {
        folder.remove(JournalTemporaryName);
        throw RotationError(
            "Cannot write “" + folder.pathOf(JournalName) + "”: " +
                (error == EEXIST ? std::string("an earlier one is there") : errorText(error)),
            error);
    }
    folder.sync();
}

JournalReading readJournal(const HeldFolder &folder)
{
    const auto refused = [&folder](const QString &reason) {
        return JournalReading{
            std::nullopt,
            tr("Paddock will not act on “%1”, found in the world's folder: %2. Nothing was "
               "moved; remove that file to archive this world again.")
                .arg(shown(folder.pathOf(JournalName)), reason)};
    };
    std::variant<RotationPlan, QString> read = planOf(folder);
    if (const QString *reason = std::get_if<QString>(&read))
        return reason->isEmpty() ? JournalReading{} : refused(*reason);
    const RotationPlan &plan = std::get<RotationPlan>(read);
    try {
        for (const std::string &name : {plan.input, plan.output})
            if (const QString why = refusedEntry(folder, name); !why.isEmpty())
                return refused(why);
        const HeldFolder::Entry archiveEntry = folder.entry(ArchiveFolderName);
        if (archiveEntry == HeldFolder::Entry::Absent)
            return {plan, {}};
        if (archiveEntry == HeldFolder::Entry::File)
            return refused(
                tr("“%1” is a file, not a folder").arg(shown(folder.pathOf(ArchiveFolderName))));
        const HeldFolder archive = folder.subfolder(ArchiveFolderName, false);
        const std::string zst = plan.archive + ".zst";
        for (const std::string &name : {plan.archive, plan.archive + ".part", zst, zst + ".part"})
            if (const QString why = refusedEntry(archive, name); !why.isEmpty())
                return refused(why);
    } catch (const RotationError &error) {
        return refused(error.error() == ELOOP
                           ? tr("“%1” is a link").arg(shown(folder.pathOf(ArchiveFolderName)))
                           : tr("its files cannot be looked at (%1)")
                                 .arg(QString::fromStdString(error.what())));
    }
    return {plan, {}};
}

bool recordFullDisk(const HeldFolder &folder, const FullDisk &failure)
{
    const QJsonObject json{{QStringLiteral("archive"), encodedName(failure.archive)},
                           {QStringLiteral("free"), failure.free},
                           {NamesKey, PercentEncoded}};
    try {
        folder.removeLeftover(FullDiskName);
        folder.writeNewFile(FullDiskName, QJsonDocument(json).toJson().toStdString());
        return true;
    } catch (const RotationError &) {
        return false;
    }
}

std::optional<FullDisk> fullDiskRecord(const HeldFolder &folder)
{
    std::optional<QByteArray> bytes;
    try {
        bytes = readSmallFile(folder, FullDiskName, MostJournalBytes);
    } catch (const RotationError &) {
        return std::nullopt;
    }
    if (!bytes)
        return std::nullopt;
    const QJsonObject json = QJsonDocument::fromJson(*bytes).object();
    const QJsonValue free = json.value(QStringLiteral("free"));
    if (!free.isDouble())
        return std::nullopt;
    return FullDisk{decodedName(json, "archive"), qint64(free.toDouble())};
}

void forgetFullDisk(const HeldFolder &folder)
{
    folder.remove(FullDiskName);
}

} // namespace paddock

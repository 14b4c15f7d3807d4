// SPDX-License-Identifier: MIT
#include "WorldFiles.h"

#include "ArchiveRetention.h"
#include "DescriptorIo.h"
#include "SnapshotRetention.h"
#include "String.h"
#include "UniqueFd.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace paddock {

namespace {

struct DirClose {
    void operator()(DIR *dir) const { ::closedir(dir); }
};

// The names in folder, as bytes: QDir would turn a name that is not UTF-8 into another one.
std::vector<std::string> namesIn(const std::string &folder)
{
    std::vector<std::string> names;
    const int fd = retryOnInterrupt(
        [&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
    if (fd < 0)
        return names;
    UniqueFd owned(fd);
    std::unique_ptr<DIR, DirClose> dir(::fdopendir(fd));
    if (!dir)
        return names;
    owned.release(); // the stream closes it now
    while (const dirent *entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

std::optional<struct stat> regularFile(const std::string &path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return st;
}

} // namespace

bool hasDatabaseHeader(const std::string &path)
{
    const int fd = retryOnInterrupt(
        [&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0)
        return false;
    const UniqueFd owned(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    char head[256];
    const ssize_t got = readSome(fd, head, sizeof head);
    if (got <= 0)
        return false;
    const std::string_view text(head, size_t(got));
    const std::string_view line = text.substr(0, text.find('\n'));
    return line.starts_with("** ") &&
           line.find(" Database, Format Version ") != std::string_view::npos;
}

namespace {

QString when(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    const bool thisYear = local.date().year() == QDate::currentDate().year();
    return QLocale().toString(local, thisYear ? QStringLiteral("d MMM HH:mm")
                                              : QStringLiteral("d MMM yyyy HH:mm"));
}

QString wroteBy(const QDateTime &started)
{
    return QCoreApplication::translate("paddock::WorldFiles", "run of %1").arg(when(started));
}

QString checkpointOf(const QDateTime &finished)
{
    return QCoreApplication::translate("paddock::WorldFiles", "checkpoint of %1")
        .arg(when(finished));
}

QString readBy(const QDateTime &started)
{
    return QCoreApplication::translate("paddock::WorldFiles", "read by run of %1")
        .arg(when(started));
}

std::string join(const std::string &folder, const std::string &name)
{
    return folder == "/" ? folder + name : folder + '/' + name;
}

bool endsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

class Listing final {
public:
    Listing(const std::string &database, const QList<RunRecord> &runs)
        : m_folder(deletingLastPathComponent(database))
        , m_name(lastPathComponent(database))
        , m_runs(runs)
    {
        for (const RunRecord &run : runs) {
            const std::string &input = run.input, &output = run.output;
            if (deletingLastPathComponent(input) != m_folder &&
                deletingLastPathComponent(output) != m_folder)
                continue;
            m_outputs.insert(output);
            if (deletingLastPathComponent(input) == m_folder)
                m_inputs.insert(input);
        }
    }

    QList<WorldFile> list()
    {
        listFolder();
        listArchive();
        // Outputs a template put into another folder: only the names the history gives.
        for (const std::string &output : m_outputs) {
            if (deletingLastPathComponent(output) == m_folder)
                continue;
            add(output, WorldFileKind::Output);
            add(output + ".PANIC", WorldFileKind::Panic);
        }
        std::sort(m_files.begin(), m_files.end(), [](const WorldFile &a, const WorldFile &b) {
            return a.modified != b.modified ? a.modified > b.modified : a.path < b.path;
        });
        // Any name beside the database may be someone else's file: the newest is offered for a
        // start only when it is the world's database, a recorded run named it, or it reads as
        // a database.
        const auto newest = std::find_if(m_files.begin(), m_files.end(), [&](const WorldFile &f) {
            return (f.kind == WorldFileKind::Database || f.kind == WorldFileKind::Output ||
                    f.kind == WorldFileKind::Archive) &&
                   (f.localPath == join(m_folder, m_name) || m_outputs.count(f.localPath) ||
                    m_inputs.count(f.localPath) || hasDatabaseHeader(f.localPath));
        });
        if (newest != m_files.end())
            newest->newestComplete = true;
        return m_files;
    }

private:
    // Whether a name in the folder is one of the world's databases: the leftovers of a server's
    // dumps are only listed for those.
    bool isWorldName(const std::string &name) const
    {
        const std::string path = join(m_folder, name);
        return name == m_name || name.rfind(m_name + '.', 0) == 0 || m_outputs.count(path) ||
               m_inputs.count(path);
    }

    void listFolder()
    {
        static const QRegularExpression dump(QStringLiteral("\\.#\\d+#$"));
        for (const std::string &name : namesIn(m_folder)) {
            const std::string path = join(m_folder, name);
            const QString shown = displayPath(name);
            const QRegularExpressionMatch dumpMatch = dump.match(shown);
            if (name == m_name) {
                add(path, WorldFileKind::Database);
            } else if (endsWith(name, ".PANIC") && isWorldName(name.substr(0, name.size() - 6))) {
                add(path, WorldFileKind::Panic);
            } else if (dumpMatch.hasMatch() &&
                       isWorldName(name.substr(0, name.size() - dumpMatch.capturedLength()))) {
                add(path, WorldFileKind::TemporaryDump);
            } else if (m_outputs.count(path)) {
                add(path, WorldFileKind::Output);
            } else if (const auto archive = archiveOfWorld(name); archive && !archive->compressed) {
                // An archive restored beside the database.
                add(path, WorldFileKind::Archive, readBy(archive->time));
            } else if (const auto snapshot = snapshotOfWorld(name);
                       snapshot && !snapshot->compressed) {
                // A snapshot restored beside the database.
                add(path, WorldFileKind::Snapshot, checkpointOf(snapshot->time));
            } else if (m_inputs.count(path)) {
                add(path, WorldFileKind::Database);
            } else if (name.rfind(m_name + '.', 0) == 0 && !endsWith(name, ".part")) {
                // What the default template makes of the name, run after run (a .part is a
                // copy Paddock has not finished).
                add(path, WorldFileKind::Output);
            }
        }
    }

    void listArchive()
    {
        const std::string folder = join(m_folder, "archive");
        for (const std::string &name : namesIn(folder)) {
            if (const auto archive = archiveOfWorld(name))
                add(join(folder, name), WorldFileKind::Archive, readBy(archive->time));
            // An uncompressed snapshot there is still being compressed.
            else if (const auto snapshot = snapshotOfWorld(name); snapshot && snapshot->compressed)
                add(join(folder, name), WorldFileKind::Snapshot, checkpointOf(snapshot->time));
        }
    }

    std::optional<SnapshotName> snapshotOfWorld(const std::string &name) const
    {
        std::optional<SnapshotName> snapshot = parseSnapshotName(name);
        if (!snapshot || !isWorldName(snapshot->database))
            return std::nullopt;
        return snapshot;
    }

    // The parts of name if it is an archive's name Paddock gives to one of the world's databases.
    std::optional<ArchiveName> archiveOfWorld(const std::string &name) const
    {
        std::optional<ArchiveName> archive = parseArchiveName(name);
        if (!archive || !isWorldName(archive->database))
            return std::nullopt;
        return archive;
    }

    void add(const std::string &path, WorldFileKind kind, QString run = {})
    {
        const std::optional<struct stat> st = regularFile(path);
        if (!st || !m_listed.insert(path).second)
            return;
        WorldFile file;
        file.localPath = path;
        const std::string inFolder = join(m_folder, std::string());
        // Latin-1 keeps every byte as one character, so the relative path keeps the bytes.
        file.path = visiblePath(path.rfind(inFolder, 0) == 0
                                    ? path.substr(inFolder.size())
                                    : QDir(QString::fromLatin1(m_folder))
                                          .relativeFilePath(QString::fromLatin1(path))
                                          .toLatin1()
                                          .toStdString());
        file.kind = kind;
        file.modified = QDateTime::fromMSecsSinceEpoch(qint64(st->st_mtim.tv_sec) * 1000 +
                                                       st->st_mtim.tv_nsec / 1000000);
        file.size = qint64(st->st_size);
        file.run = run.isEmpty() ? runOf(path, kind, file.modified) : run;
        m_files.append(file);
    }

    // Who wrote a dump is the run that wrote under the name it is a dump of.
    QString runOf(const std::string &path, WorldFileKind kind, const QDateTime &modified) const
    {
        std::string written = path;
        if (kind == WorldFileKind::Panic)
            written.resize(path.size() - 6);
        else if (kind == WorldFileKind::TemporaryDump)
            written.resize(path.rfind(".#"));
        // The newest run that wrote the name and had started by the time the file was written:
        // with the same output name every run, a file is not always the newest run's.
        for (auto run = m_runs.crbegin(); run != m_runs.crend(); ++run)
            if (run->output == written && run->started <= modified)
                return wroteBy(run->started);
        if (kind == WorldFileKind::Panic || kind == WorldFileKind::TemporaryDump)
            return {};
        for (auto run = m_runs.crbegin(); run != m_runs.crend(); ++run)
            if (run->input == path)
                return readBy(run->started);
        return {};
    }

    std::string m_folder;
    std::string m_name;
    const QList<RunRecord> &m_runs;
    std::set<std::string> m_outputs; // of runs that read or wrote in the folder
    std::set<std::string> m_inputs;  // in the folder
    std::set<std::string> m_listed;
    QList<WorldFile> m_files;
};

} // namespace

QList<WorldFile> listWorldFiles(const std::string &database, const QList<RunRecord> &runs)
{
    if (database.empty())
        return {};
    return Listing(database, runs).list();
}

} // namespace paddock

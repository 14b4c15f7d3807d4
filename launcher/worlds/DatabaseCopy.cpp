// SPDX-License-Identifier: MIT
#include "DatabaseCopy.h"

#include "ArchiveFiles.h"
#include "HeldFolder.h"
#include "RotationError.h"
#include "SettingsKeys.h"
#include "String.h"
#include "UserDefaults.h"
#include "WorldClashes.h"
#include "WorldFiles.h"
#include "WorldServer.h"

#include <QCoreApplication>
#include <QLocale>
#include <QPointer>
#include <QThreadPool>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace paddock {

namespace {

// Looked at without following a link: a link is never copied from, nor counted as a database.
bool isRegularFile(const std::string &path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string join(const std::string &folder, const std::string &name)
{
    return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

// A folder of thousands of files is no new folder: looking further would only keep the
// window waiting.
constexpr int MostNamesLookedAt = 1000;

// The first database found in folder, by name; empty when there is none.
std::string databaseIn(const std::string &folder)
{
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return {};
    std::string found;
    int looked = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (++looked > MostNamesLookedAt)
            break;
        if (hasDatabaseHeader(join(folder, name))) {
            found = name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

// Thrown by the progress of a cancelled copy, through the copy, which removes its part.
struct Cancelled {};

} // namespace

struct DatabaseCopy::Shared {
    std::atomic<bool> cancel{false};
    std::atomic<bool> reportPending{false};
    std::atomic<std::uint64_t> copied{0};
    std::atomic<std::uint64_t> total{0};
};

std::string newestDatabase(const WorldServer &world)
{
    const RunRecord last = world.lastRun();
    if (!last.output.empty() && isRegularFile(last.output))
        return last.output;
    if (!last.input.empty() && isRegularFile(last.input))
        return last.input;
    return {};
}

QString copyFolderProblem(const std::string &folder, const std::string &source,
                          const std::string &name)
{
    if (folder.empty())
        return DatabaseCopy::tr("Choose a folder for the copy.");
    const QString shown = displayPath(folder);
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return DatabaseCopy::tr("“%1” is not a folder.").arg(shown);
    if (sameDatabaseFolder(source, join(folder, name)))
        return DatabaseCopy::tr("“%1” is the world's own folder: choose a new folder for the copy.")
            .arg(shown);
    if (::lstat(join(folder, name).c_str(), &st) == 0)
        return DatabaseCopy::tr("“%1” holds a “%2” already: choose a new folder for the copy.")
            .arg(shown, displayPath(name));
    if (const std::string other = databaseIn(folder); !other.empty())
        return DatabaseCopy::tr("“%1” holds the database “%2” already: choose a new folder, so "
                                "that the copy's files do not mix with another world's.")
            .arg(shown, displayPath(other));
    return {};
}

void settleDuplicate(UserDefaults &settings, const std::string &copy)
{
    if (!copy.empty())
        settings.setString(MOOLastDBName, copy);
    if (settings.hasKey(MOOOffsiteFolder))
        settings.setString(MOOOffsiteFolder, std::string());
}

DatabaseCopy::DatabaseCopy(std::string source, std::string targetFolder, std::string name,
                           QObject *parent)
    : QObject(parent)
    , m_source(std::move(source))
    , m_folder(std::move(targetFolder))
    , m_name(std::move(name))
    , m_shared(std::make_shared<Shared>())
{}

DatabaseCopy::~DatabaseCopy()
{
    cancel();
}

std::string DatabaseCopy::targetPath() const
{
    return join(m_folder, m_name);
}

void DatabaseCopy::cancel()
{
    m_shared->cancel = true;
}

void DatabaseCopy::report()
{
    m_shared->reportPending = false;
    if (m_running)
        Q_EMIT progressed(m_shared->copied, m_shared->total);
}

void DatabaseCopy::start()
{
    if (m_running)
        return;
    m_running = true;
    // The answers go through the application object, which outlives this; this may be gone.
    QThreadPool::globalInstance()->start([shared = m_shared, guard = QPointer(this),
                                          source = m_source, folder = m_folder, name = m_name] {
        const auto post = [](auto call) {
            QMetaObject::invokeMethod(QCoreApplication::instance(), call, Qt::QueuedConnection);
        };
        QString problem;
        bool cancelled = false;
        try {
            const HeldFolder from = HeldFolder::open(deletingLastPathComponent(source));
            const HeldFolder to = HeldFolder::open(folder);
            const std::string sourceName = lastPathComponent(source);
            struct stat st;
            if (::fstatat(from.fd(), sourceName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
                shared->total = std::uint64_t(st.st_size);
            if (const qint64 free = to.freeBytes();
                free >= 0 && std::uint64_t(free) < shared->total)
                throw RotationError(tr("There is no room for the copy in “%1”: it needs %2, and "
                                       "%3 are free.")
                                        .arg(displayPath(folder),
                                             QLocale().formattedDataSize(qint64(shared->total)),
                                             QLocale().formattedDataSize(free))
                                        .toStdString());
            if (to.entry(name) != HeldFolder::Entry::Absent)
                throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot copy to"), to.pathOf(name),
                               EEXIST);
            const FolderFile part{to, name + ".part"};
            // A part an interrupted copy left; anything but a regular file stays and fails it.
            to.removeLeftover(part.name);
            copyFile({from, sourceName}, part, [&](std::uint64_t copied) {
                if (shared->cancel)
                    throw Cancelled{};
                shared->copied = copied;
                if (!shared->reportPending.exchange(true))
                    post([guard] {
                        if (guard)
                            guard->report();
                    });
            });
            if (const int error = to.renameNoReplace(part.name, to, name)) {
                to.remove(part.name);
                throwFileError(QT_TRANSLATE_NOOP("HeldFolder", "Cannot copy to"), to.pathOf(name),
                               error);
            }
            to.sync();
        } catch (const Cancelled &) {
            cancelled = true;
            problem = tr("The copy was cancelled; nothing of it is left.");
        } catch (const std::exception &error) {
            problem = QString::fromStdString(error.what());
        }
        post([guard, problem, cancelled] {
            if (!guard)
                return;
            guard->m_running = false;
            Q_EMIT guard->finished(problem, cancelled);
        });
    });
}

} // namespace paddock

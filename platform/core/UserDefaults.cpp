// SPDX-License-Identifier: MIT
#include "UserDefaults.h"

#include "Logging.h"
#include "String.h"
#include "SystemError.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>

#include <map>
#include <mutex>

namespace paddock {

// One per file within the process: every store on that file shares it.
struct UserDefaults::Shared {
    std::string path;
    SettingsValues values;  // as last read or written, with unsaved changes applied
    SettingsValues pending; // changes made here that no save has written yet
    FileStamp stamp;        // the file as last read or written
    QString unreadable;     // why the file that stands there cannot be read; empty if it can

    static std::mutex registryMutex;
    static std::map<std::string, std::weak_ptr<Shared>> registry;

    // Reads the file again if it changed since; unsaved changes stay on top.
    void refresh()
    {
        if (stampOf(path) == stamp)
            return;
        reload();
    }
    // A file that cannot be read is kept as it is, and never saved over: the values in memory
    // (the defaults, or the file as last read) stay in use until it can be read again.
    void reload()
    {
        int error = 0;
        const std::optional<std::string> contents = readSettingsFile(path, stamp, error);
        bool wellFormed = true;
        SettingsValues read = contents ? parseIni(*contents, &wellFormed) : SettingsValues();
        if (!contents || !wellFormed) {
            unreadable = describeUnreadable(error);
            return;
        }
        unreadable.clear();
        values = std::move(read);
        for (const auto &[key, value] : pending)
            values[key] = value;
    }
    static QString describeUnreadable(int error)
    {
        switch (error) {
        case 0:
            return UserDefaults::tr("it holds lines that are not settings");
        case EISDIR:
            return UserDefaults::tr("it is a folder");
        case EINVAL:
            return UserDefaults::tr("it is not a regular file");
        case EFBIG:
            return UserDefaults::tr("it is larger than %1 MiB").arg(MaximumSettingsFileSize >> 20);
        default:
            return QString::fromStdString(errorText(error));
        }
    }
    // A settings file kept elsewhere through a link (a folder of dotfiles) is replaced where
    // it lives, so the link stays a link. Only a link to a regular file is followed: one to
    // anything else (a device, a FIFO, nothing) is replaced itself, never what it points to.
    std::string savedPath() const
    {
        struct stat info = {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr),
                                                               &std::free);
        if (!real || ::stat(real.get(), &info) != 0 || !S_ISREG(info.st_mode))
            return path;
        return std::string(real.get());
    }

    bool save()
    {
        const std::string target = savedPath();
        const size_t slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash);
        const std::optional<FolderLock> lock = FolderLock::acquire(folder.empty() ? "/" : folder);
        if (!lock)
            return false;
        // Another process may have saved since we read: only the keys changed here are ours
        // to write.
        reload();
        if (!unreadable.isEmpty())
            return false;
        if (!replaceFileAtomically(target, formatIni(values), *lock, stamp))
            return false;
        pending.clear();
        return true;
    }
};

std::mutex UserDefaults::Shared::registryMutex;
std::map<std::string, std::weak_ptr<UserDefaults::Shared>> UserDefaults::Shared::registry;

namespace {

bool isUtf8Text(const std::string &bytes)
{
    if (bytes.find('\0') != std::string::npos)
        return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return !decoder.hasError();
}

} // namespace

UserDefaults &UserDefaults::standardUserDefaults()
{
    static UserDefaults *store = new UserDefaults(standardFilePath()); // lives for the process
    return *store;
}

std::string UserDefaults::standardFilePath()
{
    return settingsFilePath("paddock.conf");
}

UserDefaults::UserDefaults(const std::string &filePath, QObject *parent)
    : UserDefaults(filePath, QString(), parent)
{}

UserDefaults::UserDefaults(const std::string &filePath, const QString &group, QObject *parent)
    : QObject(parent)
    , m_group(group)
{
    const std::lock_guard guard(Shared::registryMutex);
    std::weak_ptr<Shared> &entry = Shared::registry[filePath];
    m_shared = entry.lock();
    if (!m_shared) {
        m_shared = std::make_shared<Shared>();
        m_shared->path = filePath;
        m_shared->reload();
        entry = m_shared;
    }
}

UserDefaults::~UserDefaults()
{
    const std::lock_guard guard(Shared::registryMutex);
    const std::string path = m_shared->path;
    m_shared.reset();
    if (auto found = Shared::registry.find(path);
        found != Shared::registry.end() && found->second.expired())
        Shared::registry.erase(found);
}

const std::string &UserDefaults::filePath() const
{
    return m_shared->path;
}

QString UserDefaults::inFile(const QString &key) const
{
    return m_group.isEmpty() ? key : m_group + u'/' + key;
}

bool UserDefaults::hasKey(const QString &key) const
{
    m_shared->refresh();
    return m_shared->values.contains(inFile(key));
}

QStringList UserDefaults::keys() const
{
    m_shared->refresh();
    const QString prefix = m_group.isEmpty() ? QString() : m_group + u'/';
    QStringList found;
    for (const auto &[key, value] : m_shared->values) {
        if (!key.startsWith(prefix))
            continue;
        const QString own = key.mid(prefix.size());
        if (!own.contains(u'/'))
            found.append(own);
    }
    return found;
}

std::optional<std::string> UserDefaults::stringForKey(const QString &key) const
{
    m_shared->refresh();
    const auto found = m_shared->values.find(inFile(key));
    if (found == m_shared->values.end())
        return std::nullopt;
    return found->second.bytes;
}

bool UserDefaults::boolForKey(const QString &key, bool fallback) const
{
    const std::optional<std::string> value = stringForKey(key);
    if (!value)
        return fallback;
    return *value == "1" || *value == "true" || *value == "YES";
}

std::optional<long long> UserDefaults::integerForKey(const QString &key) const
{
    const std::optional<std::string> value = stringForKey(key);
    if (!value || value->empty())
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(value->c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE)
        return std::nullopt;
    return parsed;
}

void UserDefaults::setString(const QString &key, const std::string &value)
{
    // Paths are the operating system's bytes: those that are not UTF-8 are kept as bytes.
    set(key, SettingsValue{value, !isUtf8Text(value)});
}

void UserDefaults::setBytes(const QString &key, const QByteArray &value)
{
    set(key, SettingsValue{value.toStdString(), true});
}

void UserDefaults::set(const QString &key, SettingsValue value)
{
    m_shared->values[inFile(key)] = value;
    m_shared->pending[inFile(key)] = std::move(value);
    m_lastSaveSucceeded = m_shared->save();
    const QString unreadable = m_shared->unreadable;
    if (!m_lastSaveSucceeded && unreadable.isEmpty())
        qCWarning(lcSettings, "Cannot save \"%s\": %s", m_shared->path.c_str(),
                  errorText(errno).c_str());
    Q_EMIT valueChanged(key);
    if (!unreadable.isEmpty())
        Q_EMIT readFailed(displayPath(m_shared->path), unreadable);
    else if (!m_lastSaveSucceeded)
        Q_EMIT saveFailed(displayPath(m_shared->path));
}

QString UserDefaults::readProblem() const
{
    m_shared->refresh();
    return m_shared->unreadable;
}

UserDefaultsController::UserDefaultsController(QObject *parent)
    : UserDefaultsController(UserDefaults::standardUserDefaults(), parent)
{}

UserDefaultsController::UserDefaultsController(UserDefaults &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(&defaults)
{}

} // namespace paddock

#include "UserDefaults.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

#include <sys/stat.h>

namespace paddock {

namespace {

bool isUtf8(const std::string &bytes)
{
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

QString settingsFilePath(const QString &fileName)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/paddock/") + fileName;
}

QString UserDefaults::standardFilePath()
{
    return settingsFilePath(QStringLiteral("paddock.conf"));
}

UserDefaults::UserDefaults(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{}

UserDefaults::~UserDefaults() = default;

QString UserDefaults::filePath() const
{
    return m_settings->fileName();
}

bool UserDefaults::hasKey(const QString &key) const
{
    return m_settings->contains(key);
}

std::optional<std::string> UserDefaults::stringForKey(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return std::nullopt;
    // Paths are the operating system's bytes: those that are not UTF-8 are kept as bytes.
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray().toStdString();
    if (value.canConvert<QString>())
        return value.toString().toStdString();
    return std::nullopt;
}

void UserDefaults::setString(const QString &key, const std::string &value)
{
    if (isUtf8(value))
        m_settings->setValue(key, QString::fromStdString(value));
    else
        m_settings->setValue(key, QByteArray::fromStdString(value));
    m_lastSaveSucceeded = save();
    Q_EMIT valueChanged(key);
    if (!m_lastSaveSucceeded)
        Q_EMIT saveFailed(m_settings->fileName());
}

bool UserDefaults::save()
{
    const QByteArray path = QFile::encodeName(m_settings->fileName());
    QDir().mkpath(QFileInfo(m_settings->fileName()).absolutePath());
    // QSettings keeps the first error it met for good (one met reading an old, broken
    // file included), so its status cannot tell whether this save worked. A save writes
    // a new file and renames it into place: it worked if the file is a new one now.
    struct stat before = {};
    const bool existed = ::stat(path.constData(), &before) == 0;
    m_settings->sync();
    struct stat after = {};
    if (::stat(path.constData(), &after) != 0)
        return false;
    return !existed || after.st_ino != before.st_ino || after.st_dev != before.st_dev;
}

UserDefaultsController::UserDefaultsController(QObject *parent)
    : UserDefaultsController(UserDefaults::standardUserDefaults(), parent)
{}

UserDefaultsController::UserDefaultsController(UserDefaults &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(&defaults)
{}

} // namespace paddock

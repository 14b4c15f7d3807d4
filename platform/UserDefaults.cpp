#include "UserDefaults.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

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

QString UserDefaults::standardFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/paddock/paddock.conf");
}

UserDefaults::UserDefaults(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

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
    QDir().mkpath(QFileInfo(m_settings->fileName()).absolutePath());
    m_settings->sync();
    m_lastSaveSucceeded = m_settings->status() == QSettings::NoError;
    Q_EMIT valueChanged(key);
    if (!m_lastSaveSucceeded)
        Q_EMIT saveFailed(m_settings->fileName());
}

UserDefaultsController::UserDefaultsController(QObject *parent)
    : UserDefaultsController(UserDefaults::standardUserDefaults(), parent)
{
}

UserDefaultsController::UserDefaultsController(UserDefaults &defaults, QObject *parent)
    : QObject(parent)
    , m_defaults(&defaults)
{
}

} // namespace paddock

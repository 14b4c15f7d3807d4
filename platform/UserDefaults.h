#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>

class QSettings;

namespace paddock {

/// Path of a file in Paddock's own settings folder, ~/.config/paddock (honouring
/// XDG_CONFIG_HOME).
QString settingsFilePath(const QString &fileName);

/// The per-user settings store: string values by key, kept in an INI file and written
/// atomically after every change, so a crash never leaves it truncated or stale. A value
/// that could not be saved stays in use, and the next save that works writes it too.
/// Stores on the same file within the process see one another's values.
class UserDefaults final : public QObject {
    Q_OBJECT
public:
    /// The store in ~/.config/paddock/paddock.conf (honouring XDG_CONFIG_HOME).
    static UserDefaults &standardUserDefaults();
    /// Where the standard store keeps its file.
    static QString standardFilePath();

    /// A store kept in filePath. A file that cannot be read or parsed gives an empty store.
    explicit UserDefaults(const QString &filePath, QObject *parent = nullptr);
    ~UserDefaults() override;
    Q_DISABLE_COPY_MOVE(UserDefaults)

    /// The value for key, or none when the key is absent.
    std::optional<std::string> stringForKey(const QString &key) const;
    bool hasKey(const QString &key) const;
    /// Stores value under key and saves; emits valueChanged, and saveFailed if the file
    /// could not be written (the value stays in memory for this run).
    void setString(const QString &key, const std::string &value);

    /// Whether the last save reached the disk (a later good save clears an earlier failure).
    bool lastSaveSucceeded() const { return m_lastSaveSucceeded; }
    QString filePath() const;

Q_SIGNALS:
    void valueChanged(const QString &key);
    void saveFailed(const QString &filePath);

private:
    bool save();

    std::unique_ptr<QSettings> m_settings;
    bool m_lastSaveSucceeded = true;
};

/// The interface's handle on a settings store.
class UserDefaultsController final : public QObject {
    Q_OBJECT
public:
    /// A controller on the standard store.
    explicit UserDefaultsController(QObject *parent = nullptr);
    /// A controller on a given store, which must outlive it.
    explicit UserDefaultsController(UserDefaults &defaults, QObject *parent = nullptr);

    UserDefaults &defaults() const { return *m_defaults; }

private:
    UserDefaults *m_defaults;
};

} // namespace paddock

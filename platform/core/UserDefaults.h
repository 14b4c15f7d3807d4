// SPDX-License-Identifier: MIT
#pragma once

#include "IniFormat.h"
#include "SettingsFile.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

namespace paddock {

/// A settings store: string values by key, kept in an INI file that QSettings reads too, and
/// written atomically after every change, so a crash never leaves it truncated or stale. The
/// one store for each of Paddock's own settings files. A value that could not be saved
/// stays in use, and the next save that works writes it too. Stores on the same file within
/// the process see one another's values; a change made to the file from outside is seen at
/// the next look-up. A file that stands there but cannot be read (see readProblem) is never
/// written over: the store runs on what it holds in memory until the file can be read again.
class UserDefaults final : public QObject {
    Q_OBJECT
public:
    /// The store in paddock.conf in Paddock's settings folder.
    static UserDefaults &standardUserDefaults();
    /// Where the standard store keeps its file (the operating system's bytes).
    static std::string standardFilePath();

    /// A store kept in filePath. A file that cannot be read or parsed, or is no regular
    /// file, gives an empty store, and is left as it is.
    explicit UserDefaults(const std::string &filePath, QObject *parent = nullptr);
    /// A store that sees only the keys in group of filePath's file ("group/key" there), under
    /// their names within the group; an empty group is the whole file, as above.
    UserDefaults(const std::string &filePath, const QString &group, QObject *parent = nullptr);
    ~UserDefaults() override;
    Q_DISABLE_COPY_MOVE(UserDefaults)

    /// The value for key, or none when the key is absent.
    std::optional<std::string> stringForKey(const QString &key) const;
    bool hasKey(const QString &key) const;
    /// The keys this store sees, sorted: those of its group, or, without a group, those
    /// outside every group.
    QStringList keys() const;
    /// The group this store sees; empty for the whole file.
    const QString &group() const { return m_group; }
    /// The value for key read as a flag: "1", "true" and "YES" are on, anything else off;
    /// fallback when the key is absent.
    bool boolForKey(const QString &key, bool fallback = false) const;
    /// The value for key read as a whole decimal number; none when absent or not a number.
    std::optional<long long> integerForKey(const QString &key) const;
    /// Stores value under key and saves; emits valueChanged, then readFailed if the file
    /// cannot be read and so is not saved over, or saveFailed if it could not be written (the
    /// value stays in memory for this run either way).
    void setString(const QString &key, const std::string &value);
    /// As setString, but the file marks the value as bytes whatever they hold.
    void setBytes(const QString &key, const QByteArray &value);

    /// Whether the last save reached the disk (a later good save clears an earlier failure).
    bool lastSaveSucceeded() const { return m_lastSaveSucceeded; }
    /// Why the file that stands at filePath cannot be read (too large, not a regular file, not
    /// settings, unreadable), so that nothing is saved over it; empty when it can be read or
    /// is missing.
    QString readProblem() const;
    const std::string &filePath() const;

Q_SIGNALS:
    void valueChanged(const QString &key);
    void saveFailed(const QString &filePath);
    /// A change could not be saved because the file cannot be read: reason says why.
    void readFailed(const QString &filePath, const QString &reason);

private:
    struct Shared;
    void set(const QString &key, SettingsValue value);
    QString inFile(const QString &key) const;

    std::shared_ptr<Shared> m_shared;
    QString m_group;
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

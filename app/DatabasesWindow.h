// SPDX-License-Identifier: MIT
#pragma once

#include "RunHistory.h"
#include "WorldFiles.h"

#include <QDialog>

#include <functional>
#include <string>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace paddock {

/// The Databases window (non-modal): the current world's databases, outputs, archives and the
/// leftovers of a server's dumps, newest first. From it the user starts the server on one of
/// them, restores a compressed archive beside the database or removes an unfinished dump.
class DatabasesWindow final : public QDialog {
    Q_OBJECT
public:
    /// Starts the server on a database; returns whether it runs. Its failures are shown by
    /// whoever gives the function.
    using StartFunction = std::function<bool(const std::string &database)>;

    /// start serves Start from This; history tells which run wrote which file.
    explicit DatabasesWindow(StartFunction start, RunHistory history = RunHistory(),
                             QWidget *parent = nullptr);
    ~DatabasesWindow() override;

    /// The world's database as the operating system's bytes; empty for none. Lists again.
    void setWorldDatabase(const std::string &database);
    /// The world's database as last set.
    const std::string &worldDatabase() const { return m_database; }
    /// While a server runs nothing is started and no dump is removed (it may be the server's).
    void setServerRunning(bool running);
    /// Lists the world's files again, keeping the selected file selected if it is still there.
    void refresh();
    /// Selects the file at localPath; false when it is not listed.
    bool selectFile(const std::string &localPath);
    /// The files as listed, in the table's order.
    const QList<WorldFile> &files() const { return m_files; }
    /// What the window last said about an action (a failure, or a restore under way or done).
    QString message() const;
    /// Whether an archive is being restored.
    bool isRestoring() const { return m_restoring; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    const WorldFile *selected() const;
    void updateButtons();
    void startSelected();
    void restoreSelected();
    void restoreDone(const std::string &target, const QString &error);
    void removeSelected();
    bool confirm(const QString &name, const QString &text, const QString &detail,
                 const QString &action);
    void say(const QString &text);

    StartFunction m_start;
    RunHistory m_history;
    std::string m_database;
    bool m_serverRunning = false;
    bool m_restoring = false;
    QList<WorldFile> m_files;
    QLabel *m_world;
    QTreeWidget *m_table;
    QLabel *m_message;
    QPushButton *m_startButton;
    QPushButton *m_restoreButton;
    QPushButton *m_removeButton;
    QPushButton *m_refreshButton;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QPointer>

#include <string>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace paddock {

class DatabaseCopy;
class WorldServer;
class Worlds;

/// Duplicates a world, for a test copy: its settings, and when asked its newest database copied
/// into a new folder the user chooses, which the new world's settings then point at. The copy
/// runs off the GUI thread with its progress shown; Cancel stops it and leaves nothing of it.
/// The world is added only once its copy is in place, so a failed copy adds none.
class DuplicateWorldDialog final : public QDialog {
    Q_OBJECT
public:
    /// Duplicates world (whose server side is server) of worlds; both must outlive this.
    DuplicateWorldDialog(Worlds &worlds, const WorldServer &server, QWidget *parent = nullptr);
    ~DuplicateWorldDialog() override;
    Q_DISABLE_COPY_MOVE(DuplicateWorldDialog)

    QLineEdit *nameField() const { return m_name; }
    QCheckBox *copyDatabaseBox() const { return m_copy; }
    QLineEdit *folderField() const { return m_folder; }
    /// The sentence shown: why the last attempt was refused or failed; empty when none.
    QString problem() const;
    bool isCopying() const;

    /// Checks the name and folder, then copies (when asked) and adds the world; the dialog
    /// stays open, saying why, when any of it fails.
    void accept() override;
    /// Stops a copy under way (the dialog stays open and says so); else closes.
    void reject() override;

Q_SIGNALS:
    /// The world was added as id.
    void duplicated(const QString &id);

private:
    void chooseFolder();
    void copyFinished(const QString &problem, bool cancelled);
    void addWorld(const std::string &copy);
    void say(const QString &sentence);
    void removeMadeFolder();
    void setEditable(bool editable);

    Worlds &m_worlds;
    QString m_id;
    std::string m_source; // the newest database; empty when there is none
    std::string m_copyName;
    std::string m_madeFolder; // made for the copy under way
    QLineEdit *m_name;
    QCheckBox *m_copy;
    QLineEdit *m_folder;
    QPushButton *m_choose;
    QLabel *m_problem;
    QProgressBar *m_progress;
    QDialogButtonBox *m_buttons;
    QPointer<DatabaseCopy> m_copying;
};

} // namespace paddock

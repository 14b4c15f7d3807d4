// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QPointer>

#include <memory>
#include <string>

class QPushButton;

namespace Ui {
class PreferencesPanel;
}

namespace paddock {

class UserDefaults;

/// The preferences panel (non-modal): one world's settings in groups (server and arguments,
/// output names, log, supervision, archive), each on a page of its own, stored as they are
/// edited, with a preview of the next output name and of the server's arguments.
class PreferencesPanel final : public QDialog {
    Q_OBJECT
public:
    /// Shows and edits store, which must outlive the panel: the first world's settings.
    explicit PreferencesPanel(UserDefaults &store, QWidget *parent = nullptr);
    ~PreferencesPanel() override;

    /// Shows and edits store from now on: the settings a world's controller reads and writes
    /// (its changes show here only through that same store object). Edits made so far stay in
    /// the settings they were made for, and showing writes nothing. The title names worldName,
    /// unless it is empty. Should store be destroyed while shown, the panel goes back to its
    /// first store.
    void showSettingsOf(UserDefaults &store, const QString &worldName);
    /// The settings shown and edited.
    UserDefaults &settings() const;

    /// The Choose... control beside the server; it emits chooseServerRequested.
    QPushButton *chooseButton() const;
    /// Says at the top of the panel that Start opened it because no server has been chosen
    /// yet, on the server's page; the line goes when the panel is closed.
    void showStartReason();
    /// The preview as shown: the name, the database it is for, and a warning (empty when
    /// there is none).
    QString previewText() const;
    QString previewSource() const;
    QString previewWarning() const;
    /// Why the log file cannot be written where it is set to go; empty when it can.
    QString logFileWarning() const;
    /// The server's whole argument vector for that start, words quoted where needed.
    QString commandPreview() const;

    /// The database the preview uses while no output name has been recorded yet.
    static constexpr const char *exampleDatabase = "/srv/worlds/castle.db";

Q_SIGNALS:
    /// The user asked to choose the server of the world shown.
    void chooseServerRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void storeEdits();
    void save(const QString &key, const std::string &value);
    void follow(UserDefaults &store);
    void showStored(const QString &key = {});
    void updatePreview();
    void showArchiving();
    void showSnapshots();
    void chooseOffsiteFolder();
    void showResponding();
    void showLogFileProblem(const std::string &input);
    void growToFit();

    std::unique_ptr<Ui::PreferencesPanel> m_ui;
    UserDefaults &m_firstStore;
    QPointer<UserDefaults> m_store;
    QString m_plainTitle; // the title with no world named, as the panel has always had
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

#include <memory>
#include <string>

class QPushButton;

namespace Ui {
class PreferencesPanel;
}

namespace paddock {

class UserDefaults;

/// The preferences panel (non-modal): the server executable beside the control that
/// chooses it, and the output name template and time format, stored as they are edited,
/// with a preview of the next output name.
class PreferencesPanel final : public QDialog {
    Q_OBJECT
public:
    /// Shows and edits store, which must outlive the panel.
    explicit PreferencesPanel(UserDefaults &store, QWidget *parent = nullptr);
    ~PreferencesPanel() override;

    /// The control the interface wiring connects to the executable chooser.
    QPushButton *chooseButton() const;
    /// Says at the top of the panel that Start opened it because no server has been chosen
    /// yet; the line goes when the panel is closed.
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

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void storeEdits();
    void onValueChanged(const QString &key);
    void updatePreview();
    void showArchiving();
    void showSnapshots();
    void chooseOffsiteFolder();
    void showResponding();
    void showLogFileProblem(const std::string &input);
    void growToFit();

    std::unique_ptr<Ui::PreferencesPanel> m_ui;
    UserDefaults &m_store;
};

} // namespace paddock

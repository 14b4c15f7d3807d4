// SPDX-License-Identifier: MIT
#pragma once

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class QDockWidget;
class QLabel;
class QMenu;
class QMessageBox;

namespace Ui {
class LogWindow;
}

namespace paddock {

class ElidedLabel;
class MessageBar;

class LogView;
class UserDefaults;

/// The main window: the server output log, the Server menu and toolbar, and a status bar
/// in the window's own words. It knows nothing of the controller; the interface wiring
/// connects its actions and tells it the server's state.
class LogWindow final : public QMainWindow {
    Q_OBJECT
public:
    /// Restores the size and position remembered from the last close.
    explicit LogWindow(QWidget *parent = nullptr);
    ~LogWindow() override;

    LogView *logView() const;
    QAction *startAction() const;
    QAction *startEmergencyAction() const;
    QAction *stopAction() const;
    QAction *forceStopAction() const;
    QAction *checkpointAction() const;
    QAction *startFromPanicAction() const;
    QAction *cancelRestartAction() const;
    QAction *databasesAction() const;
    QAction *chooseServerAction() const;
    QAction *preferencesAction() const;
    QAction *quitAction() const;
    QAction *aboutAction() const;
    /// The bar above the log that says in whole sentences what needs the user's attention.
    MessageBar *messageBar() const { return m_messageBar; }
    /// The View menu, where panels beside the log are shown and hidden.
    QMenu *viewMenu() const;

    /// Docks panel (which needs an object name) on the right, hidden unless the user left it
    /// shown last time, with an entry in the View menu that shows and hides it. The window
    /// takes ownership.
    void addPanel(QDockWidget *panel);

    /// Start is enabled only while no server runs; Stop and Checkpoint Now only while one
    /// does (and Stop not while a stop is already waiting). Closing then asks first.
    void setServerRunning(bool running);
    void setStopInProgress(bool stopping);
    /// Asked first when the window closes while a server runs: none to ask the usual question,
    /// else whether to close.
    using QuitQuestion = std::function<std::optional<bool>()>;
    void setQuitQuestion(QuitQuestion question) { m_quitQuestion = std::move(question); }
    /// Whether a server runs that the window does not show (another world's): closing then
    /// asks first too.
    void setServerRunsElsewhere(std::function<bool()> test) { m_runsElsewhere = std::move(test); }
    /// Shows or hides the Force Stop control.
    void setForceStopOffered(bool offered);

    /// Shows text in the status bar; a screen reader gets spoken instead when it is given
    /// (words that do not change while the text counts down). A brief, when given, is shown
    /// instead while the whole text stands elsewhere (the message bar); the status bar's
    /// tooltip and a screen reader still get the whole.
    void setStatusText(const QString &text, const QString &spoken = {},
                       const QString &brief = {});
    QString statusText() const;
    /// Tells a screen reader at once, as an alert, what the status says: for what needs the
    /// user's attention, not routine changes. Emits statusAnnounced once the alert is sent.
    void announceStatus();
    /// Shows the version, the licence and where Paddock keeps its settings and logs.
    void showAbout();
    /// Shows, until a later save succeeds, that the settings cannot be saved to filePath; those
    /// of the world called world, when named.
    void setSettingsSaveFailed(bool failed, const QString &filePath = {},
                               const QString &world = {});
    /// Shows, until a later save succeeds, that the settings file at filePath cannot be read
    /// (reason says why) and is left as it is while Paddock runs on defaults.
    void showSettingsUnreadable(const QString &filePath, const QString &reason);
    /// Shows what Paddock did or fears for the world's databases (an empty text hides it).
    void showDatabaseNote(const QString &text, bool warning);
    QString databaseNote() const;
    /// Shows that the log file cannot be written, message saying why, in the status bar; an
    /// empty message hides it.
    void showLogFileFailed(const QString &message);
    /// Titles the window with the world (its database's file name, after the world's name once
    /// there are several) and its state in a word or two; without a world, just "Paddock".
    void setWorldTitle(const QString &world, const QString &state);

    /// Where the window keeps its size and position: apart from the launcher's settings.
    static std::string geometryFilePath();

Q_SIGNALS:
    /// An alert was sent for the status, which a screen reader speaks as spoken.
    void statusAnnounced(const QString &spoken);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void updateEnablement();
    /// What the empty log says to do first.
    QString emptyLogHint() const;
    void colourWarnings();
    /// Asks whether to quit while a server runs; true for Quit.
    bool confirmQuit();

    std::unique_ptr<Ui::LogWindow> m_ui;
    std::unique_ptr<UserDefaults> m_placement; // window.conf
    ElidedLabel *m_status;
    MessageBar *m_messageBar;
    QLabel *m_settingsWarning;
    QLabel *m_logFileWarning;
    ElidedLabel *m_databaseNote;
    bool m_databaseNoteWarns = false;
    bool m_alertPending = false;
    bool m_running = false;
    bool m_stopping = false;
    bool m_quitConfirmed = false;
    QuitQuestion m_quitQuestion;
    std::function<bool()> m_runsElsewhere;
};

} // namespace paddock

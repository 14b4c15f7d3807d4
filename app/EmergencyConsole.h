// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <optional>

class QLineEdit;
class QPushButton;

namespace paddock {

class LogWindow;
class MooController;
class Run;

/// The console under the log while the server is in its emergency mode: one line for the
/// wizard commands the user types, sent as typed, and buttons for the three ways out. The
/// server's answers and its prompt show in the log above. It goes away once the server leaves
/// the mode or ends.
class EmergencyConsole final : public QWidget {
    Q_OBJECT
public:
    /// Adds a hidden console under the log of window, which owns it, following each run of
    /// controller; asked first when the window closes.
    static EmergencyConsole *addTo(LogWindow &window, MooController &controller);

    /// Shows the console for run while it is in the emergency mode, its history empty; hides
    /// it for any other run.
    void follow(Run &run);
    /// Follows the runs of controller (which must outlive the console or a later call) instead
    /// of another's, beginning with its current run; nothing changes for the one it follows.
    void followController(MooController &controller);
    /// The run the console sends to; none while hidden.
    Run *run() const { return m_run; }

    QLineEdit *input() const { return m_input; }
    QPushButton *continueButton() const { return m_continue; }
    QPushButton *quitButton() const { return m_quit; }
    QPushButton *abortButton() const { return m_abort; }

    /// Asked when Paddock quits: nothing (none) unless the server is in the emergency mode;
    /// then whether to quit the server saving, continue its start-up (either sent, then true),
    /// or cancel (false). It may run a modal event loop.
    std::optional<bool> askBeforeQuitting();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit EmergencyConsole(QWidget *parent);
    void sendTyped();
    /// Sends text and a line end; a way out of the mode the user asked for is a stop when it
    /// ends the server.
    void send(const QString &text);
    void walkHistory(int step);
    void askToAbort();
    void hideConsole();

    QPointer<Run> m_run;
    QPointer<MooController> m_controller;
    QLineEdit *m_input;
    QPushButton *m_continue;
    QPushButton *m_quit;
    QPushButton *m_abort;
    QWidget *m_shown; // what is shown and hidden: the console's dock
    QStringList m_history;
    qsizetype m_historyIndex = 0; // m_history.size(): the line being typed
    QString m_draft;              // the line being typed, while the history is walked
    bool m_inProgram = false;     // "program" lines are being sent, up to "."
};

} // namespace paddock

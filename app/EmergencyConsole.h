// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <memory>
#include <optional>

class QLineEdit;
class QPushButton;

namespace paddock {

class LogWindow;
class MooController;
class Run;

/// What the console keeps of one world's emergency mode: the lines sent to its run (brought
/// back with Up and Down), the line being typed, and whether a program is being sent. Each world
/// keeps its own, so showing another world and then this one again brings it back; a new run
/// begins it anew.
struct ConsoleSession {
    QPointer<Run> run; // the run the lines went to
    QStringList history;
    qsizetype historyIndex = 0; // history.size(): the line being typed
    QString draft;              // the line being typed, while the history is walked
    QString typed;              // what the line held when another world was shown
    bool inProgram = false;     // "program" lines are being sent, up to "."

    /// Begins anew for run, unless it is the run the session has followed already.
    void beginRun(Run &run);
    /// Sends text and a line end to run; a way out of the mode the user asked for is a stop
    /// when it ends the server. Does nothing without a run.
    void send(const QString &text);
};

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

    /// Shows the console for run while it is in the emergency mode, with what its session
    /// holds of the run (nothing for a new run); hides it for any other run.
    void follow(Run &run);
    /// Follows the runs of controller (which must outlive the console or a later call) instead
    /// of another's, beginning with its current run, keeping what is typed in session (a new one
    /// when none is given); what was typed for the one followed until now stays in its own
    /// session. Nothing changes for the controller and session it follows.
    void followController(MooController &controller,
                          std::shared_ptr<ConsoleSession> session = nullptr);
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

    /// A world's server as the question before quitting sees it: its world's name (empty with
    /// one world), its current run and its console session.
    struct QuittingWorld {
        QString name;
        QPointer<Run> run;
        std::shared_ptr<ConsoleSession> session;
    };
    /// As askBeforeQuitting, about every server of worlds that is in its emergency mode, naming
    /// their worlds, on parent: the answer is sent to each that is still in the mode.
    static std::optional<bool> askBeforeQuitting(QWidget *parent,
                                                 const QList<QuittingWorld> &worlds);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit EmergencyConsole(QWidget *parent);
    void sendTyped();
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
    std::shared_ptr<ConsoleSession> m_session = std::make_shared<ConsoleSession>();
};

} // namespace paddock

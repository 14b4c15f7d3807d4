// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <functional>

namespace paddock {

class LogWindow;
class MooController;
class ServerLife;
class ServerStatus;

/// Puts the server's status where it can be read. While a run's end needs the user's
/// attention, its whole sentence stands in the message bar above the log, wrapped, with the
/// ways on that the situation offers as buttons, and the status bar keeps a short form that
/// fits; otherwise the status bar shows the whole status, as always.
class RunEndMessage final : public QObject {
    Q_OBJECT
public:
    /// What the bar's buttons do; the interface performs each, catching what it throws.
    struct Actions {
        std::function<void()> startFromPanicDump;
        std::function<void()> startAgain;
        std::function<void()> startInEmergencyMode; // on the database the run started on
        std::function<void()> showDatabases;
        std::function<void()> openLogFile;
    };

    /// Follows status and life, which must outlive this, and shows them in window once shown.
    RunEndMessage(ServerStatus &status, ServerLife &life, MooController &controller,
                  LogWindow &window, Actions actions, QObject *parent = nullptr);
    ~RunEndMessage() override;
    Q_DISABLE_COPY_MOVE(RunEndMessage)

    /// Whether the window shows this status (its world is the selected one); while not, the
    /// window is left alone, and showing it again puts the status back as it stands.
    void setShown(bool shown);

private:
    void update();

    ServerStatus &m_status;
    ServerLife &m_life;
    MooController &m_controller;
    LogWindow &m_window;
    Actions m_actions;
    bool m_closed = false; // the user closed the bar on this end
    bool m_shown = false;
};

} // namespace paddock

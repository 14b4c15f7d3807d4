// SPDX-License-Identifier: MIT
#include "RunEndMessage.h"

#include "LogWindow.h"
#include "MessageBar.h"
#include "MooController.h"
#include "ServerLife.h"
#include "ServerStatus.h"

#include <sys/stat.h>

namespace paddock {

namespace {

// Only a regular file is offered for opening: the log's name may be a link someone else put
// in the world's folder, which Paddock never wrote through either.
bool isRegularFile(const std::string &path)
{
    struct stat info{};
    return !path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

RunEndMessage::RunEndMessage(ServerStatus &status, ServerLife &life, MooController &controller,
                             LogWindow &window, Actions actions, QObject *parent)
    : QObject(parent)
    , m_status(status)
    , m_life(life)
    , m_controller(controller)
    , m_window(window)
    , m_actions(std::move(actions))
{
    connect(&status, &ServerStatus::textChanged, this, &RunEndMessage::update);
    connect(window.messageBar(), &MessageBar::closed, this, [this] {
        if (!m_shown)
            return; // another world's end was closed
        m_closed = true;
        update();
    });
}

RunEndMessage::~RunEndMessage() = default;

void RunEndMessage::setShown(bool shown)
{
    m_shown = shown;
    update();
}

void RunEndMessage::update()
{
    if (!m_shown)
        return;
    MessageBar *bar = m_window.messageBar();
    if (!m_status.endCallsForAttention()) {
        m_closed = false; // the next end is said again
        bar->dismiss();
        m_window.setStatusText(m_status.text(), m_status.spokenText());
        return;
    }
    if (m_closed) {
        m_window.setStatusText(m_status.text(), m_status.spokenText());
        return;
    }
    QList<MessageBar::Action> actions;
    if (!m_life.panicFile().empty())
        actions.append({tr("Start from &Panic Dump"), m_actions.startFromPanicDump});
    if (!m_life.plannedRestartDatabase().empty())
        actions.append({tr("Start &Again"), m_actions.startAgain});
    // A world that will not start or keeps crashing is repaired from inside: its wizard's
    // commands before anyone connects.
    const bool troubled = m_life.end() == ServerEnd::FailedToStart ||
                          m_life.end() == ServerEnd::Crashed || m_life.restartGivenUp();
    if (troubled && !m_life.runInput().empty())
        actions.append({tr("Start in &Emergency Mode"), m_actions.startInEmergencyMode});
    actions.append({tr("Show &Databases"), m_actions.showDatabases});
    if (isRegularFile(m_controller.logFilePath()))
        actions.append({tr("Open the &Log File"), m_actions.openLogFile});
    // A server that saved nothing on a stop asked for is a risk; anything else went wrong.
    const bool wentWrong = m_life.end() != ServerEnd::Stopped &&
                           m_life.end() != ServerEnd::ShutDownFromInside;
    bar->showMessage(m_status.text(), wentWrong ? WarningLevel::Error : WarningLevel::Risk,
                     actions);
    m_window.setStatusText(m_status.text(), m_status.spokenText(), m_status.shortText());
}

} // namespace paddock

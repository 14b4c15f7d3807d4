// SPDX-License-Identifier: MIT
#include "StateWords.h"

#include <QCoreApplication>

namespace paddock {

namespace {

// Each catalogue context keeps the words its display has always had.
constexpr char StatusContext[] = "paddock::ServerStatus";
constexpr char GlanceContext[] = "paddock::WorldGlance";
constexpr char TitleContext[] = "WorldTitle";

struct Said {
    const char *status; // the status bar's, in StatusContext
    const char *glance; // the list of worlds', in GlanceContext; null: the status bar's own
    const char *title;  // the window title's, in TitleContext
};

// The one table of every display's words. A new phrase must give them all (or say the list
// uses the status bar's), or this does not compile cleanly.
Said said(StatePhrase phrase)
{
    switch (phrase) {
    case StatePhrase::Stopped:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Stopped"), nullptr,
                QT_TRANSLATE_NOOP("WorldTitle", "Stopped")};
    case StatePhrase::Running:
        // The list adds who is on; the status adds its ports, players and checkpoint after.
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Running, PID %1, since %2"),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Running"),
                QT_TRANSLATE_NOOP("WorldTitle", "Running")};
    case StatePhrase::InEmergencyMode:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus",
                                  "Running in emergency mode, PID %1: players cannot connect "
                                  "until you choose Continue"),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Running"),
                QT_TRANSLATE_NOOP("WorldTitle", "Running")};
    case StatePhrase::NotResponding:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Not responding since %1, PID %2"),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Not responding since %1"),
                QT_TRANSLATE_NOOP("WorldTitle", "Running")};
    case StatePhrase::Stopping:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Stopping..."), nullptr,
                QT_TRANSLATE_NOOP("WorldTitle", "Stopping")};
    case StatePhrase::StopTakingLong:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus",
                                  "Stopping... the server is still writing its database or is "
                                  "not answering"),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Stopping..."),
                QT_TRANSLATE_NOOP("WorldTitle", "Stopping")};
    case StatePhrase::LaunchFailed:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Launch failed: "),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Launch failed"),
                QT_TRANSLATE_NOOP("WorldTitle", "Launch failed")};
    case StatePhrase::RestartFailed:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Crashed; starting it again failed: "),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Launch failed"),
                QT_TRANSLATE_NOOP("WorldTitle", "Launch failed")};
    case StatePhrase::WaitingToRestart:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Crashed; starting again in %1 s"),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Crashed; starting again"),
                QT_TRANSLATE_NOOP("WorldTitle", "Waiting to restart")};
    case StatePhrase::ShutDownFromInside:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Shut down from inside the world"),
                nullptr, QT_TRANSLATE_NOOP("WorldTitle", "Stopped")};
    case StatePhrase::FailedToStart:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Failed to start: "),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Failed to start"),
                QT_TRANSLATE_NOOP("WorldTitle", "Failed to start")};
    case StatePhrase::Crashed:
        return {QT_TRANSLATE_NOOP("paddock::ServerStatus", "Crashed: "),
                QT_TRANSLATE_NOOP("paddock::WorldGlance", "Crashed"),
                QT_TRANSLATE_NOOP("WorldTitle", "Crashed")};
    case StatePhrase::EndedUnknown:
        return {
            QT_TRANSLATE_NOOP("paddock::ServerStatus", "Server ended; its exit status is unknown"),
            QT_TRANSLATE_NOOP("paddock::WorldGlance", "Ended"),
            QT_TRANSLATE_NOOP("WorldTitle", "Stopped")};
    }
    return {"", nullptr, ""};
}

} // namespace

StatePhrase statePhrase(ServerLife::State state, ServerEnd end, RunningAs running)
{
    using State = ServerLife::State;
    switch (state) {
    case State::Idle:
        return StatePhrase::Stopped;
    case State::Running:
        switch (running) {
        case RunningAs::Normally:
            return StatePhrase::Running;
        case RunningAs::InEmergencyMode:
            return StatePhrase::InEmergencyMode;
        case RunningAs::NotResponding:
            return StatePhrase::NotResponding;
        }
        return StatePhrase::Running;
    case State::Stopping:
        return StatePhrase::Stopping;
    case State::StopTakingLong:
        return StatePhrase::StopTakingLong;
    case State::LaunchFailed:
        return StatePhrase::LaunchFailed;
    case State::WaitingToRestart:
        return StatePhrase::WaitingToRestart;
    case State::Ended:
        break;
    }
    switch (end) {
    case ServerEnd::ShutDownFromInside:
        return StatePhrase::ShutDownFromInside;
    case ServerEnd::FailedToStart:
        return StatePhrase::FailedToStart;
    case ServerEnd::Crashed:
        return StatePhrase::Crashed;
    case ServerEnd::Unknown:
        return StatePhrase::EndedUnknown;
    case ServerEnd::Stopped:
    case ServerEnd::None: // the end is not known yet
        break;
    }
    return StatePhrase::Stopped;
}

QString statusWords(StatePhrase phrase)
{
    return QCoreApplication::translate(StatusContext, said(phrase).status);
}

QString titleWords(StatePhrase phrase)
{
    return QCoreApplication::translate(TitleContext, said(phrase).title);
}

QString glanceWords(StatePhrase phrase)
{
    const Said words = said(phrase);
    return words.glance ? QCoreApplication::translate(GlanceContext, words.glance)
                        : QCoreApplication::translate(StatusContext, words.status);
}

} // namespace paddock

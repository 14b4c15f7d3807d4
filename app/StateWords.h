// SPDX-License-Identifier: MIT
#pragma once

#include "ServerLife.h"

#include <QString>

namespace paddock {

/// A world's server as the window names it: each state of its life, the ends of a run apart,
/// and the ways a running server can be doing. The status bar and the list of worlds both
/// take their words for it from one table (statusWords, glanceWords), as does the window's title
/// (titleWords), so none can miss one.
enum class StatePhrase {
    Stopped, // never started, or ended by the user's Stop
    Running,
    InEmergencyMode, // running, reading the console's commands; no port open
    NotResponding,   // running, but not answering
    Stopping,
    StopTakingLong,
    LaunchFailed,
    RestartFailed, // starting again after a crash failed (only the status bar tells it apart)
    WaitingToRestart,
    ShutDownFromInside,
    FailedToStart,
    Crashed,
    EndedUnknown, // a reattached server ended: its exit status went to its own parent
};

/// How a running server is doing, as far as the window knows.
enum class RunningAs { Normally, InEmergencyMode, NotResponding };

/// The phrase for a life in state whose last run ended as end; running tells apart the ways
/// a running server can be doing. A failed launch is LaunchFailed here, a restart's too.
StatePhrase statePhrase(ServerLife::State state, ServerEnd end,
                        RunningAs running = RunningAs::Normally);

/// The status bar's words for phrase, the head of its sentence, which the status follows with
/// the details. Running's is a format of the PID and the time (HH:mm:ss), InEmergencyMode's of
/// the PID, NotResponding's of the time (HH:mm) and the PID, WaitingToRestart's of the seconds
/// left; LaunchFailed's, RestartFailed's, FailedToStart's and Crashed's end in ": " before the
/// reason.
QString statusWords(StatePhrase phrase);

/// The list of worlds' words for phrase, beside the world's name: the status bar's where they
/// are short enough, else fewer. NotResponding's is a format of the time (HH:mm).
QString glanceWords(StatePhrase phrase);

/// The window title's word or two for phrase, after the world's name.
QString titleWords(StatePhrase phrase);

} // namespace paddock

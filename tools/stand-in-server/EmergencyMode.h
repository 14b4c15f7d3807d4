// SPDX-License-Identifier: MIT
#pragma once

namespace standin {

/// How the emergency mode was left.
enum class EmergencyExit { Continue, Quit, Abort };

/// Reads wizard commands from standard input as a MOO server started with -e does, after its
/// database is loaded and before it listens: a banner, then "MOO (#2): " without a line end
/// before each command. ";EXPR" and ";;CODE" are answered "=> ..."; "program OBJ:VERB" reads
/// lines up to one holding only "."; "continue", "quit" and "abort" leave, and so does the end
/// of input, as "quit". Continue and quit say "Bye.  (...)" on standard output, log the
/// server's "EMERGENCY_MODE: Leaving mode; ..." line on standard error and close standard
/// output (it then reads /dev/null, so no file opened later takes its number).
EmergencyExit runEmergencyMode();

} // namespace standin

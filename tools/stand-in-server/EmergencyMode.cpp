// SPDX-License-Identifier: MIT
#include "EmergencyMode.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace standin {

namespace {

void put(int fd, const std::string &text)
{
    const char *data = text.data();
    std::size_t size = text.size();
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return;
        data += written;
        size -= std::size_t(written);
    }
}

// One line of standard input without its line end; false at the end of input. Read a byte
// at a time, so nothing after the line is taken from a later reader of the descriptor.
bool readLine(std::string &line)
{
    line.clear();
    for (;;) {
        char c;
        const ssize_t got = ::read(STDIN_FILENO, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return !line.empty();
        if (c == '\n')
            break;
        line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

EmergencyExit leave(bool continuing)
{
    put(STDOUT_FILENO, continuing ? "Bye.  (continuing)\n" : "Bye.  (saving database)\n");
    put(STDERR_FILENO, continuing ? "EMERGENCY_MODE: Leaving mode; will continue...\n"
                                  : "EMERGENCY_MODE: Leaving mode; won't continue...\n");
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    return continuing ? EmergencyExit::Continue : EmergencyExit::Quit;
}

} // namespace

EmergencyExit runEmergencyMode()
{
    put(STDOUT_FILENO, "\nStand-in Emergency Wizard Mode\n"
                       "Commands: ;EXPR, ;;CODE, program OBJ:VERB, continue, quit, abort\n");
    std::string line;
    for (;;) {
        put(STDOUT_FILENO, "MOO (#2): ");
        if (!readLine(line))
            return leave(false); // the end of input counts as quit
        if (line.rfind(";;", 0) == 0) {
            put(STDOUT_FILENO, "=> 0\n");
        } else if (line.rfind(";", 0) == 0) {
            put(STDOUT_FILENO, "=> " + line.substr(1) + "\n");
        } else if (line.rfind("program ", 0) == 0) {
            std::string code;
            int lines = 0;
            while (readLine(code) && code != ".")
                ++lines;
            put(STDOUT_FILENO, "Verb programmed (" + std::to_string(lines) + " lines).\n");
        } else if (line == "continue" || line == "quit") {
            return leave(line == "continue");
        } else if (line == "abort") {
            return EmergencyExit::Abort;
        } else if (!line.empty()) {
            put(STDOUT_FILENO, "Unknown command: " + line + "\n");
        }
    }
}

} // namespace standin

// SPDX-License-Identifier: MIT
// stand-in-server: behaves towards Paddock like a MOO server, for tests and for trying
// Paddock without one. It takes exactly two arguments, the input database and the output
// name, after an optional "-e" (emergency mode: see EmergencyMode.h), reports what it got, and on
// SIGTERM writes the output database (the input's contents plus a line) under the output name,
// resolved against its working directory; like a MOO server, it exits with 0 even when it could not
// open a file to write it in.
//
// What else it does is read from the input database, one command a line (others ignored):
//   exit N               exit at once with status N
//   ignore-term          ignore SIGTERM from now on
//   stdout TEXT          write TEXT and a newline to standard output
//   stderr TEXT          write TEXT and a newline to standard error
//   flood N [stderr]     write N bytes as fast as it can (100-byte lines)
//   bytes                write every byte value from 0 to 255 once, in order, to standard output
//   interleave N SEED    write N bytes to each stream in random-sized pieces (bytes 0x11, 0x12)
//   crash SIGNAL         end by the signal (a number, or SEGV, ABRT, KILL, BUS)
//   fork-helper SECONDS  fork a helper that keeps both streams open for SECONDS
//   close-output         close standard output and standard error, run on
//   report               print the descriptors, signal mask, ignored signals, process group
//                        and what standard input is
//   env NAME             print the value of the environment variable NAME
//   wait-usr1            pause until SIGUSR1 comes
//   sleep-ms N           pause
//   tick-ms N            while waiting, write a line every N milliseconds
//   usr2-handler         install a handler for SIGUSR2 (it stays blocked and waited for), so
//                        the kernel reports the signal as caught, as a MOO server's is
//   checkpoint           checkpoint at once, as on SIGUSR2
//   dump-fails N [SECONDS]  the next N dumps fail as on a full disk: half the database is
//                        written, then ENOSPC; a failed final dump is tried again after
//                        SECONDS (60 when not given)
//   dump-cut             the next dump is reported finished but lacks the closing lines of a
//                        database, as a file cut short
//   listen PORT [MS]     listen on the loopback interface (PORT 0: any free port) and answer
//                        connections as a MOO server does; after MS milliseconds, stop
//                        answering them, as a frozen server. In emergency mode, only once the
//                        mode is left with "continue", as a MOO server opens its ports then
//   login NAME N         log that player NAME (#N) logged in; logout NAME N: out
//   checkpointer         fork a child whose command line reads "(MOO checkpointer)", as a MOO
//                        server's checkpoint child's does; it lives until the server ends
//
// A checkpoint, on SIGUSR2 or by the command, is logged to standard error in the MOO server's
// words: "CHECKPOINTING on OUTPUT.#N# ..." and then "... finished"; the dump at SIGTERM says
// "DUMPING" instead. Each dump is written under that temporary name and renamed over the
// output once whole: the input's contents, a line naming the dump and its number, and the
// closing line a MOO server ends a database with ("0 active connections with listeners").
// A failure is logged as a MOO server logs it ("*** Trying to dump database: REASON", or
// "Opening" / "Renaming temporary dump file: REASON"), followed by "*** Abandoning checkpoint
// attempt..." for a checkpoint and, for the final dump, by "*** Waiting N seconds and
// retrying dump..." and another try; a temporary file that cannot be opened or renamed ends
// the final dump without one.
#include "Connections.h"
#include "EmergencyMode.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>
#include <vector>

namespace {

void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return; // EPIPE once Paddock is gone: go on without output
        }
        data += written;
        size -= size_t(written);
    }
}

void say(int fd, const std::string &text)
{
    const std::string line = text + "\n";
    writeAll(fd, line.data(), line.size());
}

std::string hex(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out.empty() ? "-" : out;
}

std::string statusLine(const char *field)
{
    FILE *status = std::fopen("/proc/self/status", "re");
    if (!status)
        return "?";
    char line[512];
    std::string value = "?";
    const size_t length = std::strlen(field);
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            value = line + length + 1;
            value.erase(0, value.find_first_not_of(" \t"));
            value.erase(value.find_last_not_of("\n") + 1);
        }
    }
    std::fclose(status);
    return value;
}

// What descriptor 0 refers to ("/dev/null", "pipe:[N]"), or "closed".
std::string standardInput()
{
    char target[4096];
    const ssize_t length = ::readlink("/proc/self/fd/0", target, sizeof target);
    return length < 0 ? "closed" : std::string(target, size_t(length));
}

std::string openDescriptors()
{
    std::string list;
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return "?";
    const int own = ::dirfd(dir);
    std::vector<int> fds;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const int fd = std::atoi(entry->d_name);
        if (fd != own)
            fds.push_back(fd);
    }
    ::closedir(dir);
    std::sort(fds.begin(), fds.end());
    for (const int fd : fds)
        list += (list.empty() ? "" : ",") + std::to_string(fd);
    return list;
}

void sleepMs(long ms)
{
    timespec pause{ms / 1000, (ms % 1000) * 1000000};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

int signalNumber(const std::string &name)
{
    if (name == "SEGV")
        return SIGSEGV;
    if (name == "ABRT")
        return SIGABRT;
    if (name == "KILL")
        return SIGKILL;
    if (name == "BUS")
        return SIGBUS;
    return std::atoi(name.c_str());
}

void flood(int fd, long long bytes)
{
    std::string block;
    // 100-byte lines: "flood NNNNNNNN " and filler up to the newline.
    const std::string filler =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrs";
    for (int line = 0; block.size() < 64 * 1024 - 100; ++line) {
        std::string number = std::to_string(line);
        number.insert(0, 8 - std::min<size_t>(8, number.size()), '0');
        block += "flood " + number + " " + filler.substr(0, 100 - 16) + "\n";
    }
    while (bytes > 0) {
        const size_t take = size_t(std::min<long long>(bytes, (long long)block.size()));
        writeAll(fd, block.data(), take);
        bytes -= (long long)take;
    }
}

void interleave(long long bytes, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> size(1, 9000);
    long long left[2] = {bytes, bytes};
    // Bytes that no path or message of ours contains, so a reader can count them.
    const std::string out(9000, '\x11'), err(9000, '\x12');
    while (left[0] > 0 || left[1] > 0) {
        const int stream = (left[0] > 0 && (left[1] == 0 || random() % 2 == 0)) ? 0 : 1;
        const long long take = std::min<long long>(size(random), left[stream]);
        writeAll(stream == 0 ? STDOUT_FILENO : STDERR_FILENO, (stream == 0 ? out : err).data(),
                 size_t(take));
        left[stream] -= take;
    }
}

void ignoreSignal(int) {}

// What "dump-fails" asked for: how many dumps are still to fail as on a full disk, and the
// pause before a failed final dump is tried again.
int dumpFailuresLeft = 0;
long dumpRetrySeconds = 60;
bool nextDumpCut = false; // what "dump-cut" asked for

// Writes bytes whole to fd; returns 0, or the error that stopped it. A dump meant to fail
// stops halfway with ENOSPC, as on a full disk.
int writeDatabase(int fd, const std::string &bytes, bool failing)
{
    const size_t size = failing ? bytes.size() / 2 : bytes.size();
    for (size_t done = 0; done < size;) {
        const ssize_t written = ::write(fd, bytes.data() + done, size - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            return errno;
        done += size_t(written);
    }
    return failing ? ENOSPC : 0;
}

// Writes the output database under temporary, then renames it over the output, checking
// every step as a MOO server does; returns an empty text, or what failed and why.
std::string writeOutputDatabase(const std::string &temporary, const std::string &output,
                                const std::string &saved)
{
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return std::string("Opening temporary dump file: ") + std::strerror(errno);
    const bool failing = dumpFailuresLeft > 0;
    if (failing)
        --dumpFailuresLeft;
    int error = writeDatabase(fd, saved, failing);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0 && errno != EINTR)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return std::string("Trying to dump database: ") + std::strerror(error);
    }
    if (::rename(temporary.c_str(), output.c_str()) != 0) {
        error = errno;
        ::unlink(temporary.c_str());
        return std::string("Renaming temporary dump file: ") + std::strerror(error);
    }
    return {};
}

// Writes the output database as a MOO server's checkpoint or final dump at shutdown does,
// saying so in its words. A failed checkpoint is abandoned; a failed final dump is tried
// again after a pause, until it succeeds, unless the temporary file could not be opened or
// renamed.
void dump(const std::string &output, const std::string &contents, bool shutdown)
{
    static int number = 0;
    const std::string word = shutdown ? "DUMPING" : "CHECKPOINTING";
    const char *why = shutdown ? "shut down" : "checkpoint";
    for (;;) {
        const std::string temporary = output + ".#" + std::to_string(++number) + "#";
        say(STDERR_FILENO, word + " on " + temporary + " ...");
        const std::string ending = nextDumpCut ? "" : "0 active connections with listeners\n";
        nextDumpCut = false;
        const std::string failure = writeOutputDatabase(temporary, output,
                                                        contents + "stand-in-server: " + why + " " +
                                                            std::to_string(number) + "\n" + ending);
        if (failure.empty()) {
            say(STDOUT_FILENO,
                std::string("stand-in-server: ") + why + ", wrote \"" + output + "\"");
            say(STDERR_FILENO, word + " on " + temporary + " finished");
            return;
        }
        say(STDERR_FILENO, "*** " + failure);
        if (!shutdown) {
            say(STDERR_FILENO, "*** Abandoning checkpoint attempt...");
            return;
        }
        if (failure.rfind("Trying", 0) != 0)
            return; // like a MOO server, it then exits with 0 without a database
        say(STDERR_FILENO,
            "*** Waiting " + std::to_string(dumpRetrySeconds) + " seconds and retrying dump...");
        sleepMs(dumpRetrySeconds * 1000);
    }
}

} // namespace

int main(int argc, char **argv)
{
    // What the launcher gave us, read before we change anything.
    const std::string initialDescriptors = openDescriptors();
    const std::string initialBlocked = statusLine("SigBlk");
    const std::string initialIgnored = statusLine("SigIgn");
    const std::string initialInput = standardInput();

    const bool emergency = argc == 4 && std::string(argv[1]) == "-e";
    if (emergency) {
        --argc;
        ++argv;
    }
    if (argc != 3) {
        say(STDERR_FILENO,
            "stand-in-server: expected 2 arguments, got " + std::to_string(argc - 1));
        return 2;
    }
    const std::string input = argv[1];
    const std::string output = argv[2];
    char cwdBuffer[8192];
    const std::string cwd = ::getcwd(cwdBuffer, sizeof cwdBuffer) ? cwdBuffer : "?";

    say(STDOUT_FILENO, "stand-in-server: database \"" + input + "\", output \"" + output +
                           "\", folder \"" + cwd + "\"");
    say(STDERR_FILENO, "stand-in-server: argc=" + std::to_string(argc) + " db=" + hex(input) +
                           " out=" + hex(output) + " cwd=" + hex(cwd));

    // Hold SIGTERM and SIGUSR2 until we wait for them, so a stop during a flood still saves;
    // SIGUSR1 is held for wait-usr1, so one sent early is not lost.
    sigset_t waited;
    sigemptyset(&waited);
    sigaddset(&waited, SIGTERM);
    sigaddset(&waited, SIGUSR2);
    ::sigprocmask(SIG_BLOCK, &waited, nullptr);
    sigset_t resume;
    sigemptyset(&resume);
    sigaddset(&resume, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &resume, nullptr);

    std::string contents;
    {
        const int fd = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            say(STDERR_FILENO,
                "stand-in-server: cannot open \"" + input + "\": " + std::strerror(errno));
            return 1;
        }
        char buffer[65536];
        ssize_t got;
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
            contents.append(buffer, size_t(got));
        ::close(fd);
    }

    long tickMs = -1;
    int listening = 7777; // the port logins are logged on
    // A listen the emergency mode puts off until it is left.
    int deferredPort = -1;
    long deferredAnswerMs = -1;
    std::istringstream script(contents);
    std::string line;
    while (std::getline(script, line)) {
        std::istringstream words(line);
        std::string command;
        words >> command;
        if (command == "exit") {
            int status = 0;
            words >> status;
            return status;
        } else if (command == "ignore-term") {
            ::signal(SIGTERM, SIG_IGN);
            sigdelset(&waited, SIGTERM);
            sigset_t term;
            sigemptyset(&term);
            sigaddset(&term, SIGTERM);
            ::sigprocmask(SIG_UNBLOCK, &term, nullptr);
        } else if (command == "stdout" || command == "stderr") {
            std::string text = line.substr(std::min(line.size(), command.size() + 1));
            say(command == "stdout" ? STDOUT_FILENO : STDERR_FILENO, text);
        } else if (command == "flood") {
            long long bytes = 0;
            std::string stream;
            words >> bytes >> stream;
            flood(stream == "stderr" ? STDERR_FILENO : STDOUT_FILENO, bytes);
        } else if (command == "bytes") {
            char all[256];
            for (int value = 0; value < 256; ++value)
                all[value] = char(value);
            writeAll(STDOUT_FILENO, all, sizeof all);
        } else if (command == "interleave") {
            long long bytes = 0;
            unsigned seed = 1;
            words >> bytes >> seed;
            interleave(bytes, seed);
        } else if (command == "crash") {
            std::string name;
            words >> name;
            const int signal = signalNumber(name);
            ::signal(signal, SIG_DFL);
            sigset_t only;
            sigemptyset(&only);
            sigaddset(&only, signal);
            ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
            ::raise(signal);
            return 125; // not reached for a fatal signal
        } else if (command == "fork-helper") {
            long seconds = 5;
            words >> seconds;
            const pid_t helper = ::fork();
            if (helper == 0) {
                sleepMs(seconds * 1000);
                ::_exit(0);
            }
            say(STDOUT_FILENO,
                "stand-in-server: helper " + std::to_string(helper) + " keeps the output open");
        } else if (command == "checkpointer") {
            const pid_t parent = ::getpid();
            const pid_t child = ::fork();
            if (child == 0) {
                // A MOO server writes the new command line over its arguments' own bytes.
                char *const begin = argv[0];
                char *const end = argv[argc - 1] + std::strlen(argv[argc - 1]);
                std::memset(begin, 0, size_t(end - begin));
                std::strncpy(begin, "(MOO checkpointer)", size_t(end - begin));
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);
                if (::getppid() != parent)
                    ::_exit(0);
                for (;;)
                    ::pause();
            }
        } else if (command == "close-output") {
            ::close(STDOUT_FILENO);
            ::close(STDERR_FILENO);
        } else if (command == "report") {
            say(STDOUT_FILENO,
                "stand-in-server: fds=" + initialDescriptors + " blocked=" + initialBlocked +
                    " ignored=" + initialIgnored + " pid=" + std::to_string(::getpid()) +
                    " pgid=" + std::to_string(::getpgrp()) + " stdin=" + initialInput);
        } else if (command == "env") {
            std::string name;
            words >> name;
            const char *value = std::getenv(name.c_str());
            say(STDOUT_FILENO, "stand-in-server: env " + name +
                                   (value ? "=" + std::string(value) : std::string(" unset")));
        } else if (command == "wait-usr1") {
            siginfo_t info;
            while (::sigwaitinfo(&resume, &info) < 0 && errno == EINTR) {
            }
        } else if (command == "sleep-ms") {
            long ms = 0;
            words >> ms;
            sleepMs(ms);
        } else if (command == "tick-ms") {
            words >> tickMs;
        } else if (command == "usr2-handler") {
            struct sigaction action = {};
            action.sa_handler = ignoreSignal;
            ::sigaction(SIGUSR2, &action, nullptr);
        } else if (command == "checkpoint") {
            dump(output, contents, false);
        } else if (command == "dump-cut") {
            nextDumpCut = true;
        } else if (command == "dump-fails") {
            long seconds = 60;
            words >> dumpFailuresLeft >> seconds;
            dumpRetrySeconds = words ? seconds : 60;
        } else if (command == "listen") {
            int port = 0;
            long answerMs = -1;
            words >> port;
            if (!(words >> answerMs))
                answerMs = -1; // answer for ever
            if (emergency) {
                deferredPort = port;
                deferredAnswerMs = answerMs;
                continue;
            }
            const auto log = [](const std::string &text) { say(STDERR_FILENO, text); };
            listening = standin::listenOnLoopback(port, answerMs, log);
        } else if (command == "login" || command == "logout") {
            std::string name;
            long long object = 0;
            words >> name >> object;
            say(STDERR_FILENO, standin::playerLine(command == "login", name, object, listening));
        }
    }

    if (emergency) {
        switch (standin::runEmergencyMode()) {
        case standin::EmergencyExit::Continue:
            break;
        case standin::EmergencyExit::Quit:
            dump(output, contents, true);
            return 0;
        case standin::EmergencyExit::Abort:
            return 1; // nothing written
        }
        if (deferredPort >= 0) {
            const auto log = [](const std::string &text) { say(STDERR_FILENO, text); };
            standin::listenOnLoopback(deferredPort, deferredAnswerMs, log);
        }
    }

    say(STDOUT_FILENO, "stand-in-server: running");
    for (long tick = 0;; ++tick) {
        siginfo_t info;
        int signal;
        if (tickMs > 0) {
            const timespec timeout{tickMs / 1000, (tickMs % 1000) * 1000000};
            signal = ::sigtimedwait(&waited, &info, &timeout);
        } else {
            signal = ::sigwaitinfo(&waited, &info);
        }
        if (signal == SIGTERM) {
            // Like a MOO server, it says when it cannot save and still exits with 0.
            dump(output, contents, true);
            return 0;
        }
        if (signal == SIGUSR2) {
            dump(output, contents, false);
        } else if (signal < 0 && errno == EAGAIN) {
            say(STDOUT_FILENO, "stand-in-server: tick " + std::to_string(tick));
        }
    }
}

// SPDX-License-Identifier: MIT
#include "CommandLine.h"

#include "KeeperLocation.h"
#include "StatusCommand.h"
#include "WorldCommand.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <cstring>

namespace paddock {

namespace {

// The synopsis, once: --help prints these lines, and the manual page's SYNOPSIS is checked
// against them by the tests.
constexpr const char *SynopsisLines[] = {
    "paddock",
    "paddock --help",
    "paddock --version",
    "paddock status [--json] [WORLD]",
    "paddock start [WORLD]",
    "paddock stop [WORLD]",
    "paddock checkpoint [WORLD]",
};

// The status for arguments Paddock does not understand, as getopt-style programs use it.
constexpr int UsageErrorStatus = 2;

// The catalogue files tr() outside any class under the namespace.
QString tr(const char *text)
{
    return QCoreApplication::translate("paddock", text);
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

QString helpText()
{
    QString text = tr("Usage:") + u'\n';
    for (const char *line : SynopsisLines)
        text += QStringLiteral("  ") + QString::fromLatin1(line) + u'\n';
    text +=
        u'\n' +
        tr("Opens Paddock's window, from which a MOO server is started, watched and stopped.\n"
           "Only one Paddock runs per user: a second one brings the first window to the front.\n") +
        u'\n' +
        tr("Options:\n"
           "  --help     print this help and exit\n"
           "  --version  print Paddock's version and exit\n") +
        u'\n' +
        tr("Commands (WORLD is a world's name as the window shows it; with one world it\n"
           "may be left out):\n"
           "  status     print in one line whether the running Paddock runs a server, and\n"
           "             which (with several worlds, a line for each); with --json, as a JSON\n"
           "             object. Exit status 0 when a server runs, 3 when none does, 4 when no\n"
           "             Paddock runs or it does not answer\n"
           "  start      start WORLD from the database the window would suggest, its last\n"
           "             output; a start that needs your word on a risk is refused\n"
           "  stop       stop WORLD's server and wait until it has ended; after the grace\n"
           "             period it fails, leaving the server being asked to stop\n"
           "  checkpoint ask WORLD's server for a checkpoint, as Checkpoint Now does\n"
           "\n"
           "start, stop and checkpoint exit with 0 when done, 1 when refused or failed (the\n"
           "reason on standard error), 2 for a world Paddock does not keep, 4 when no Paddock\n"
           "runs or it does not answer.\n");
    // Where the keeper is looked for, so an administrator can see at once why a server's
    // output would not be kept after Paddock ends.
    const QString keeper = QString::fromLocal8Bit(installedKeeperPath());
    text += u'\n' + tr("The keeper, which holds a server's output while no Paddock runs:") + u'\n' +
            QStringLiteral("  ") + keeper;
    if (!QFileInfo(keeper).isExecutable())
        text += u' ' + tr("(missing)");
    return text + u'\n';
}

} // namespace

std::optional<int> answerCommandLine(int argc, char *argv[])
{
    if (argc >= 2 && (std::strcmp(argv[1], "status") == 0 || isWorldCommand(argv[1]))) {
        const bool status = std::strcmp(argv[1], "status") == 0;
        bool json = false;
        std::optional<QString> world;
        for (int i = 2; i < argc; ++i) {
            const QString argument = QString::fromLocal8Bit(argv[i]);
            if (status && !json && argument == QStringLiteral("--json")) {
                json = true;
            } else if (!world && !argument.startsWith(u'-')) {
                world = argument;
            } else {
                print(stderr, (status ? tr("paddock: status takes only --json and a world's "
                                           "name, not \"%1\".")
                                            .arg(argument)
                                      : tr("paddock: %1 takes only a world's name, not \"%2\".")
                                            .arg(QString::fromLatin1(argv[1]), argument)) +
                                  u'\n');
                return UsageErrorStatus;
            }
        }
        // The socket needs an application object, but no display and no window.
        int arguments = 1;
        const QCoreApplication application(arguments, argv);
        const QString verb = QString::fromLatin1(argv[1]);
        return status ? answerStatus(json, world.value_or(QString()))
                      : answerWorldCommand(verb, world.value_or(QString()));
    }
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--help") == 0) {
            help = true;
        } else if (std::strcmp(argument, "--version") == 0) {
            version = true;
        } else {
            const QString text = QString::fromLocal8Bit(argument);
            print(stderr, (argument[0] == '-' ? tr("paddock: unknown option \"%1\".")
                                              : tr("paddock: unknown command \"%1\"."))
                                  .arg(text) +
                              u' ' + tr("\"paddock --help\" lists what Paddock takes.") + u'\n');
            return UsageErrorStatus;
        }
    }
    if (!help && !version)
        return std::nullopt;
    print(stdout, help ? helpText() : QStringLiteral("Paddock " PADDOCK_VERSION "\n"));
    // Output that could not be written (a full disk, a closed pipe) is a failure to say so.
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}

} // namespace paddock

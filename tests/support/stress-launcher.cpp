// SPDX-License-Identifier: MIT
// A launcher for the stress suite to kill: starts the server named on its command line on the
// database given there, prints the server's process id, then runs until it is killed.
#include "MooController.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    if (argc != 3)
        return 2;
    using namespace paddock;
    UserDefaultsController prefs;
    MooController controller;
    controller.connectOutlets(&prefs, nullptr, nullptr);
    controller.awakeFromNib();
    prefs.defaults().setString(MOOExecutableURL, argv[1]);
    controller.setDbPath(makeString(argv[2]));
    controller.determineNewDbName();
    controller.runMoo();
    std::printf("%d\n", controller.task()->processIdentifier());
    std::fflush(stdout);
    return application.exec();
}

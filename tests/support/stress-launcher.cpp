// SPDX-License-Identifier: MIT
// A launcher for the stress suite to kill: starts the server named on its command line on the
// database given there (in its emergency mode after "-e"), prints the server's process id,
// then runs until it is killed.
//   stress-launcher SERVER DATABASE [-e]
#include "MooController.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QCoreApplication>

#include <cstdio>
#include <string_view>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const bool emergency = argc == 4 && std::string_view(argv[3]) == "-e";
    if (argc != 3 && !emergency)
        return 2;
    using namespace paddock;
    UserDefaultsController prefs;
    MooController controller;
    controller.connectOutlets(&prefs, nullptr, nullptr);
    controller.awakeFromNib();
    prefs.defaults().setString(MOOExecutableURL, argv[1]);
    controller.setDbPath(makeString(argv[2]));
    controller.determineNewDbName();
    controller.runMoo(emergency ? StartMode::Emergency : StartMode::Normal);
    std::printf("%d\n", controller.task()->processIdentifier());
    std::fflush(stdout);
    return application.exec();
}

// SPDX-License-Identifier: MIT
// Forms one output database name as the launcher does, from the template and the database
// named on its command line, and prints it: each run is a process of its own, with its own
// random generator.
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
    MooController controller;
    UserDefaults::standardUserDefaults().setString(MOONewDBNameFormat, argv[1]);
    controller.setDbPath(makeString(argv[2]));
    controller.determineNewDbName();
    std::printf("%s\n", controller.newDbPath()->c_str());
    return 0;
}

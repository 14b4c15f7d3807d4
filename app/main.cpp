// SPDX-License-Identifier: MIT
#include "Interface.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // The desktop matches the window to paddock.desktop and its icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("paddock"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("paddock"),
                                                 QIcon(QStringLiteral(":/paddock/paddock.png"))));
    paddock::Interface interface;
    return application.exec();
}

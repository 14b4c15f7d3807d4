// SPDX-License-Identifier: MIT
#include "ArchiveFiles.h"
#include "CommandLine.h"
#include "FileHandle.h"
#include "Interface.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <csignal>

int main(int argc, char *argv[])
{
    // A file size limit then fails the log file's write instead of ending Paddock.
    std::signal(SIGXFSZ, SIG_IGN);
    // Before the application object, which would need a display.
    if (const std::optional<int> answered = paddock::answerCommandLine(argc, argv))
        return *answered;
    QApplication application(argc, argv);
    // The system language's catalogues, Qt's own for its dialogs and Paddock's, when there
    // are; the template compiles to an empty catalogue, which is left out.
    QTranslator qtCatalogue, catalogue;
    if (qtCatalogue.load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtCatalogue);
    if (catalogue.load(QLocale(), QStringLiteral("paddock"), QStringLiteral("_"),
                       QStringLiteral(":/paddock/translations")) &&
        !catalogue.isEmpty())
        QCoreApplication::installTranslator(&catalogue);
    // The desktop matches the window to its desktop entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(PADDOCK_DESKTOP_ID));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral(PADDOCK_DESKTOP_ID),
                         QIcon(QStringLiteral(":/paddock/icons/paddock-128.png"))));
    // One Paddock per user, so two never fight over one server or its record.
    paddock::SingleInstance instance;
    if (!instance.claim())
        return 0;
    paddock::Interface interface;
    // Run all the same, but never silently beside another Paddock.
    if (!instance.problem().isEmpty())
        interface.showFailure(
            QCoreApplication::translate("main", "Paddock cannot keep a second Paddock from "
                                                "starting beside this one."),
            instance.problem());
    QObject::connect(&instance, &paddock::SingleInstance::activationRequested, &interface,
                     [&interface] { interface.bringToFront(); });
    // `paddock status`, `paddock start` and the other commands ask through the same socket.
    instance.setRequestHandler([&interface](const QString &verb, const QJsonObject &request,
                                            const paddock::SingleInstance::Respond &respond) {
        interface.answerRequest(verb, request, respond);
    });
    const int status = application.exec();
    // Archiving still running on a worker would keep the process alive with its window gone;
    // its journal lets the next Paddock finish it.
    paddock::cancelArchiveWork();
    // A server that runs on keeps writing: what its reading threads took from its pipes is in
    // the log file before Paddock goes, and the rest waits in the pipes for its keeper.
    paddock::FileHandle::stopAllReading();
    return status;
}

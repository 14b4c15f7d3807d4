#include "MooController.h"

namespace paddock {

void MooController::startMoo(QObject *) {}
void MooController::chooseURL(QObject *) {}
void MooController::preferences(QObject *) {}
void MooController::promptUserToFindDb() {}
void MooController::openPanelDidEnd(OpenPanel *, int, int) {}

} // namespace paddock

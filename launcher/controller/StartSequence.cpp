// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "LaunchError.h"
#include "OpenPanel.h"
#include "OutputDatabase.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"
#include "Window.h"

#include <exception>

namespace paddock {

namespace {

// Translated where they are shown, once a translator may be installed.
const char *const ExecutableMessage =
    QT_TRANSLATE_NOOP("paddock::MooController", "Please find the exectuble for the MOO:");
const char *const DatabaseMessage =
    QT_TRANSLATE_NOOP("paddock::MooController", "Please choose a MOO database to use:");
const char *const EmergencyDatabaseMessage = QT_TRANSLATE_NOOP(
    "paddock::MooController", "Please choose a MOO database to repair in emergency mode:");

void makeKeyAndOrderFront(Window *window)
{
    if (window)
        window->makeKeyAndOrderFront();
}

// Opens a chooser on window, or brings forward the one already open there: a window
// never carries two. The window comes forward first, so the chooser is seen even when
// its window was hidden or behind another.
void beginChooser(MooController *controller, Window *window, ChooserPurpose purpose,
                  const QString &message, const QString &identifier,
                  const std::optional<std::string> &suggestedFile)
{
    makeKeyAndOrderFront(window);
    if (OpenPanel *open = OpenPanel::attachedSheet(window)) {
        open->orderFront();
        return;
    }
    OpenPanel *panel = OpenPanel::openPanel(window);
    if (!panel)
        return; // no window to open it on
    panel->setMessage(message);
    panel->setIdentifier(identifier);
    // The answer may come after the controller is gone; it then goes nowhere.
    const QPointer<MooController> receiver(controller);
    panel->beginSheetForDirectory(
        std::nullopt, suggestedFile, window,
        [receiver](OpenPanel *answered, int returnCode, int contextInfo) {
            if (receiver)
                receiver->openPanelDidEnd(answered, returnCode, contextInfo);
        },
        purpose);
}

} // namespace

void MooController::startMoo(QObject *)
{
    beginStart(StartMode::Normal);
}

void MooController::startMooInEmergencyMode(QObject *)
{
    beginStart(StartMode::Emergency);
}

void MooController::beginStart(StartMode mode)
{
    std::optional<std::string> executable;
    if (m_prefsController)
        executable = m_prefsController->defaults().stringForKey(MOOExecutableURL);
    if (executable && !executable->empty()) {
        promptUserToFindDb(mode);
        return;
    }
    m_promptMode = mode;
    m_shouldPromptForDb = true;
    chooseURL(this);
}

void MooController::chooseURL(QObject *)
{
    beginChooser(this, m_prefsWindow, executableChooser, tr(ExecutableMessage),
                 ExecutableChooserIdentifier, std::nullopt);
}

void MooController::preferences(QObject *)
{
    makeKeyAndOrderFront(m_prefsWindow);
}

void MooController::promptUserToFindDb(StartMode mode)
{
    std::optional<std::string> lastName;
    if (m_prefsController)
        lastName = m_prefsController->defaults().stringForKey(MOOLastDBName);
    if (lastName && lastName->empty())
        lastName.reset();
    const bool emergency = mode == StartMode::Emergency;
    beginChooser(this, m_logWindow, emergency ? emergencyDatabaseChooser : databaseChooser,
                 tr(emergency ? EmergencyDatabaseMessage : DatabaseMessage),
                 DatabaseChooserIdentifier, lastName);
}

void MooController::openPanelDidEnd(OpenPanel *panel, int returnCode, int contextInfo)
{
    if (returnCode != OpenPanel::OKButton || !panel || panel->filenames().empty())
        return;
    const std::string chosen = panel->filenames().front();

    switch (contextInfo) {
    case executableChooser:
        if (m_prefsController)
            m_prefsController->defaults().setString(MOOExecutableURL, chosen);
        if (m_shouldPromptForDb) {
            promptUserToFindDb(m_promptMode);
            m_shouldPromptForDb = false;
        }
        return;
    case databaseChooser:
        startFromDatabase(chosen);
        return;
    case emergencyDatabaseChooser:
        startFromDatabase(chosen, StartMode::Emergency);
        return;
    default:
        return;
    }
}

QString MooController::startRefusal(const std::string &db)
{
    if (m_beforeStart)
        if (const std::string refusal = m_beforeStart(db); !refusal.empty())
            return QString::fromLocal8Bit(refusal);
    // A server an earlier Paddock started may still run on it, writing the same files.
    return recordedServerRefusal(db);
}

bool MooController::startFromDatabase(const std::string &db, StartMode mode, StartAsking asking)
{
    setDbPath(makeString(db));
    // Called from the dialog's answer or another window, outside any action whose failure
    // the shell would catch, so a failure is reported here and nothing is thrown into the
    // event loop. The state stays as the failed launch left it.
    try {
        if (const QString refusal = startRefusal(db); !refusal.isEmpty()) {
            Q_EMIT launchFailed(refusal, refusal);
            return false;
        }
        // A name that cannot work is refused before it is recorded or handed to a server,
        // which would run for weeks and then fail to save.
        const std::string name = formNewDbName();
        QString refusal;
        switch (checkOutputName(db, name, asking == StartAsking::User, refusal)) {
        case OutputNameVerdict::Use:
            break;
        case OutputNameVerdict::Declined:
            return false;
        case OutputNameVerdict::Refused:
            Q_EMIT launchFailed(refusal, refusal);
            return false;
        }
        setNewDbPath(makeString(name));
        runMoo(mode);
        return true;
    } catch (const LaunchError &error) {
        Q_EMIT launchFailed(QString::fromLocal8Bit(error.what()),
                            QString::fromLocal8Bit(error.reason()));
    } catch (const std::exception &error) {
        const QString message = QString::fromLocal8Bit(error.what());
        Q_EMIT launchFailed(message, message);
    }
    return false;
}

MooController::OutputNameVerdict MooController::checkOutputName(const std::string &db,
                                                                const std::string &name,
                                                                bool mayAsk, QString &refusal)
{
    const OutputNameProblem problem = outputNameProblem(db, name);
    if (problem == OutputNameProblem::None)
        return OutputNameVerdict::Use;
    const QString shown = visiblePath(name);
    if (problem != OutputNameProblem::OverwritesInput) {
        refusal = QString::fromLocal8Bit(describeOutputNameProblem(problem, name));
        return OutputNameVerdict::Refused;
    }
    // The server dumps under a temporary name and renames it over the input, so this works;
    // but no earlier copy is kept, which only the user may accept.
    if (!mayAsk || !m_confirmRisk) {
        refusal = tr("The output name “%1” is the database the server runs on: the server would "
                     "overwrite its input database, and nobody was asked to accept that risk, so "
                     "it was not started.")
                      .arg(shown);
        return OutputNameVerdict::Refused;
    }
    const bool accepted = m_confirmRisk(
        tr("Start the server with its output written over “%1”?").arg(visiblePath(db)),
        tr("The output name “%1” is the database the server starts from. The server writes each "
           "dump under a temporary name and then puts it in place of that database, so this "
           "works, but no earlier copy is kept: if the server crashes or saves a damaged world, "
           "there may be no useful database left.")
            .arg(shown));
    // The question ran an event loop: a restart may have started a server meanwhile.
    if (!accepted || isMooRunning())
        return OutputNameVerdict::Declined;
    return OutputNameVerdict::Use;
}

} // namespace paddock

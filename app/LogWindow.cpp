// SPDX-License-Identifier: MIT
#include "LogWindow.h"

#include "ElidedLabel.h"
#include "LogPane.h"
#include "LogView.h"
#include "MessageBar.h"
#include "PrivateFolder.h"
#include "ScreenFit.h"
#include "String.h"
#include "UserDefaults.h"
#include "WarningColour.h"
#include "ui_LogWindow.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

namespace paddock {

namespace {

const QString geometryKey = QStringLiteral("geometry");
const QString stateKey = QStringLiteral("state");

} // namespace

LogWindow::LogWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::LogWindow>())
    , m_placement(std::make_unique<UserDefaults>(geometryFilePath()))
{
    m_ui->setupUi(this);

    // Both may hold whole sentences: elided, so they never widen the window past the screen.
    m_status = new ElidedLabel(tr("Stopped"), this);
    m_status->setObjectName(QStringLiteral("serverStatus"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addWidget(m_status, 1);
    m_messageBar = new MessageBar(this);
    m_ui->logPane->addAbove(m_messageBar);
    statusBar()->setAccessibleName(tr("Server status"));
    // The databases' note, then the warnings that stay until their cause is gone.
    const auto addNote = [this](const char *name, const QString &text) {
        auto *label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->hide();
        statusBar()->addPermanentWidget(label);
        return label;
    };
    m_databaseNote = new ElidedLabel(QString(), this);
    m_databaseNote->setObjectName(QStringLiteral("databaseNote"));
    m_databaseNote->hide();
    statusBar()->addPermanentWidget(m_databaseNote, 1);
    m_databaseNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_settingsWarning = addNote("settingsWarning", tr("Settings cannot be saved"));
    m_logFileWarning = addNote("logFileWarning", tr("Log file cannot be written"));

    LogView *log = logView();
    connect(m_ui->actionCopy, &QAction::triggered, log, &LogView::copy);
    connect(m_ui->actionSelectAll, &QAction::triggered, log, &LogView::selectAll);
    m_ui->actionFind->setShortcuts(QKeySequence::Find);
    m_ui->actionFindNext->setShortcuts(QKeySequence::FindNext);
    m_ui->actionFindPrevious->setShortcuts(QKeySequence::FindPrevious);
    connect(m_ui->actionFind, &QAction::triggered, log, &LogView::showFindBar);
    connect(m_ui->actionFindNext, &QAction::triggered, log, &LogView::findNext);
    connect(m_ui->actionFindPrevious, &QAction::triggered, log, &LogView::findPrevious);
    m_ui->menuEdit->addSeparator();
    m_ui->menuEdit->addAction(tr("Next &Problem"), QKeySequence(Qt::Key_F8), log,
                              &LogView::nextProblem);
    m_ui->menuEdit->addAction(tr("Previous Pro&blem"), QKeySequence(Qt::SHIFT | Qt::Key_F8), log,
                              &LogView::previousProblem);
    m_ui->menuEdit->addAction(tr("Fi&lter Lines…"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
                              log, &LogView::showFilterBar);
    m_ui->actionCopy->setEnabled(false);
    connect(log, &LogView::copyAvailable, m_ui->actionCopy, &QAction::setEnabled);
    log->setEmptyHint(emptyLogHint());
    connect(log, &LogView::copyTooLarge, this, [this](qsizetype bytes, qsizetype limit) {
        const QLocale locale;
        statusBar()->showMessage(
            tr("The selection is too large to copy (%1; at most %2 at a time).")
                .arg(locale.formattedDataSize(bytes), locale.formattedDataSize(limit)),
            10000);
    });

    const auto remembered = [this](const QString &key) {
        return QByteArray::fromStdString(m_placement->stringForKey(key).value_or(std::string()));
    };
    if (!restoreGeometry(remembered(geometryKey)))
        resize(780, 500);
    restoreState(remembered(stateKey));
    fitOnScreen(this); // the screen may be smaller than when the window was closed
    connect(m_ui->actionAbout, &QAction::triggered, this, &LogWindow::showAbout);
    colourWarnings();
    updateEnablement();
}

LogWindow::~LogWindow() = default;

void LogWindow::addPanel(QDockWidget *panel)
{
    panel->setParent(this);
    addDockWidget(Qt::RightDockWidgetArea, panel);
    panel->hide();
    // The window's state was restored before the panel existed: its place comes back now.
    restoreDockWidget(panel);
    m_ui->menuView->addAction(panel->toggleViewAction());
}

LogView *LogWindow::logView() const
{
    return m_ui->logPane->logView();
}
QAction *LogWindow::startAction() const
{
    return m_ui->actionStart;
}
QAction *LogWindow::startEmergencyAction() const
{
    return m_ui->actionStartEmergency;
}
QAction *LogWindow::stopAction() const
{
    return m_ui->actionStop;
}
QAction *LogWindow::forceStopAction() const
{
    return m_ui->actionForceStop;
}
QAction *LogWindow::checkpointAction() const
{
    return m_ui->actionCheckpoint;
}
QAction *LogWindow::startFromPanicAction() const
{
    return m_ui->actionStartFromPanic;
}

QAction *LogWindow::cancelRestartAction() const
{
    return m_ui->actionCancelRestart;
}

QAction *LogWindow::databasesAction() const
{
    return m_ui->actionDatabases;
}

QAction *LogWindow::chooseServerAction() const
{
    return m_ui->actionChooseServer;
}
QAction *LogWindow::preferencesAction() const
{
    return m_ui->actionPreferences;
}
QAction *LogWindow::quitAction() const
{
    return m_ui->actionQuit;
}
QAction *LogWindow::aboutAction() const
{
    return m_ui->actionAbout;
}

QMenu *LogWindow::viewMenu() const
{
    return m_ui->menuView;
}

std::string LogWindow::geometryFilePath()
{
    return settingsFilePath("window.conf");
}

void LogWindow::setServerRunning(bool running)
{
    m_running = running;
    updateEnablement();
}

void LogWindow::setStopInProgress(bool stopping)
{
    m_stopping = stopping;
    updateEnablement();
}

void LogWindow::setForceStopOffered(bool offered)
{
    m_ui->actionForceStop->setVisible(offered);
    m_ui->actionForceStop->setEnabled(offered);
}

void LogWindow::updateEnablement()
{
    m_ui->actionStart->setEnabled(!m_running);
    m_ui->actionStartEmergency->setEnabled(!m_running);
    m_ui->actionStop->setEnabled(m_running && !m_stopping);
    m_ui->actionCheckpoint->setEnabled(m_running);
}

void LogWindow::setStatusText(const QString &text, const QString &spoken, const QString &brief)
{
    m_status->setFullText(text, spoken);
    m_status->setBrief(brief);
}

void LogWindow::announceStatus()
{
    // After the current event: the status that calls for attention may still be rendering.
    // Several causes at once (a crash that ends restarting) make one alert.
    if (m_alertPending)
        return;
    m_alertPending = true;
    QTimer::singleShot(0, this, [this] {
        m_alertPending = false;
        QAccessibleEvent alert(m_status, QAccessible::Alert);
        QAccessible::updateAccessibility(&alert);
        Q_EMIT statusAnnounced(m_status->accessibleName());
    });
}

void LogWindow::showAbout()
{
    const auto path = [](const std::string &bytes) { return displayPath(bytes).toHtmlEscaped(); };
    const std::string records = serverRecordFolder();
    auto *box = new QMessageBox(QMessageBox::Information, tr("About Paddock"),
                                tr("Paddock %1").arg(QStringLiteral(PADDOCK_VERSION)),
                                QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("aboutPaddock"));
    box->setInformativeText(
        tr("<p>A desktop launcher for MOO servers.</p><p>Licence: MIT.</p>"
           "<p>Settings: %1<br>Window placement: %2<br>Servers running: %3</p>"
           "<p>The server's output is logged to the log file set in Preferences, beside the "
           "database it runs on (server.log unless changed).</p>")
            .arg(path(UserDefaults::standardFilePath()), path(geometryFilePath()),
                 records.empty() ? tr("not recorded (neither XDG_STATE_HOME nor HOME is set)")
                                 : path(records)));
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

QString LogWindow::statusText() const
{
    return m_status->fullText();
}

void LogWindow::setSettingsSaveFailed(bool failed, const QString &filePath, const QString &world)
{
    m_settingsWarning->setText(world.isEmpty()
                                   ? tr("Settings cannot be saved")
                                   : tr("The settings of “%1” cannot be saved").arg(world));
    m_settingsWarning->setToolTip(failed ? tr("Paddock cannot write ") + filePath : QString());
    m_settingsWarning->setVisible(failed);
}

void LogWindow::showSettingsUnreadable(const QString &filePath, const QString &reason)
{
    m_settingsWarning->setText(tr("Settings cannot be read"));
    m_settingsWarning->setToolTip(
        tr("Paddock cannot read its settings file %1 (%2). It leaves the file as it is and runs "
           "on default settings; changes made now last until Paddock quits.")
            .arg(filePath, reason));
    m_settingsWarning->show();
}

void LogWindow::showDatabaseNote(const QString &text, bool warning)
{
    m_databaseNote->setFullText(text);
    m_databaseNoteWarns = warning;
    colourWarnings();
    m_databaseNote->setVisible(!text.isEmpty());
}

QString LogWindow::databaseNote() const
{
    return m_databaseNote->isVisibleTo(this) ? m_databaseNote->fullText() : QString();
}

void LogWindow::showLogFileFailed(const QString &message)
{
    // The reason is in the status text too, where it is read without a pointer.
    m_logFileWarning->setToolTip(message);
    m_logFileWarning->setAccessibleDescription(message);
    m_logFileWarning->setVisible(!message.isEmpty());
}

QString LogWindow::emptyLogHint() const
{
    // In the menus' own words, so the hint stays true when they change.
    const auto plain = [](QString text) {
        return text.remove(QRegularExpression(QStringLiteral("&(?!&)")))
            .remove(u'…')
            .remove(QStringLiteral("..."));
    };
    const QString menuItem =
        tr("%1 ▸ %2").arg(plain(m_ui->menuServer->title()), plain(m_ui->actionStart->text()));
    const QString shortcut = m_ui->actionStart->shortcut().toString(QKeySequence::NativeText);
    return shortcut.isEmpty()
               ? tr("%1 asks for the MOO server and a database.").arg(menuItem)
               : tr("%1 (%2) asks for the MOO server and a database.").arg(menuItem, shortcut);
}

void LogWindow::setWorldTitle(const QString &world, const QString &state)
{
    setWindowTitle(world.isEmpty() ? tr("Paddock") : tr("%1 — %2 — Paddock").arg(world, state));
}

void LogWindow::colourWarnings()
{
    showAsWarning(m_settingsWarning, WarningLevel::Error);
    showAsWarning(m_logFileWarning, WarningLevel::Error);
    showAsWarning(m_databaseNote,
                  m_databaseNoteWarns ? std::optional(WarningLevel::Error) : std::nullopt);
}

void LogWindow::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        colourWarnings(); // the warnings' colours follow the theme
}

bool LogWindow::confirmQuit()
{
    QMessageBox question(QMessageBox::Question, tr("Paddock"), tr("A server is running."),
                         QMessageBox::NoButton, this);
    question.setObjectName(QStringLiteral("quitQuestion"));
    question.setInformativeText(
        tr("The server keeps running after Paddock quits. To stop it first, "
           "choose Cancel, then Stop."));
    QPushButton *quit = question.addButton(tr("&Quit"), QMessageBox::AcceptRole);
    QPushButton *cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(quit);
    question.setEscapeButton(cancel);
    question.exec();
    return question.clickedButton() == quit;
}

void LogWindow::closeEvent(QCloseEvent *event)
{
    // Asked once per quit: the application may try to close the window again on its way out.
    if ((m_running || (m_runsElsewhere && m_runsElsewhere())) && !m_quitConfirmed) {
        const std::optional<bool> answer = m_quitQuestion ? m_quitQuestion() : std::nullopt;
        if (!(answer ? *answer : confirmQuit())) {
            event->ignore();
            return;
        }
        m_quitConfirmed = true;
    }
    m_placement->setBytes(geometryKey, saveGeometry());
    m_placement->setBytes(stateKey, saveState());
    event->accept();
}

} // namespace paddock

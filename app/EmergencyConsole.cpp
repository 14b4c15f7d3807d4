// SPDX-License-Identifier: MIT
#include "EmergencyConsole.h"

#include "LogWindow.h"
#include "MooController.h"
#include "Run.h"

#include <QApplication>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>

namespace paddock {

EmergencyConsole *EmergencyConsole::addTo(LogWindow &window, MooController &controller)
{
    // A dock without a title or features: fixed under the log, above the status bar, and
    // outside the central widget that others lay out.
    auto *dock = new QDockWidget(&window);
    dock->setObjectName(QStringLiteral("emergencyConsoleDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    dock->setTitleBarWidget(new QWidget(dock));
    dock->setAllowedAreas(Qt::BottomDockWidgetArea);
    auto *console = new EmergencyConsole(dock);
    dock->setWidget(console);
    console->m_shown = dock;
    window.addDockWidget(Qt::BottomDockWidgetArea, dock);
    dock->hide();
    console->followController(controller);
    window.setQuitQuestion([console] { return console->askBeforeQuitting(); });
    return console;
}

EmergencyConsole::EmergencyConsole(QWidget *parent)
    : QWidget(parent)
    , m_input(new QLineEdit(this))
    , m_continue(new QPushButton(tr("&Continue"), this))
    , m_quit(new QPushButton(tr("&Quit and Save"), this))
    , m_abort(new QPushButton(tr("&Abort Without Saving"), this))
    , m_shown(this)
{
    setObjectName(QStringLiteral("emergencyConsole"));
    setAccessibleName(tr("Emergency mode console"));
    auto *label = new QLabel(tr("&Wizard command:"), this);
    label->setBuddy(m_input);
    m_input->setObjectName(QStringLiteral("emergencyInput"));
    m_input->setAccessibleName(tr("Wizard command"));
    m_input->setAccessibleDescription(
        tr("The server is in its emergency mode and reads the commands typed here. Enter sends "
           "the line; Up and Down bring back the lines sent."));
    m_input->installEventFilter(this);
    m_continue->setObjectName(QStringLiteral("emergencyContinue"));
    m_continue->setToolTip(tr("Leave the emergency mode and start the world (continue)"));
    m_quit->setObjectName(QStringLiteral("emergencyQuit"));
    m_quit->setToolTip(
        tr("Leave the emergency mode and end the server, saving the database (quit)"));
    m_abort->setObjectName(QStringLiteral("emergencyAbort"));
    m_abort->setToolTip(
        tr("End the server without saving: every change made in the emergency mode is lost "
           "(abort)"));
    // The buttons do not take Enter from the line: it sends the line.
    for (QPushButton *button : {m_continue, m_quit, m_abort})
        button->setAutoDefault(false);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_input, 1);
    layout->addWidget(m_continue);
    layout->addWidget(m_quit);
    layout->addWidget(m_abort);
    setTabOrder(m_input, m_continue);
    setTabOrder(m_continue, m_quit);
    setTabOrder(m_quit, m_abort);

    connect(m_input, &QLineEdit::returnPressed, this, &EmergencyConsole::sendTyped);
    connect(m_continue, &QPushButton::clicked, this, [this] { send(QStringLiteral("continue")); });
    connect(m_quit, &QPushButton::clicked, this, [this] { send(QStringLiteral("quit")); });
    connect(m_abort, &QPushButton::clicked, this, &EmergencyConsole::askToAbort);
}

void ConsoleSession::beginRun(Run &next)
{
    if (run == &next)
        return;
    *this = ConsoleSession();
    run = &next;
}

void ConsoleSession::send(const QString &text)
{
    if (!run)
        return;
    // A line inside a program being typed is code, whatever it says.
    const QString word = text.trimmed().toLower();
    const bool command = !inProgram;
    if (inProgram && text == QStringLiteral("."))
        inProgram = false;
    else if (command && word.startsWith(QStringLiteral("program ")))
        inProgram = true;
    // Quit and abort end the server as the user asked: that is a stop, not a crash.
    if (command && (word == QStringLiteral("quit") || word == QStringLiteral("abort")))
        run->setStopRequested();
    run->sendInput(text.toUtf8() + '\n');
}

void EmergencyConsole::follow(Run &run)
{
    if (m_run)
        disconnect(m_run, nullptr, this, nullptr);
    m_session->beginRun(run);
    m_input->setText(m_session->typed);
    if (!run.inEmergencyMode()) {
        hideConsole();
        return;
    }
    m_run = &run;
    connect(&run, &Run::emergencyModeLeft, this, &EmergencyConsole::hideConsole);
    m_shown->show();
    m_input->setFocus();
}

void EmergencyConsole::followController(MooController &controller,
                                        std::shared_ptr<ConsoleSession> session)
{
    if (!session)
        session = m_controller == &controller ? m_session : std::make_shared<ConsoleSession>();
    if (m_controller == &controller && session == m_session)
        return;
    // What was typed stays with the world it was typed for.
    m_session->typed = m_input->text();
    if (m_controller)
        disconnect(m_controller, &MooController::runStarted, this, nullptr);
    m_controller = &controller;
    m_session = std::move(session);
    connect(&controller, &MooController::runStarted, this, &EmergencyConsole::follow);
    if (Run *run = controller.run()) {
        follow(*run);
    } else {
        m_input->setText(m_session->typed);
        hideConsole();
    }
}

void EmergencyConsole::hideConsole()
{
    if (m_run)
        disconnect(m_run, nullptr, this, nullptr);
    m_run = nullptr;
    // Focus goes back to the log before the line it was in is hidden.
    if (auto *main = qobject_cast<QMainWindow *>(m_shown->parentWidget());
        main && main->centralWidget() && m_shown->isAncestorOf(QApplication::focusWidget()))
        main->centralWidget()->setFocus();
    m_shown->hide();
}

void EmergencyConsole::sendTyped()
{
    const QString line = m_input->text();
    if (!m_run || !m_run->inEmergencyMode())
        return;
    QStringList &history = m_session->history;
    if (!line.isEmpty() && (history.isEmpty() || history.last() != line))
        history.append(line);
    m_session->historyIndex = history.size();
    m_session->draft.clear();
    m_input->clear();
    send(line);
}

void EmergencyConsole::send(const QString &text)
{
    if (m_run)
        m_session->send(text);
}

void EmergencyConsole::askToAbort()
{
    if (!m_run)
        return;
    QMessageBox question(QMessageBox::Warning, tr("Paddock"), tr("End the server without saving?"),
                         QMessageBox::NoButton, window());
    question.setObjectName(QStringLiteral("abortQuestion"));
    question.setInformativeText(tr("Abort ends the server at once. Nothing is written: every "
                                   "change made in the emergency mode is lost."));
    QPushButton *abort =
        question.addButton(tr("&Abort Without Saving"), QMessageBox::DestructiveRole);
    QPushButton *cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    // A server that leaves the mode while the question is open needs no abort.
    connect(m_run, &Run::emergencyModeLeft, &question, &QMessageBox::reject);
    question.exec();
    if (question.clickedButton() == abort && m_run && m_run->inEmergencyMode())
        send(QStringLiteral("abort"));
}

std::optional<bool> EmergencyConsole::askBeforeQuitting()
{
    return askBeforeQuitting(window(), {QuittingWorld{QString(), m_run, m_session}});
}

std::optional<bool> EmergencyConsole::askBeforeQuitting(QWidget *parent,
                                                        const QList<QuittingWorld> &worlds)
{
    QList<QuittingWorld> inMode;
    QStringList names;
    for (const QuittingWorld &world : worlds) {
        if (!world.run || !world.run->inEmergencyMode())
            continue;
        inMode.append(world);
        if (!world.name.isEmpty())
            names.append(tr("“%1”").arg(world.name));
    }
    if (inMode.isEmpty())
        return std::nullopt;
    const bool several = inMode.size() > 1;
    const QString text = several ? tr("The servers of %1 are in their emergency mode.")
                                       .arg(names.join(QStringLiteral(", ")))
                         : names.isEmpty()
                             ? tr("The server is in its emergency mode.")
                             : tr("The server of %1 is in its emergency mode.").arg(names.first());
    QMessageBox question(QMessageBox::Question, tr("Paddock"), text, QMessageBox::NoButton, parent);
    question.setObjectName(QStringLiteral("emergencyQuitQuestion"));
    question.setInformativeText(
        several ? tr("They wait for wizard commands and start no world until told. Quit the "
                     "servers saving their databases, or continue their start-up and leave them "
                     "running after Paddock quits.")
                : tr("It waits for wizard commands and starts no world until told. Quit the "
                     "server saving its database, or continue its start-up and leave it running "
                     "after Paddock quits."));
    QPushButton *quit =
        question.addButton(several ? tr("&Quit Servers and Save") : tr("&Quit Server and Save"),
                           QMessageBox::AcceptRole);
    QPushButton *carryOn = question.addButton(tr("C&ontinue Start-up"), QMessageBox::AcceptRole);
    QPushButton *cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.exec();
    if (question.clickedButton() != quit && question.clickedButton() != carryOn)
        return false;
    // A server may have left the mode meanwhile: then it needs nothing more to quit.
    for (const QuittingWorld &world : inMode) {
        if (!world.run || !world.run->inEmergencyMode())
            continue;
        ConsoleSession unseen; // a world without a session of its own has typed nothing
        ConsoleSession &session = world.session ? *world.session : unseen;
        session.beginRun(*world.run);
        session.send(question.clickedButton() == quit ? QStringLiteral("quit")
                                                      : QStringLiteral("continue"));
    }
    return true;
}

void EmergencyConsole::walkHistory(int step)
{
    ConsoleSession &session = *m_session;
    const qsizetype next = session.historyIndex + step;
    if (next < 0 || next > session.history.size())
        return;
    if (session.historyIndex == session.history.size())
        session.draft = m_input->text();
    session.historyIndex = next;
    m_input->setText(next == session.history.size() ? session.draft : session.history.at(next));
}

bool EmergencyConsole::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_input && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            walkHistory(key == Qt::Key_Up ? -1 : 1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace paddock

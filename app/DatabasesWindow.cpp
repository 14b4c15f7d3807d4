// SPDX-License-Identifier: MIT
#include "DatabasesWindow.h"

#include "ArchiveFiles.h"
#include "ScreenFit.h"
#include "String.h"
#include "SystemError.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cerrno>
#include <unistd.h>

namespace paddock {

namespace {

enum Column { NameColumn, KindColumn, ModifiedColumn, SizeColumn, RunColumn };

bool isCompressed(const WorldFile &file)
{
    return (file.kind == WorldFileKind::Archive || file.kind == WorldFileKind::Snapshot) &&
           file.localPath.ends_with(".zst");
}

QString kindText(const WorldFile &file)
{
    switch (file.kind) {
    case WorldFileKind::Database:
        return DatabasesWindow::tr("Database");
    case WorldFileKind::Output:
        return DatabasesWindow::tr("Output");
    case WorldFileKind::Archive:
        return isCompressed(file) ? DatabasesWindow::tr("Archive, compressed")
                                  : DatabasesWindow::tr("Archive");
    case WorldFileKind::Panic:
        return DatabasesWindow::tr("Panic dump");
    case WorldFileKind::TemporaryDump:
        return DatabasesWindow::tr("Unfinished dump");
    case WorldFileKind::Snapshot:
        return isCompressed(file) ? DatabasesWindow::tr("Snapshot, compressed")
                                  : DatabasesWindow::tr("Snapshot");
    }
    return {};
}

// An archive is started from once restored beside the database: a server started inside
// archive/ would write its output there, and archiving would then nest it deeper.
bool canStartFrom(const WorldFile &file)
{
    return file.kind == WorldFileKind::Database || file.kind == WorldFileKind::Output ||
           file.kind == WorldFileKind::Panic ||
           ((file.kind == WorldFileKind::Archive || file.kind == WorldFileKind::Snapshot) &&
            !isCompressed(file) &&
            !file.path.startsWith(QStringLiteral("archive/")));
}

} // namespace

DatabasesWindow::DatabasesWindow(StartFunction start, RunHistory history, QWidget *parent)
    : QDialog(parent)
    , m_start(std::move(start))
    , m_history(std::move(history))
{
    setObjectName(QStringLiteral("databasesWindow"));
    setWindowTitle(tr("Databases"));
    resize(880, 380);
    fitOnScreen(this); // smaller where the screen is

    m_world = new QLabel(this);
    m_world->setObjectName(QStringLiteral("worldDatabase"));
    m_world->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_table = new QTreeWidget(this);
    m_table->setObjectName(QStringLiteral("databaseFiles"));
    m_table->setAccessibleName(tr("The world's databases"));
    m_table->setHeaderLabels({tr("Name"), tr("Kind"), tr("Modified"), tr("Size"), tr("Run")});
    m_table->setRootIsDecorated(false);
    m_table->setUniformRowHeights(true);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    m_table->header()->setStretchLastSection(false);
    for (const int column : {KindColumn, ModifiedColumn, SizeColumn, RunColumn})
        m_table->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);

    m_message = new QLabel(this);
    m_message->setObjectName(QStringLiteral("databasesMessage"));
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(tr("&Close"));
    m_startButton = buttons->addButton(tr("&Start from This"), QDialogButtonBox::ActionRole);
    m_startButton->setObjectName(QStringLiteral("startFromThisButton"));
    m_restoreButton = buttons->addButton(tr("&Restore"), QDialogButtonBox::ActionRole);
    m_restoreButton->setObjectName(QStringLiteral("restoreButton"));
    m_restoreButton->setToolTip(
        tr("Decompress the selected archive beside the world's database, under its own name"));
    m_removeButton = buttons->addButton(tr("Re&move"), QDialogButtonBox::ActionRole);
    m_removeButton->setObjectName(QStringLiteral("removeButton"));
    m_removeButton->setToolTip(tr("Remove the selected unfinished dump"));
    m_refreshButton = buttons->addButton(tr("Re&fresh"), QDialogButtonBox::ResetRole);
    m_refreshButton->setObjectName(QStringLiteral("refreshButton"));
    // Enter in the table must not start a server.
    for (QPushButton *button : {m_startButton, m_restoreButton, m_removeButton, m_refreshButton})
        button->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_world);
    layout->addWidget(m_table, 1);
    layout->addWidget(m_message);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_startButton, &QPushButton::clicked, this, &DatabasesWindow::startSelected);
    connect(m_restoreButton, &QPushButton::clicked, this, &DatabasesWindow::restoreSelected);
    connect(m_removeButton, &QPushButton::clicked, this, &DatabasesWindow::removeSelected);
    connect(m_refreshButton, &QPushButton::clicked, this, &DatabasesWindow::refresh);
    connect(m_table, &QTreeWidget::itemSelectionChanged, this, &DatabasesWindow::updateButtons);
    refresh();
}

DatabasesWindow::~DatabasesWindow() = default;

void DatabasesWindow::setWorldDatabase(const std::string &database)
{
    if (database == m_database)
        return;
    m_database = database;
    refresh();
}

void DatabasesWindow::setServerRunning(bool running)
{
    m_serverRunning = running;
    updateButtons();
}

void DatabasesWindow::showEvent(QShowEvent *event)
{
    fitOnScreen(this);
    refresh(); // the server may have written, renamed or left files since
    QDialog::showEvent(event);
}

void DatabasesWindow::refresh()
{
    const WorldFile *before = selected();
    const std::string keep = before ? before->localPath : std::string();
    m_files = listWorldFiles(m_database, m_history.runs());
    m_world->setText(m_database.empty()
                         ? tr("No world has been started yet.")
                         : tr("The databases of the world “%1”.").arg(visiblePath(m_database)));

    m_table->clear();
    const QLocale locale;
    for (int i = 0; i < m_files.size(); ++i) {
        const WorldFile &file = m_files.at(i);
        auto *item = new QTreeWidgetItem(m_table);
        item->setText(NameColumn, file.path);
        item->setToolTip(NameColumn, file.path);
        item->setText(KindColumn,
                      file.newestComplete ? tr("%1, newest").arg(kindText(file)) : kindText(file));
        item->setText(ModifiedColumn,
                      locale.toString(file.modified.toLocalTime(), QLocale::ShortFormat));
        item->setText(SizeColumn, locale.formattedDataSize(file.size));
        item->setTextAlignment(SizeColumn, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(RunColumn, file.run);
        item->setData(NameColumn, Qt::UserRole, i);
        if (file.newestComplete) {
            QFont bold = item->font(NameColumn);
            bold.setBold(true);
            for (int column = NameColumn; column <= RunColumn; ++column)
                item->setFont(column, bold);
            item->setToolTip(NameColumn, tr("The newest complete database"));
            item->setData(NameColumn, Qt::AccessibleTextRole,
                          tr("%1, the newest complete database").arg(file.path));
        }
    }
    // What was chosen stays chosen; otherwise the newest complete database, the usual start.
    if (!keep.empty() && selectFile(keep))
        return;
    for (const WorldFile &file : std::as_const(m_files))
        if (file.newestComplete && selectFile(file.localPath))
            return;
    updateButtons();
}

bool DatabasesWindow::selectFile(const std::string &localPath)
{
    for (int i = 0; i < m_files.size(); ++i) {
        if (m_files.at(i).localPath != localPath)
            continue;
        QTreeWidgetItem *item = m_table->topLevelItem(i);
        m_table->setCurrentItem(item);
        m_table->scrollToItem(item);
        updateButtons();
        return true;
    }
    return false;
}

QString DatabasesWindow::message() const
{
    return m_message->text();
}

const WorldFile *DatabasesWindow::selected() const
{
    const QList<QTreeWidgetItem *> items = m_table->selectedItems();
    if (items.isEmpty())
        return nullptr;
    const int index = items.first()->data(NameColumn, Qt::UserRole).toInt();
    return index >= 0 && index < m_files.size() ? &m_files.at(index) : nullptr;
}

void DatabasesWindow::updateButtons()
{
    const WorldFile *file = selected();
    m_startButton->setEnabled(file && canStartFrom(*file) && !m_serverRunning && !m_restoring);
    // A disabled button is read out too: it says why it cannot be used now.
    const QString startHelp =
        m_serverRunning ? tr("A server is running: stop it to start from another database")
                        : tr("Start the server on the selected database");
    m_startButton->setToolTip(startHelp);
    if (m_startButton->accessibleDescription() != startHelp)
        m_startButton->setAccessibleDescription(startHelp);
    m_restoreButton->setEnabled(file && isCompressed(*file) && !m_restoring);
    m_removeButton->setEnabled(file && file->kind == WorldFileKind::TemporaryDump &&
                               !m_serverRunning && !m_restoring);
}

void DatabasesWindow::say(const QString &text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

bool DatabasesWindow::confirm(const QString &name, const QString &text, const QString &detail,
                              const QString &action)
{
    QMessageBox question(QMessageBox::Warning, tr("Paddock"), text, QMessageBox::NoButton, this);
    question.setObjectName(name);
    question.setInformativeText(detail);
    QPushButton *yes = question.addButton(action, QMessageBox::DestructiveRole);
    QPushButton *cancel = question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(cancel);
    question.setEscapeButton(cancel);
    question.exec();
    return question.clickedButton() == yes;
}

void DatabasesWindow::startSelected()
{
    const WorldFile *file = selected();
    if (!file || !canStartFrom(*file) || m_serverRunning || m_restoring)
        return;
    // The question runs an event loop: keep what is needed, not a pointer into the list.
    const std::string path = file->localPath;
    const QString shown = file->path;
    say({});
    if (file->kind == WorldFileKind::Panic &&
        !confirm(QStringLiteral("startFromPanicQuestion"),
                 tr("Start the server from the panic dump “%1”?").arg(shown),
                 tr("A crashing server wrote it in a hurry: it holds the world as the crash found "
                    "it, which may be damaged. The database before it stays as it is."),
                 tr("&Start from Panic Dump")))
        return;
    if (!m_start(path))
        say(tr("The server was not started on “%1”.").arg(shown));
    refresh();
}

void DatabasesWindow::restoreSelected()
{
    const WorldFile *file = selected();
    if (!file || !isCompressed(*file) || m_restoring || m_database.empty())
        return;
    const std::string source = file->localPath;
    std::string name = lastPathComponent(source);
    name.resize(name.size() - 4); // without .zst
    const std::string folder = deletingLastPathComponent(m_database);
    const std::string target = folder == "/" ? folder + name : folder + '/' + name;
    m_restoring = true;
    updateButtons();
    say(tr("Restoring “%1”…").arg(file->path));
    // A large database takes seconds to decompress: off the GUI thread. The answer goes
    // through the application object, which outlives any window.
    QThreadPool::globalInstance()->start([source, target, window = QPointer(this)] {
        QString error;
        try {
            decompressFile(source, target);
        } catch (const std::exception &e) {
            error = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [window, target, error] {
                if (window)
                    window->restoreDone(target, error);
            },
            Qt::QueuedConnection);
    });
}

void DatabasesWindow::restoreDone(const std::string &target, const QString &error)
{
    m_restoring = false;
    refresh();
    if (!error.isEmpty()) {
        say(tr("The archive could not be restored. %1.").arg(error));
        return;
    }
    selectFile(target);
    say(tr("Restored as “%1”.").arg(visiblePath(target)));
}

void DatabasesWindow::removeSelected()
{
    const WorldFile *file = selected();
    if (!file || file->kind != WorldFileKind::TemporaryDump || m_serverRunning || m_restoring)
        return;
    const std::string path = file->localPath;
    const QString shown = file->path;
    say({});
    if (!confirm(QStringLiteral("removeDumpQuestion"),
                 tr("Remove the unfinished dump “%1”?").arg(shown),
                 tr("A server began this dump and did not finish it. Only this file is removed."),
                 tr("&Remove")))
        return;
    if (::unlink(path.c_str()) != 0) {
        const int error = errno;
        say(tr("“%1” could not be removed: %2.")
                .arg(shown, QString::fromLocal8Bit(errorText(error).c_str())));
    }
    refresh();
}

} // namespace paddock

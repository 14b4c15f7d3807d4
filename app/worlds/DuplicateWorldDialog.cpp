// SPDX-License-Identifier: MIT
#include "DuplicateWorldDialog.h"

#include "DatabaseCopy.h"
#include "String.h"
#include "SystemError.h"
#include "UserDefaults.h"
#include "WarningColour.h"
#include "WorldServer.h"
#include "Worlds.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace paddock {

namespace {

// The first of "NAME (test copy)", "NAME (test copy 2)"... that names no world yet.
QString unusedCopyName(const Worlds &worlds, const QString &name)
{
    QString copy = DuplicateWorldDialog::tr("%1 (test copy)").arg(name);
    for (int number = 2; !worlds.nameProblem(copy).isEmpty(); ++number)
        copy = DuplicateWorldDialog::tr("%1 (test copy %2)").arg(name).arg(number);
    return copy;
}

} // namespace

DuplicateWorldDialog::DuplicateWorldDialog(Worlds &worlds, const WorldServer &server,
                                           QWidget *parent)
    : QDialog(parent)
    , m_worlds(worlds)
    , m_id(server.id())
    , m_source(newestDatabase(server))
    // The copy keeps the name the world last ran its database under, whichever file it is.
    , m_copyName(
          lastPathComponent(server.lastRun().input.empty() ? m_source : server.lastRun().input))
    , m_name(new QLineEdit(unusedCopyName(worlds, worlds.name(server.id())), this))
    , m_copy(new QCheckBox(this))
    , m_folder(new QLineEdit(this))
    , m_choose(new QPushButton(tr("C&hoose…"), this))
    , m_problem(new QLabel(this))
    , m_progress(new QProgressBar(this))
    , m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this))
{
    setWindowTitle(tr("Duplicate World"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);
    form->addRow(tr("&Name:"), m_name);
    // On by default when there is a database: a test copy is for trying things on the world as
    // it is, and without its own database the copy would start in the original's folder, which
    // Start refuses.
    if (m_source.empty()) {
        m_copy->setText(tr("Copy its newest database (it has none yet)"));
        m_copy->setEnabled(false);
    } else {
        struct stat st;
        const qint64 size = ::stat(m_source.c_str(), &st) == 0 ? qint64(st.st_size) : 0;
        const QString file = displayPath(lastPathComponent(m_source));
        const QString copyName = displayPath(m_copyName);
        const QString shownSize = QLocale().formattedDataSize(size);
        m_copy->setText(file == copyName
                            ? tr("&Copy its newest database, “%1” (%2)").arg(file, shownSize)
                            : tr("&Copy its newest database, “%1” (%2), as “%3”")
                                  .arg(file, shownSize, copyName));
        m_copy->setChecked(true);
        m_folder->setText(displayPath(folderOf(m_source) + "-test"));
    }
    form->addRow(m_copy);
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder);
    folderRow->addWidget(m_choose);
    auto *folderLabel = new QLabel(tr("&Into the new folder:"), this);
    folderLabel->setBuddy(m_folder);
    form->addRow(folderLabel, folderRow);
    m_folder->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    m_folder->setAccessibleName(tr("New folder for the copy"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    showAsWarning(m_problem, WarningLevel::Error);
    layout->addWidget(m_problem);
    m_progress->setRange(0, 1000);
    m_progress->hide();
    layout->addWidget(m_progress);
    m_buttons->button(QDialogButtonBox::Ok)->setText(tr("&Duplicate"));
    layout->addWidget(m_buttons);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &DuplicateWorldDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &DuplicateWorldDialog::reject);
    connect(m_choose, &QPushButton::clicked, this, &DuplicateWorldDialog::chooseFolder);
    connect(m_copy, &QCheckBox::toggled, this, [this] { setEditable(true); });
    setEditable(true);
}

DuplicateWorldDialog::~DuplicateWorldDialog() = default;

QString DuplicateWorldDialog::problem() const
{
    return m_problem->isHidden() ? QString() : m_problem->text();
}

bool DuplicateWorldDialog::isCopying() const
{
    return m_copying && m_copying->isRunning();
}

void DuplicateWorldDialog::say(const QString &sentence)
{
    m_problem->setText(sentence);
    m_problem->setVisible(!sentence.isEmpty());
}

void DuplicateWorldDialog::setEditable(bool editable)
{
    const bool copying = m_copy->isChecked() && !m_source.empty();
    m_name->setEnabled(editable);
    m_copy->setEnabled(editable && !m_source.empty());
    m_folder->setEnabled(editable && copying);
    m_choose->setEnabled(editable && copying);
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(editable);
    m_progress->setVisible(!editable);
}

void DuplicateWorldDialog::chooseFolder()
{
    const QString chosen = QFileDialog::getExistingDirectory(
        this, tr("Choose a New Folder for the Copy"), QFileInfo(m_folder->text()).path());
    if (!chosen.isEmpty())
        m_folder->setText(chosen);
}

void DuplicateWorldDialog::accept()
{
    if (isCopying())
        return;
    const QString name = m_name->text().trimmed();
    if (const QString problem = m_worlds.nameProblem(name); !problem.isEmpty())
        return say(problem);
    if (!m_copy->isChecked() || m_source.empty())
        return addWorld({});
    const std::string folder = pathBytes(m_folder->text().trimmed());
    // A new folder named here is made, one level, and taken away again if the copy fails.
    struct stat st;
    if (!folder.empty() && ::lstat(folder.c_str(), &st) != 0 && errno == ENOENT) {
        if (::mkdir(folder.c_str(), 0755) != 0)
            return say(tr("Cannot create the folder “%1”: %2")
                           .arg(displayPath(folder), QString::fromLocal8Bit(errorText(errno))));
        m_madeFolder = folder;
    }
    if (const QString problem = copyFolderProblem(folder, m_source, m_copyName);
        !problem.isEmpty()) {
        removeMadeFolder();
        return say(problem);
    }
    say({});
    m_copying = new DatabaseCopy(m_source, folder, m_copyName, this);
    connect(m_copying, &DatabaseCopy::progressed, this,
            [this](std::uint64_t copied, std::uint64_t total) {
                m_progress->setValue(total ? int(copied * 1000 / total) : 0);
            });
    connect(m_copying, &DatabaseCopy::finished, this, &DuplicateWorldDialog::copyFinished);
    m_progress->setValue(0);
    setEditable(false);
    m_copying->start();
}

void DuplicateWorldDialog::reject()
{
    if (!isCopying())
        return QDialog::reject();
    m_copying->cancel();
    say(tr("Stopping the copy…"));
}

void DuplicateWorldDialog::copyFinished(const QString &problem, bool)
{
    const std::string copy = m_copying->targetPath();
    m_copying->deleteLater();
    setEditable(true);
    if (!problem.isEmpty()) {
        removeMadeFolder();
        return say(problem);
    }
    m_madeFolder.clear();
    addWorld(copy);
}

void DuplicateWorldDialog::removeMadeFolder()
{
    // Only while empty: whatever else came into it stays.
    if (!m_madeFolder.empty())
        ::rmdir(m_madeFolder.c_str());
    m_madeFolder.clear();
}

void DuplicateWorldDialog::addWorld(const std::string &copy)
{
    const QString name = m_name->text().trimmed();
    const std::optional<QString> id = m_worlds.duplicate(m_id, name);
    if (!id) {
        QString problem = m_worlds.contains(m_id)
                              ? m_worlds.nameProblem(name)
                              : tr("The world to duplicate was removed meanwhile.");
        if (!copy.empty())
            problem += u' ' + tr("The copy “%1” stays.").arg(displayPath(copy));
        return say(problem);
    }
    settleDuplicate(*m_worlds.settings(*id), copy);
    Q_EMIT duplicated(*id);
    QDialog::accept();
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "FileDialogPanel.h"

#include "String.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>

#include <sys/stat.h>

namespace paddock {

namespace {

// Qt's file dialog has no place for a message, so one is made at the top of its grid:
// every item moves one row down. The window title says it too, for the task switcher.
void showMessage(QFileDialog *dialog, const QString &message)
{
    dialog->setWindowTitle(message);
    auto *label = new QLabel(message, dialog);
    label->setObjectName(QStringLiteral("openPanelMessage"));
    label->setWordWrap(true);

    auto *grid = qobject_cast<QGridLayout *>(dialog->layout());
    if (!grid) {
        if (auto *box = qobject_cast<QBoxLayout *>(dialog->layout()))
            box->insertWidget(0, label);
        return;
    }
    struct Placed {
        QLayoutItem *item;
        int row, column, rowSpan, columnSpan;
    };
    QList<Placed> placed;
    while (grid->count() > 0) {
        Placed p{};
        grid->getItemPosition(0, &p.row, &p.column, &p.rowSpan, &p.columnSpan);
        p.item = grid->takeAt(0);
        placed.append(p);
    }
    QList<int> stretches;
    for (int row = 0; row < grid->rowCount(); ++row)
        stretches.append(grid->rowStretch(row));
    for (const Placed &p : std::as_const(placed))
        grid->addItem(p.item, p.row + 1, p.column, p.rowSpan, p.columnSpan);
    for (int row = 0; row < stretches.size(); ++row)
        grid->setRowStretch(row + 1, stretches[row]);
    grid->setRowStretch(0, 0);
    grid->addWidget(label, 0, 0, 1, grid->columnCount());
}

// Qt's file dialog turns a file name that is not UTF-8 into text it cannot turn back into
// the same bytes. Such a choice is refused with a message, so the server is never started
// on a file with another name than the one shown.
class ByteExactFileDialog final : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        for (const QString &path : selectedFiles()) {
            struct stat info = {};
            if (!path.contains(QChar::ReplacementCharacter) ||
                ::lstat(pathBytes(path).c_str(), &info) == 0)
                continue;
            QMessageBox box(QMessageBox::Warning, windowTitle(),
                            QCoreApplication::translate("paddock::FileDialogPanel",
                                                        "Paddock cannot open \"%1\".")
                                .arg(QFileInfo(path).fileName()),
                            QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("nameNotUtf8Message"));
            box.setInformativeText(QCoreApplication::translate(
                "paddock::FileDialogPanel",
                "Its name is not valid UTF-8, and the file chooser cannot pass "
                "such a name on unchanged. Rename the file (for example with mv "
                "in a terminal) and choose it again."));
            box.exec();
            return;
        }
        QFileDialog::accept();
    }
};

} // namespace

FileDialogPanel::FileDialogPanel(QWidget *host)
    : m_host(host)
{}

FileDialogPanel::~FileDialogPanel()
{
    if (m_dialog) {
        m_dialog->disconnect(this);
        delete m_dialog.data();
    }
}

void FileDialogPanel::present(const std::optional<std::string> &directory,
                              const std::optional<std::string> &file)
{
    auto *dialog = new ByteExactFileDialog(m_host);
    m_dialog = dialog;
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    showMessage(dialog, message());

    QString folder = directory ? displayPath(*directory) : QString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::homePath();
    QString suggested;
    if (file && !file->empty()) {
        // A relative name, with or without folders, is looked for in the start folder.
        const QFileInfo info(QDir(folder).absoluteFilePath(displayPath(*file)));
        if (info.isFile()) {
            folder = info.absolutePath();
            suggested = info.absoluteFilePath();
        }
    }
    dialog->setDirectory(folder);
    if (!suggested.isEmpty())
        dialog->selectFile(suggested);

    connect(dialog, &QDialog::finished, this, [this](int result) {
        std::vector<std::string> chosen;
        if (result == QDialog::Accepted && m_dialog) {
            for (const QString &path : m_dialog->selectedFiles())
                chosen.push_back(pathBytes(path));
        }
        // Decided before the call: the order in which arguments are evaluated is
        // unspecified, and the move may empty the list before it is looked at.
        const int returnCode = chosen.empty() ? CancelButton : OKButton;
        finish(returnCode, std::move(chosen));
    });
    dialog->open();
    dialog->activateWindow();
    focusFileName();
}

void FileDialogPanel::raisePanel()
{
    if (!m_dialog)
        return;
    m_dialog->show();
    m_dialog->raise();
    m_dialog->activateWindow();
    focusFileName();
}

// The file-name field takes the keyboard, its text selected, so a user can type a path over
// the suggestion and press Return.
void FileDialogPanel::focusFileName()
{
    if (auto *edit = m_dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))) {
        edit->setFocus(Qt::OtherFocusReason);
        edit->selectAll();
    }
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "PreferencesPanel.h"

#include "ChooserMemory.h"
#include "ElidedLabel.h"
#include "MooController.h"
#include "OutputNamePreview.h"
#include "ScreenFit.h"
#include "ServerArguments.h"
#include "SettingsKeys.h"
#include "ShellWords.h"
#include "String.h"
#include "UserDefaults.h"
#include "WarningColour.h"
#include "ui_PreferencesPanel.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>

#include <algorithm>
#include <chrono>

namespace paddock {

namespace {

// A warning line of the panel: shown, in its colour, only while it has something to say.
void showWarning(QLabel *label, const QString &text, WarningLevel level)
{
    label->setText(text);
    label->setVisible(!text.isEmpty());
    showAsWarning(label, level);
}

} // namespace

PreferencesPanel::PreferencesPanel(UserDefaults &store, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::PreferencesPanel>())
    , m_firstStore(store)
{
    m_ui->setupUi(this);
    m_plainTitle = windowTitle();
    // The list follows the page shown, however it was turned to; the page follows the list.
    connect(m_ui->pages, &QStackedWidget::currentChanged, m_ui->pageList,
            qOverload<int>(&QListWidget::setCurrentRow));
    connect(m_ui->pages, &QStackedWidget::currentChanged, this, &PreferencesPanel::growToFit);
    connect(m_ui->chooseButton, &QPushButton::clicked, this,
            &PreferencesPanel::chooseServerRequested);
    connect(m_ui->chooseOffsiteButton, &QPushButton::clicked, this,
            &PreferencesPanel::chooseOffsiteFolder);
    storeEdits();
    follow(store);
    updatePreview();
}

PreferencesPanel::~PreferencesPanel() = default;

void PreferencesPanel::showSettingsOf(UserDefaults &store, const QString &worldName)
{
    // Every edit is stored as it is made, in the world shown then, so nothing typed is left
    // to land in the next one; the fields change with their signals blocked.
    follow(store);
    setWindowTitle(worldName.isEmpty() ? m_plainTitle
                                       : tr("Paddock Preferences for %1").arg(worldName));
    updatePreview();
}

UserDefaults &PreferencesPanel::settings() const
{
    return m_store ? *m_store : m_firstStore;
}

void PreferencesPanel::follow(UserDefaults &store)
{
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = &store;
    connect(&store, &UserDefaults::valueChanged, this, [this](const QString &key) {
        showStored(key);
        updatePreview();
    });
    if (&store != &m_firstStore)
        connect(&store, &QObject::destroyed, this, [this] {
            m_store = nullptr; // nothing more is written there
            showSettingsOf(m_firstStore, {});
        });
    showStored();
}

void PreferencesPanel::save(const QString &key, const std::string &value)
{
    if (m_store)
        m_store->setString(key, value);
}

void PreferencesPanel::storeEdits()
{
    // Stored at each change of a value, however it came (typing, a click, the keyboard, a
    // screen reader's action), so a start made while the panel is open uses what it shows.
    // Values shown from the store change with the signals blocked: nothing is written back.
    const auto storeText = [this](QLineEdit *field, const QString &key) {
        connect(field, &QLineEdit::textChanged, this,
                [this, key](const QString &text) { save(key, pathBytes(text)); });
    };
    storeText(m_ui->nameTemplate, MOONewDBNameFormat);
    storeText(m_ui->dateFormat, MOODateFormat);
    storeText(m_ui->logFileName, MOOLogFileName);
    storeText(m_ui->argumentsBefore, MOOArgumentsBefore);
    storeText(m_ui->argumentsAfter, MOOArgumentsAfter);
    storeText(m_ui->offsiteFolder, MOOOffsiteFolder);
    const auto storeCount = [this](QSpinBox *box, const QString &key) {
        connect(box, &QSpinBox::valueChanged, this,
                [this, key](int value) { save(key, std::to_string(value)); });
    };
    storeCount(m_ui->scrollbackMiB, MOOScrollbackMiB);
    storeCount(m_ui->archiveKeep, MOOArchiveKeep);
    storeCount(m_ui->archiveDays, MOOArchiveDays);
    storeCount(m_ui->snapshotHours, MOOSnapshotHours);
    storeCount(m_ui->snapshotDays, MOOSnapshotDays);
    storeCount(m_ui->snapshotWeeks, MOOSnapshotWeeks);
    storeCount(m_ui->offsiteHours, MOOOffsiteHours);
    storeCount(m_ui->offsiteDays, MOOOffsiteDays);
    storeCount(m_ui->offsiteWeeks, MOOOffsiteWeeks);
    storeCount(m_ui->checkAnswersMinutes, MOOCheckAnswersMinutes);
    storeCount(m_ui->notRespondingMinutes, MOONotRespondingMinutes);
    // Written only once changed: absent, the key stays off.
    const auto storeChoice = [this](QCheckBox *box, const QString &key) {
        connect(box, &QCheckBox::toggled, this,
                [this, key](bool on) { save(key, on ? "1" : "0"); });
    };
    storeChoice(m_ui->restartAfterCrash, MOORestartAfterCrash);
    storeChoice(m_ui->rotateDatabases, MOORotateDatabases);
    storeChoice(m_ui->snapshotCheckpoints, MOOSnapshotCheckpoints);
    storeChoice(m_ui->checkAnswers, MOOCheckAnswers);
}

QPushButton *PreferencesPanel::chooseButton() const
{
    return m_ui->chooseButton;
}

void PreferencesPanel::showStartReason()
{
    m_ui->pages->setCurrentWidget(m_ui->serverPage);
    m_ui->startReason->show();
}

QString PreferencesPanel::previewText() const
{
    return m_ui->preview->fullText();
}

QString PreferencesPanel::previewSource() const
{
    return m_ui->previewSource->text();
}

QString PreferencesPanel::previewWarning() const
{
    return m_ui->previewWarning->text();
}

QString PreferencesPanel::logFileWarning() const
{
    return m_ui->logFileWarning->text();
}

void PreferencesPanel::showEvent(QShowEvent *event)
{
    fitOnScreen(this);
    updatePreview(); // the time has moved on since the panel was last shown
    QDialog::showEvent(event);
    growToFit();
}

void PreferencesPanel::hideEvent(QHideEvent *event)
{
    m_ui->startReason->hide(); // it told why this opening happened, not the next
    QDialog::hideEvent(event);
}

void PreferencesPanel::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        updatePreview(); // the warnings' colours follow the theme
}

void PreferencesPanel::growToFit()
{
    // Every message shows whole: the panel grows as far as its screen allows, and the form
    // scrolls beyond that.
    const auto *page = qobject_cast<QScrollArea *>(m_ui->pages->currentWidget());
    QWidget *form = page->widget();
    const QWidget *viewport = page->viewport();
    const int wanted = form->hasHeightForWidth() ? form->heightForWidth(viewport->width())
                                                 : form->sizeHint().height();
    const int missing = wanted - viewport->height();
    if (!isVisible() || missing <= 0)
        return;
    const int frame = frameGeometry().height() - height();
    const int room = availableScreenArea(this).bottom() - frameGeometry().bottom();
    resize(width(), height() + std::min(missing, std::max(0, room - frame)));
}

void PreferencesPanel::chooseOffsiteFolder()
{
    // A sheet on the panel, as the other choosers are; the answer lands in the field, which
    // stores it.
    auto *dialog =
        new QFileDialog(this, tr("Choose the Off-site Folder"), m_ui->offsiteFolder->text());
    dialog->setObjectName(QStringLiteral("offsiteFolderChooser"));
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    // The folder belongs to the world shown when the chooser opened, shown or not by now.
    connect(dialog, &QFileDialog::fileSelected, this,
            [this, openedFor = m_store](const QString &folder) {
                if (openedFor == m_store)
                    m_ui->offsiteFolder->setText(folder);
                else if (openedFor)
                    openedFor->setString(MOOOffsiteFolder, pathBytes(folder));
            });
    dialog->open();
}

void PreferencesPanel::updatePreview()
{
    const std::optional<std::string> last = m_store->stringForKey(MOOLastDBName);
    std::string input = last && !last->empty() ? *last : std::string(exampleDatabase);
    // A bare last name lies where the database chooser will look for it: in the folder it
    // last chose in. Names resolve against that folder, as the server resolves them.
    if (input.front() != '/') {
        const auto folder = chooserMemory().stringForKey(DatabaseChooserIdentifier);
        if (folder && !folder->empty())
            input = *folder + "/" + input;
    }
    const std::string nameTemplate =
        m_store->stringForKey(MOONewDBNameFormat).value_or(DefaultNewDBNameFormat);
    const OutputNamePreview preview =
        previewOutputName(nameTemplate, m_store->stringForKey(MOODateFormat), input,
                          std::chrono::system_clock::now());

    m_ui->preview->setFullText(displayPath(preview.name));
    m_ui->previewSource->setText(
        (last && !last->empty() ? tr("when the last output, ") : tr("for an example database, ")) +
        displayPath(input) + tr(", is started"));
    QStringList warnings;
    if (const std::string token = unknownTemplateToken(nameTemplate); !token.empty())
        warnings.append(tr("The output name template holds \"%1\", which Paddock does not "
                           "know: it stays in the name as written. The template knows %@, %T "
                           "and %R.")
                            .arg(displayPath(token)));
    if (preview.problem != OutputNameProblem::None)
        warnings.append(displayPath(describeOutputNameProblem(preview.problem, preview.name)));
    showWarning(m_ui->previewWarning, warnings.join(QLatin1Char(' ')),
                preview.problem == OutputNameProblem::None ||
                        preview.problem == OutputNameProblem::OverwritesInput
                    ? WarningLevel::Risk // Start asks about it, or goes ahead
                    : WarningLevel::Error);
    showLogFileProblem(input);

    // The whole argument vector, as the server will get it.
    try {
        m_ui->commandPreview->setText(
            shellWords(serverArgumentVector(m_store.data(), input, preview.name)));
    } catch (const std::exception &error) {
        m_ui->commandPreview->setText(QString::fromLocal8Bit(error.what()));
    }
    growToFit();
}

void PreferencesPanel::showLogFileProblem(const std::string &input)
{
    const std::string name =
        m_store->stringForKey(MOOLogFileName).value_or(std::string(DefaultLogFileName));
    QString text;
    switch (logFileProblem(input, name)) {
    case OutputNameProblem::FolderMissing:
        text = tr("The log file \"%1\" points into a folder that does not exist beside the "
                  "database: Paddock could not write the server's output there.")
                   .arg(displayPath(name));
        break;
    case OutputNameProblem::NamesFolder:
        text = tr("The log file \"%1\" names a folder, not a file: Paddock needs a file name "
                  "to write the server's output to.")
                   .arg(displayPath(name));
        break;
    default:
        break;
    }
    showWarning(m_ui->logFileWarning, text, WarningLevel::Error);
}

QString PreferencesPanel::commandPreview() const
{
    return m_ui->commandPreview->text();
}

} // namespace paddock

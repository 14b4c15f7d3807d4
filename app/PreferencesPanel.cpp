// SPDX-License-Identifier: MIT
#include "PreferencesPanel.h"

#include "ChooserMemory.h"
#include "DatabaseGenerations.h"
#include "MooController.h"
#include "OutputNamePreview.h"
#include "ServerArguments.h"
#include "SettingsKeys.h"
#include "String.h"
#include "UserDefaults.h"
#include "ui_PreferencesPanel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <chrono>

namespace paddock {

namespace {

QString storedText(const UserDefaults &store, const QString &key)
{
    const std::optional<std::string> value = store.stringForKey(key);
    return value ? displayPath(*value) : QString();
}

// A stored count if it is one within [least, most], else fallback: as its readers take it.
int storedCount(const UserDefaults &store, const QString &key, int fallback, int least, int most)
{
    const std::optional<long long> value = store.integerForKey(key);
    return value && *value >= least && *value <= most ? int(*value) : fallback;
}

int storedScrollback(const UserDefaults &store)
{
    return storedCount(store, MOOScrollbackMiB, int(DefaultScrollbackMiB), 1, 1 << 30);
}

} // namespace

PreferencesPanel::PreferencesPanel(UserDefaults &store, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::PreferencesPanel>())
    , m_store(store)
{
    m_ui->setupUi(this);
    m_ui->executablePath->setText(storedText(store, MOOExecutableURL));
    m_ui->nameTemplate->setText(storedText(store, MOONewDBNameFormat));
    m_ui->dateFormat->setText(storedText(store, MOODateFormat));
    // Newer preferences show their default while absent and are stored only when edited.
    m_ui->logFileName->setText(
        displayPath(store.stringForKey(MOOLogFileName).value_or(std::string(DefaultLogFileName))));
    m_ui->scrollbackMiB->setValue(storedScrollback(store));
    m_ui->restartAfterCrash->setChecked(store.boolForKey(MOORestartAfterCrash));
    showArchiving();
    m_ui->argumentsBefore->setText(storedText(store, MOOArgumentsBefore));
    m_ui->argumentsAfter->setText(storedText(store, MOOArgumentsAfter));

    // Stored at each edit, so a start made while the panel is open uses what it shows.
    connect(m_ui->nameTemplate, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_store.setString(MOONewDBNameFormat, pathBytes(text));
    });
    connect(m_ui->dateFormat, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_store.setString(MOODateFormat, pathBytes(text)); });
    connect(m_ui->logFileName, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_store.setString(MOOLogFileName, pathBytes(text)); });
    connect(m_ui->scrollbackMiB, &QSpinBox::valueChanged, this,
            [this](int mib) { m_store.setString(MOOScrollbackMiB, std::to_string(mib)); });
    // Only a click writes the key: absent, it stays off.
    connect(m_ui->restartAfterCrash, &QCheckBox::clicked, this,
            [this](bool on) { m_store.setString(MOORestartAfterCrash, on ? "1" : "0"); });
    connect(m_ui->rotateDatabases, &QCheckBox::clicked, this,
            [this](bool on) { m_store.setString(MOORotateDatabases, on ? "1" : "0"); });
    connect(m_ui->archiveKeep, &QSpinBox::valueChanged, this,
            [this](int keep) { m_store.setString(MOOArchiveKeep, std::to_string(keep)); });
    connect(m_ui->archiveDays, &QSpinBox::valueChanged, this,
            [this](int days) { m_store.setString(MOOArchiveDays, std::to_string(days)); });
    connect(m_ui->argumentsBefore, &QLineEdit::textEdited, this, [this](const QString &text) {
        m_store.setString(MOOArgumentsBefore, pathBytes(text));
    });
    connect(m_ui->argumentsAfter, &QLineEdit::textEdited, this,
            [this](const QString &text) { m_store.setString(MOOArgumentsAfter, pathBytes(text)); });
    connect(&store, &UserDefaults::valueChanged, this, &PreferencesPanel::onValueChanged);
    updatePreview();
}

PreferencesPanel::~PreferencesPanel() = default;

QPushButton *PreferencesPanel::chooseButton() const
{
    return m_ui->chooseButton;
}

QString PreferencesPanel::previewText() const
{
    return m_ui->preview->text();
}

QString PreferencesPanel::previewSource() const
{
    return m_ui->previewSource->text();
}

QString PreferencesPanel::previewWarning() const
{
    return m_ui->previewWarning->text();
}

void PreferencesPanel::showEvent(QShowEvent *event)
{
    updatePreview(); // the time has moved on since the panel was last shown
    QDialog::showEvent(event);
}

void PreferencesPanel::onValueChanged(const QString &key)
{
    // Values set elsewhere (a chooser, another start) show up here; an edit of our own
    // finds its text already in place and leaves the cursor alone.
    const auto follow = [this, &key](QLineEdit *field) {
        const QString text = storedText(m_store, key);
        if (field->text() != text)
            field->setText(text);
    };
    if (key == MOOExecutableURL)
        follow(m_ui->executablePath);
    else if (key == MOONewDBNameFormat)
        follow(m_ui->nameTemplate);
    else if (key == MOODateFormat)
        follow(m_ui->dateFormat);
    else if (key == MOOArgumentsBefore)
        follow(m_ui->argumentsBefore);
    else if (key == MOOArgumentsAfter)
        follow(m_ui->argumentsAfter);
    else if (key == MOOLogFileName && m_ui->logFileName->text() != storedText(m_store, key))
        m_ui->logFileName->setText(
            displayPath(m_store.stringForKey(key).value_or(std::string(DefaultLogFileName))));
    else if (key == MOORestartAfterCrash)
        m_ui->restartAfterCrash->setChecked(m_store.boolForKey(MOORestartAfterCrash));
    else if (key == MOORotateDatabases || key == MOOArchiveKeep || key == MOOArchiveDays)
        showArchiving();
    else if (key == MOOScrollbackMiB) {
        const QSignalBlocker quiet(m_ui->scrollbackMiB);
        m_ui->scrollbackMiB->setValue(storedScrollback(m_store));
    }
    updatePreview();
}

void PreferencesPanel::showArchiving()
{
    const QSignalBlocker quietKeep(m_ui->archiveKeep);
    const QSignalBlocker quietDays(m_ui->archiveDays);
    const ArchivePolicy policy = archivePolicy(m_store);
    m_ui->rotateDatabases->setChecked(policy.rotate);
    m_ui->archiveKeep->setValue(policy.keep);
    m_ui->archiveDays->setValue(policy.days);
}

void PreferencesPanel::updatePreview()
{
    const std::optional<std::string> last = m_store.stringForKey(MOOLastDBName);
    std::string input = last && !last->empty() ? *last : std::string(exampleDatabase);
    // A bare last name lies where the database chooser will look for it: in the folder it
    // last chose in. Names resolve against that folder, as the server resolves them.
    if (input.front() != '/') {
        const auto folder = chooserMemory().stringForKey(DatabaseChooserIdentifier);
        if (folder && !folder->empty())
            input = *folder + "/" + input;
    }
    const OutputNamePreview preview = previewOutputName(
        m_store.stringForKey(MOONewDBNameFormat).value_or(DefaultNewDBNameFormat),
        m_store.stringForKey(MOODateFormat), input, std::chrono::system_clock::now());

    m_ui->preview->setText(displayPath(preview.name));
    m_ui->previewSource->setText(
        (last && !last->empty() ? tr("when the last output, ") : tr("for an example database, ")) +
        displayPath(input) + tr(", is started"));
    m_ui->previewWarning->setText(
        displayPath(describeOutputNameProblem(preview.problem, preview.name)));
    // Writing over the input is a risk Start asks about, not an error: amber, not red.
    m_ui->previewWarning->setStyleSheet(preview.problem == OutputNameProblem::OverwritesInput
                                            ? QStringLiteral("color: #8a5a00;")
                                            : QStringLiteral("color: #b00000;"));

    // The whole argument vector, as the server will get it, each word quoted where a shell
    // would need it so the words can be told apart.
    try {
        const std::vector<std::string> words = serverArgumentVector(&m_store, input, preview.name);
        QStringList shown;
        for (const std::string &word : words) {
            const QString text = displayPath(word);
            const bool plain =
                !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
                    return c.isLetterOrNumber() || QStringLiteral("/._-+=:,%@").contains(c);
                });
            shown.append(
                plain ? text
                      : QLatin1Char('\'') +
                            QString(text).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                            QLatin1Char('\''));
        }
        m_ui->commandPreview->setText(shown.join(QLatin1Char(' ')));
    } catch (const std::exception &error) {
        m_ui->commandPreview->setText(QString::fromLocal8Bit(error.what()));
    }
}

QString PreferencesPanel::commandPreview() const
{
    return m_ui->commandPreview->text();
}

} // namespace paddock

// SPDX-License-Identifier: MIT
// The preferences panel's controls showing the values stored in the world shown.
#include "PreferencesPanel.h"

#include "DatabaseGenerations.h"
#include "MooController.h"
#include "ResponsivenessWatch.h"
#include "SettingsKeys.h"
#include "Snapshots.h"
#include "String.h"
#include "UserDefaults.h"
#include "ui_PreferencesPanel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <utility>

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

std::string storedLogFileName(const UserDefaults &store)
{
    return store.stringForKey(MOOLogFileName).value_or(std::string(DefaultLogFileName));
}

// Shows text in field unless it is there already, so that the cursor of an edit stays put;
// nothing is written back for showing it.
void showText(QLineEdit *field, const QString &text)
{
    if (field->text() == text)
        return;
    const QSignalBlocker quiet(field);
    field->setText(text);
}

} // namespace

void PreferencesPanel::showStored(const QString &key)
{
    // Values set elsewhere (a chooser, another start) show up here, each where it belongs;
    // an edit of our own finds its value already in place. An empty key shows every value.
    const auto shows = [&key](std::initializer_list<QString> keys) {
        return key.isEmpty() || std::find(keys.begin(), keys.end(), key) != keys.end();
    };
    const std::pair<QLineEdit *, QString> texts[] = {
        {m_ui->executablePath, MOOExecutableURL},  {m_ui->nameTemplate, MOONewDBNameFormat},
        {m_ui->dateFormat, MOODateFormat},         {m_ui->argumentsBefore, MOOArgumentsBefore},
        {m_ui->argumentsAfter, MOOArgumentsAfter}, {m_ui->offsiteFolder, MOOOffsiteFolder}};
    for (const auto &[field, fieldKey] : texts)
        if (shows({fieldKey}))
            showText(field, storedText(*m_store, fieldKey));
    // Newer preferences show their default while absent and are stored only when edited.
    if (shows({MOOLogFileName}))
        showText(m_ui->logFileName, displayPath(storedLogFileName(*m_store)));
    if (shows({MOOScrollbackMiB})) {
        const QSignalBlocker quiet(m_ui->scrollbackMiB);
        m_ui->scrollbackMiB->setValue(storedScrollback(*m_store));
    }
    if (shows({MOORestartAfterCrash})) {
        const QSignalBlocker quiet(m_ui->restartAfterCrash);
        m_ui->restartAfterCrash->setChecked(m_store->boolForKey(MOORestartAfterCrash));
    }
    if (shows({MOORotateDatabases, MOOArchiveKeep, MOOArchiveDays}))
        showArchiving();
    if (key.isEmpty() || key.startsWith(QStringLiteral("MOOSnapshot")) ||
        key.startsWith(QStringLiteral("MOOOffsite")))
        showSnapshots();
    if (shows({MOOCheckAnswers, MOOCheckAnswersMinutes, MOONotRespondingMinutes}))
        showResponding();
}

void PreferencesPanel::showArchiving()
{
    const QSignalBlocker quietRotate(m_ui->rotateDatabases);
    const QSignalBlocker quietKeep(m_ui->archiveKeep);
    const QSignalBlocker quietDays(m_ui->archiveDays);
    const ArchivePolicy policy = archivePolicy(*m_store);
    m_ui->rotateDatabases->setChecked(policy.rotate);
    m_ui->archiveKeep->setValue(policy.keep);
    m_ui->archiveDays->setValue(policy.days);
    // What is kept matters only while archiving is on.
    m_ui->archiveLabel->setEnabled(policy.rotate);
    m_ui->archiveKeep->setEnabled(policy.rotate);
    m_ui->archiveDays->setEnabled(policy.rotate);
}

void PreferencesPanel::showSnapshots()
{
    const SnapshotPolicy policy = snapshotPolicy(*m_store);
    const QSignalBlocker quiet(m_ui->snapshotCheckpoints);
    m_ui->snapshotCheckpoints->setChecked(policy.enabled);
    const auto show = [](QSpinBox *box, int value) {
        const QSignalBlocker quietBox(box);
        box->setValue(value);
    };
    show(m_ui->snapshotHours, policy.retention.hours);
    show(m_ui->snapshotDays, policy.retention.days);
    show(m_ui->snapshotWeeks, policy.retention.weeks);
    show(m_ui->offsiteHours, policy.offsiteRetention.hours);
    show(m_ui->offsiteDays, policy.offsiteRetention.days);
    show(m_ui->offsiteWeeks, policy.offsiteRetention.weeks);
    // What is kept, and where, matters only while snapshots are on.
    const QList<QWidget *> controls{
        m_ui->snapshotLabel, m_ui->snapshotHours, m_ui->snapshotDays,        m_ui->snapshotWeeks,
        m_ui->offsiteLabel,  m_ui->offsiteFolder, m_ui->chooseOffsiteButton, m_ui->offsiteKeepLabel,
        m_ui->offsiteHours,  m_ui->offsiteDays,   m_ui->offsiteWeeks};
    for (QWidget *control : controls)
        control->setEnabled(policy.enabled);
}

void PreferencesPanel::showResponding()
{
    const QSignalBlocker quietCheck(m_ui->checkAnswers);
    const QSignalBlocker quietEvery(m_ui->checkAnswersMinutes);
    const QSignalBlocker quietThreshold(m_ui->notRespondingMinutes);
    const ResponsivenessSettings settings = responsivenessSettings(*m_store);
    m_ui->checkAnswers->setChecked(settings.checkAnswers);
    m_ui->checkAnswersMinutes->setValue(int(settings.checkEvery.count()));
    m_ui->notRespondingMinutes->setValue(int(settings.threshold.count()));
    // How often matters only while the check is on.
    m_ui->checkAnswersMinutesLabel->setEnabled(settings.checkAnswers);
    m_ui->checkAnswersMinutes->setEnabled(settings.checkAnswers);
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "WidgetTestSupport.h"

#include "PreferencesPanel.h"
#include "SettingsKeys.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

using namespace paddock;
using namespace paddock::test;

namespace {

// The settings file of two worlds: the first world's keys outside every group, a test copy's
// in its own group, each with a few values of its own.
struct TwoWorlds {
    QTemporaryDir folder;
    UserDefaults first{osPath(folder.filePath(QStringLiteral("paddock.conf")))};
    UserDefaults copy{first.filePath(), QStringLiteral("World2")};

    TwoWorlds()
    {
        for (UserDefaults *world : {&first, &copy}) { // so that every control takes edits
            world->setString(MOORotateDatabases, "1");
            world->setString(MOOSnapshotCheckpoints, "1");
        }
        first.setString(MOONewDBNameFormat, "%@.new");
        first.setString(MOOArchiveKeep, "3");
        copy.setString(MOOExecutableURL, "/opt/moo/test-server");
        copy.setString(MOONewDBNameFormat, "%@.test");
        copy.setString(MOOArchiveKeep, "7");
        copy.setString(MOORestartAfterCrash, "1");
    }
};

// What control shows: a field's text, a spin box's value, whether a box is checked.
QString shown(const QWidget *control)
{
    if (auto *field = qobject_cast<const QLineEdit *>(control))
        return field->text();
    if (auto *box = qobject_cast<const QSpinBox *>(control))
        return QString::number(box->value());
    return qobject_cast<const QCheckBox *>(control)->isChecked() ? QStringLiteral("1")
                                                                 : QStringLiteral("0");
}

// Edits control as a user does: types at the end of a field, steps a spin box up, ticks a box.
void edit(QWidget *control)
{
    if (qobject_cast<QLineEdit *>(control)) {
        QTest::keyClick(control, Qt::Key_End);
        QTest::keyClick(control, Qt::Key_X);
    } else {
        QTest::keyClick(control, qobject_cast<QSpinBox *>(control) ? Qt::Key_Up : Qt::Key_Space);
    }
}

QString value(const UserDefaults &store, const QString &key)
{
    return QString::fromStdString(store.stringForKey(key).value_or("<absent>"));
}

} // namespace

class tst_Preferences : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void groups_eachPageHoldsItsSettings_data();
    void groups_eachPageHoldsItsSettings();
    void showSettingsOf_showsAndWritesThatWorldOnly_data();
    void showSettingsOf_showsAndWritesThatWorldOnly();
    void showSettingsOf_editUnderWay_landsInTheWorldItWasMadeFor_data();
    void showSettingsOf_editUnderWay_landsInTheWorldItWasMadeFor();
    void showSettingsOf_storeGone_showsTheFirstWorldAgain();
};

void tst_Preferences::groups_eachPageHoldsItsSettings_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("settings");
    QTest::newRow("server and arguments")
        << QStringLiteral("serverPage")
        << QStringList{QStringLiteral("executablePath"), QStringLiteral("chooseButton"),
                       QStringLiteral("argumentsBefore"), QStringLiteral("argumentsAfter"),
                       QStringLiteral("commandPreview")};
    QTest::newRow("output names") << QStringLiteral("outputNamesPage")
                                  << QStringList{QStringLiteral("nameTemplate"),
                                                 QStringLiteral("dateFormat"),
                                                 QStringLiteral("preview")};
    QTest::newRow("log") << QStringLiteral("logPage")
                         << QStringList{QStringLiteral("logFileName"),
                                        QStringLiteral("scrollbackMiB")};
    QTest::newRow("supervision") << QStringLiteral("supervisionPage")
                                 << QStringList{QStringLiteral("restartAfterCrash"),
                                                QStringLiteral("checkAnswers"),
                                                QStringLiteral("checkAnswersMinutes"),
                                                QStringLiteral("notRespondingMinutes")};
    QTest::newRow("archive")
        << QStringLiteral("archivePage")
        << QStringList{QStringLiteral("rotateDatabases"),     QStringLiteral("archiveKeep"),
                       QStringLiteral("archiveDays"),         QStringLiteral("snapshotCheckpoints"),
                       QStringLiteral("snapshotHours"),       QStringLiteral("snapshotDays"),
                       QStringLiteral("snapshotWeeks"),       QStringLiteral("offsiteFolder"),
                       QStringLiteral("chooseOffsiteButton"), QStringLiteral("offsiteHours"),
                       QStringLiteral("offsiteDays"),         QStringLiteral("offsiteWeeks")};
}

void tst_Preferences::groups_eachPageHoldsItsSettings()
{
    QFETCH(QString, page);
    QFETCH(QStringList, settings);
    TwoWorlds worlds;
    PreferencesPanel panel(worlds.first);
    panel.show();
    auto *list = panel.findChild<QListWidget *>(QStringLiteral("pageList"));
    auto *pageWidget = panel.findChild<QWidget *>(page);
    QVERIFY(list && pageWidget);
    // Turned to from the list of groups, whose entry reads as the page is named to a screen
    // reader.
    const QList<QListWidgetItem *> entries =
        list->findItems(pageWidget->accessibleName(), Qt::MatchExactly);
    QCOMPARE(entries.size(), 1);
    list->setCurrentItem(entries.front());
    for (const QString &setting : std::as_const(settings)) {
        auto *control = pageWidget->findChild<QWidget *>(setting);
        QVERIFY2(control && control->isVisible(), qPrintable(setting));
    }
    // Alt and a letter reaches one control of the page shown, never two.
    QString letters;
    for (QWidget *each : pageWidget->findChildren<QWidget *>()) {
        QString text;
        if (auto *label = qobject_cast<QLabel *>(each))
            text = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(each))
            text = button->text();
        else if (auto *group = qobject_cast<QGroupBox *>(each))
            text = group->title();
        const qsizetype at = text.indexOf(u'&');
        if (at < 0 || at + 1 >= text.size())
            continue;
        const QChar letter = text.at(at + 1).toLower();
        QVERIFY2(!letters.contains(letter), qPrintable(text));
        letters.append(letter);
    }
}

void tst_Preferences::showSettingsOf_showsAndWritesThatWorldOnly_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("copyShows");
    QTest::addColumn<QString>("copyGets"); // once edited
    QTest::newRow("field") << QStringLiteral("nameTemplate") << QString(MOONewDBNameFormat)
                           << QStringLiteral("%@.test") << QStringLiteral("%@.testx");
    // Absent, it shows its default and stays absent until edited.
    QTest::newRow("field absent in that world")
        << QStringLiteral("logFileName") << QString(MOOLogFileName) << QStringLiteral("server.log")
        << QStringLiteral("server.logx");
    QTest::newRow("spin box") << QStringLiteral("archiveKeep") << QString(MOOArchiveKeep)
                              << QStringLiteral("7") << QStringLiteral("8");
    QTest::newRow("check box") << QStringLiteral("restartAfterCrash")
                               << QString(MOORestartAfterCrash) << QStringLiteral("1")
                               << QStringLiteral("0");
}

void tst_Preferences::showSettingsOf_showsAndWritesThatWorldOnly()
{
    QFETCH(QString, control);
    QFETCH(QString, key);
    QFETCH(QString, copyShows);
    QFETCH(QString, copyGets);
    TwoWorlds worlds;
    const QStringList firstKeys = worlds.first.keys();
    const QStringList copyKeys = worlds.copy.keys();
    PreferencesPanel panel(worlds.first);
    QCOMPARE(panel.windowTitle(), QStringLiteral("Paddock Preferences"));
    auto *widget = panel.findChild<QWidget *>(control);
    const QString firstShows = shown(widget);
    QSignalSpy chooseServer(&panel, &PreferencesPanel::chooseServerRequested);

    panel.showSettingsOf(worlds.copy, QStringLiteral("Test copy"));
    QCOMPARE(panel.windowTitle(), QStringLiteral("Paddock Preferences for Test copy"));
    QCOMPARE(shown(widget), copyShows);
    QCOMPARE(panel.findChild<QLineEdit *>(QStringLiteral("executablePath"))->text(),
             QStringLiteral("/opt/moo/test-server"));
    QVERIFY2(panel.previewText().endsWith(u".test"), qPrintable(panel.previewText()));
    QCOMPARE(worlds.copy.keys(), copyKeys); // nothing written for showing
    // The first world's store changing elsewhere shows no more; the copy's does.
    worlds.first.setString(MOOArgumentsAfter, "7777");
    worlds.copy.setString(MOOArgumentsAfter, "8888");
    QCOMPARE(panel.findChild<QLineEdit *>(QStringLiteral("argumentsAfter"))->text(),
             QStringLiteral("8888"));
    // Choose... asks for the server of the world shown; the wiring knows which that is.
    panel.chooseButton()->click();
    QCOMPARE(chooseServer.size(), 1);
    QCOMPARE(&panel.settings(), &worlds.copy);

    edit(widget);
    QCOMPARE(value(worlds.copy, key), copyGets);
    QStringList firstNowHas = firstKeys + QStringList{MOOArgumentsAfter};
    firstNowHas.sort();
    QCOMPARE(worlds.first.keys(), firstNowHas);

    // Back to the one world: today's title, its own values, and the copy's left as edited.
    panel.showSettingsOf(worlds.first, QString());
    QCOMPARE(panel.windowTitle(), QStringLiteral("Paddock Preferences"));
    QCOMPARE(shown(widget), firstShows);
    QCOMPARE(value(worlds.copy, key), copyGets);
}

void tst_Preferences::showSettingsOf_editUnderWay_landsInTheWorldItWasMadeFor_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("typed"); // keys typed into it; "<chooser>" picks a folder
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("firstGets");
    QTest::newRow("field, focus leaves after the switch")
        << QStringLiteral("nameTemplate") << QStringLiteral("x") << QString(MOONewDBNameFormat)
        << QStringLiteral("%@.newx");
    QTest::newRow("spin box, typed")
        << QStringLiteral("archiveKeep") << QStringLiteral("<select>12") << QString(MOOArchiveKeep)
        << QStringLiteral("12");
    QTest::newRow("spin box, emptied and left")
        << QStringLiteral("archiveKeep") << QStringLiteral("<select>") << QString(MOOArchiveKeep)
        << QStringLiteral("3");
    QTest::newRow("off-site folder chosen after the switch")
        << QStringLiteral("offsiteFolder") << QStringLiteral("<chooser>")
        << QString(MOOOffsiteFolder) << QStringLiteral("/mnt/offsite");
}

void tst_Preferences::showSettingsOf_editUnderWay_landsInTheWorldItWasMadeFor()
{
    QFETCH(QString, control);
    QFETCH(QString, typed);
    QFETCH(QString, key);
    QFETCH(QString, firstGets);
    TwoWorlds worlds;
    worlds.copy.setString(MOOOffsiteFolder, "/mnt/copy");
    const std::optional<std::string> copyHad = worlds.copy.stringForKey(key);
    PreferencesPanel panel(worlds.first);
    panel.show();
    panel.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&panel));
    auto *widget = panel.findChild<QWidget *>(control);
    showPageOf(widget);
    widget->setFocus();

    QFileDialog *chooser = nullptr;
    if (typed == u"<chooser>") {
        panel.findChild<QPushButton *>(QStringLiteral("chooseOffsiteButton"))->click();
        chooser = panel.findChild<QFileDialog *>(QStringLiteral("offsiteFolderChooser"));
        QVERIFY(chooser);
    } else if (typed.startsWith(u"<select>")) {
        QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(widget, Qt::Key_Backspace);
        QTest::keyClicks(widget, typed.mid(int(qstrlen("<select>"))));
    } else {
        QTest::keyClick(widget, Qt::Key_End);
        QTest::keyClicks(widget, typed);
    }

    panel.showSettingsOf(worlds.copy, QStringLiteral("Test copy"));
    if (chooser)
        Q_EMIT chooser->fileSelected(QStringLiteral("/mnt/offsite"));
    panel.findChild<QWidget *>(QStringLiteral("pageList"))->setFocus(); // the edit is left
    QCOMPARE(value(worlds.first, key), firstGets);
    QCOMPARE(worlds.copy.stringForKey(key), copyHad);
    QCOMPARE(shown(widget), QString::fromStdString(copyHad.value_or("")));
}

void tst_Preferences::showSettingsOf_storeGone_showsTheFirstWorldAgain()
{
    // A removed world's settings may go while the panel shows them.
    TwoWorlds worlds;
    PreferencesPanel panel(worlds.first);
    auto gone = std::make_unique<UserDefaults>(worlds.first.filePath(), QStringLiteral("World3"));
    panel.showSettingsOf(*gone, QStringLiteral("Old castle"));
    gone.reset();
    QCOMPARE(panel.windowTitle(), QStringLiteral("Paddock Preferences"));
    auto *field = panel.findChild<QLineEdit *>(QStringLiteral("nameTemplate"));
    QCOMPARE(field->text(), QStringLiteral("%@.new"));
    edit(field);
    QCOMPARE(value(worlds.first, MOONewDBNameFormat), QStringLiteral("%@.newx"));
}

PADDOCK_WIDGETS_TEST_MAIN(tst_Preferences)
#include "tst_preferences.moc"

#include "TestSupport.h"

#include "SettingsKeys.h"

#include <QFile>
#include <QSettings>
#include <QSignalSpy>

#include <sys/stat.h>

using namespace paddock;
using namespace paddock::test;

class tst_Settings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void formatDefaults_emptyStore_getsExactlyTheTwoFormats();
    void formatDefaults_userValuesSurvive_data();
    void formatDefaults_userValuesSurvive();
    void store_garbageFile_givesDefaultsAndRuns_data();
    void store_garbageFile_givesDefaultsAndRuns();
    void store_write_replacesFileAtomically();
    void store_nonUtf8Bytes_roundTrip();
    void store_unwritableFolder_reportsAndKeepsValue();
    void initialize_standardStore_runsOnceBeforeFirstController();
};

void tst_Settings::formatDefaults_emptyStore_getsExactlyTheTwoFormats()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("paddock.conf"));
    {
        UserDefaults store(osPath(file));
        MooController::writeFormatDefaults(store);
    }
    QSettings written(file, QSettings::IniFormat);
    QStringList keys = written.allKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList{MOODateFormat, MOONewDBNameFormat}));
    QCOMPARE(written.value(MOONewDBNameFormat).toString(), QStringLiteral("%@.new"));
    QCOMPARE(written.value(MOODateFormat).toString(), QStringLiteral("%Y%m%d%H%M%S"));
}

void tst_Settings::formatDefaults_userValuesSurvive_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("template") << MOONewDBNameFormat << QStringLiteral("%@-%T");
    QTest::newRow("empty template") << MOONewDBNameFormat << QString();
    QTest::newRow("date format") << MOODateFormat << QStringLiteral("%H:%M");
    QTest::newRow("empty date format") << MOODateFormat << QString();
}

void tst_Settings::formatDefaults_userValuesSurvive()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir dir;
    const std::string file = osPath(dir.filePath(QStringLiteral("paddock.conf")));
    {
        UserDefaults store(file);
        store.setString(key, value.toStdString());
    }
    for (int start = 0; start < 3; ++start) {
        UserDefaults store(file);
        MooController::writeFormatDefaults(store);
    }
    UserDefaults store(file);
    QCOMPARE(store.stringForKey(key).value_or("<absent>"), value.toStdString());
}

void tst_Settings::store_garbageFile_givesDefaultsAndRuns_data()
{
    QTest::addColumn<QByteArray>("contents");
    static const char binary[] = "\x00\xff\x01[[[\n=\x7f garbage\n";
    QTest::newRow("binary") << QByteArray(binary, sizeof binary - 1);
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("broken section") << QByteArray("[General\nMOOLastDBName\n");
}

void tst_Settings::store_garbageFile_givesDefaultsAndRuns()
{
    QFETCH(QByteArray, contents);
    QTemporaryDir dir;
    const std::string file = osPath(dir.filePath(QStringLiteral("paddock.conf")));
    {
        QFile f(qtPath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }
    {
        UserDefaults store(file);
        MooController::writeFormatDefaults(store);
        QCOMPARE(store.stringForKey(MOONewDBNameFormat).value_or(""), "%@.new");
        QVERIFY(store.lastSaveSucceeded()); // the broken old file is no failure to save
    }
    UserDefaults reread(file);
    QCOMPARE(reread.stringForKey(MOONewDBNameFormat).value_or(""), "%@.new");
    QCOMPARE(reread.stringForKey(MOODateFormat).value_or(""), "%Y%m%d%H%M%S");
}

void tst_Settings::store_write_replacesFileAtomically()
{
    // A save writes a new file and renames it over the old one, so a crash mid-write
    // leaves the old file whole: the file's identity changes with every save.
    QTemporaryDir dir;
    const std::string file = osPath(dir.filePath(QStringLiteral("paddock.conf")));
    UserDefaults store(file);
    store.setString(MOOLastDBName, "first.db");
    struct stat before = {};
    QCOMPARE(::stat(file.c_str(), &before), 0);
    store.setString(MOOLastDBName, "second.db");
    struct stat after = {};
    QCOMPARE(::stat(file.c_str(), &after), 0);
    QVERIFY(before.st_ino != after.st_ino);
    QVERIFY(store.lastSaveSucceeded());
}

void tst_Settings::store_nonUtf8Bytes_roundTrip()
{
    QTemporaryDir dir;
    const std::string file = osPath(dir.filePath(QStringLiteral("paddock.conf")));
    const std::string bytes = "/srv/w\xff\xfe rld/\x80"
                              "castle.db";
    {
        UserDefaults store(file);
        store.setString(MOOLastDBName, bytes);
    }
    UserDefaults store(file);
    QCOMPARE(store.stringForKey(MOOLastDBName).value_or(""), bytes);
}

void tst_Settings::store_unwritableFolder_reportsAndKeepsValue()
{
    // A folder cannot be created where a file stands, whoever we run as.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    UserDefaults store(osPath(dir.filePath(QStringLiteral("not-a-folder/paddock.conf"))));
    QSignalSpy failed(&store, &UserDefaults::saveFailed);
    store.setString(MOOExecutableURL, "/usr/bin/moo");
    QCOMPARE(failed.count(), 1);
    QVERIFY(!store.lastSaveSucceeded());
    QCOMPARE(store.stringForKey(MOOExecutableURL).value_or(""), "/usr/bin/moo");

    // Once the folder can be made, the next save succeeds and writes every value held.
    QVERIFY(blocker.remove());
    store.setString(MOOLastDBName, "castle.db.new");
    QVERIFY(store.lastSaveSucceeded());
    QCOMPARE(failed.count(), 1);
    UserDefaults reread(store.filePath());
    QCOMPARE(reread.stringForKey(MOOExecutableURL).value_or(""), "/usr/bin/moo");
    QCOMPARE(reread.stringForKey(MOOLastDBName).value_or(""), "castle.db.new");
}

void tst_Settings::initialize_standardStore_runsOnceBeforeFirstController()
{
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    QVERIFY(standard.filePath().starts_with(qgetenv("XDG_CONFIG_HOME").toStdString()));
    MooController controller;
    QVERIFY(MooController::isInitialized());
    QCOMPARE(standard.stringForKey(MOONewDBNameFormat).value_or(""), "%@.new");
    // A later change survives further initialisation: it runs once per process.
    standard.setString(MOODateFormat, "");
    MooController::initialize();
    MooController another;
    QCOMPARE(standard.stringForKey(MOODateFormat).value_or("<absent>"), "");
}

PADDOCK_TEST_MAIN(tst_Settings)
#include "tst_settings.moc"

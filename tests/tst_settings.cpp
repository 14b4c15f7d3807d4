// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "ChooserMemory.h"
#include "SettingsKeys.h"
#include "UniqueFd.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>

#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace paddock;
using test::readFile;
using test::writeFile;
using namespace paddock::test;

class tst_Settings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void formatDefaults_emptyStore_getsExactlyTheTwoFormats();
    void formatDefaults_userValuesSurvive_data();
    void formatDefaults_userValuesSurvive();
    void store_readableFile_keepsItsValues_data();
    void store_readableFile_keepsItsValues();
    void store_write_replacesFileAtomically();
    void store_nonUtf8Bytes_roundTrip();
    void store_unwritableFolder_reportsAndKeepsValue();
    void initialize_standardStore_runsOnceBeforeFirstController();
    void store_unreadableFile_keptAsItIsAndSaysWhy_data();
    void store_unreadableFile_keptAsItIsAndSaysWhy();
    void save_lockTroubles_neverBlock_data();
    void save_lockTroubles_neverBlock();
    void settingsFolder_environmentBytesAsTheyAre_data();
    void settingsFolder_environmentBytesAsTheyAre();
    void iniFormat_sameBytesAsQSettingsBothWays_data();
    void iniFormat_sameBytesAsQSettingsBothWays();
    void save_keepsKeysChangedByAnotherWriter();
};

namespace {

// Sets an environment variable (unset for none) until the end of the scope.
class ScopedEnvironment final {
public:
    ScopedEnvironment(const char *name, const std::optional<std::string> &value)
        : m_name(name)
    {
        if (const char *old = ::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    Q_DISABLE_COPY_MOVE(ScopedEnvironment)

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

} // namespace

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

void tst_Settings::store_readableFile_keepsItsValues_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("lastDb"); // what the file says, kept through the saves
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("over 1 MiB") << "[General]\nMOOLastDBName=castle.db\n" +
                                       QByteArray(1024 * 1024, '\n')
                                << QStringLiteral("castle.db");
}

void tst_Settings::store_readableFile_keepsItsValues()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, lastDb);
    QTemporaryDir dir;
    const std::string file = osPath(dir.filePath(QStringLiteral("paddock.conf")));
    QVERIFY(writeFile(file, contents));
    {
        UserDefaults store(file);
        MooController::writeFormatDefaults(store);
        QVERIFY(store.lastSaveSucceeded());
        QVERIFY(store.readProblem().isEmpty());
    }
    UserDefaults reread(file);
    QCOMPARE(reread.stringForKey(MOONewDBNameFormat).value_or(""), "%@.new");
    QCOMPARE(reread.stringForKey(MOODateFormat).value_or(""), "%Y%m%d%H%M%S");
    QCOMPARE(reread.stringForKey(MOOLastDBName).value_or(""), lastDb.toStdString());
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

    // A settings file that is a link to a file elsewhere is replaced there; the link stays.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("dotfiles")));
    const std::string real = osPath(dir.filePath(QStringLiteral("dotfiles/paddock.conf")));
    const std::string linked = osPath(dir.filePath(QStringLiteral("linked.conf")));
    QCOMPARE(::rename(file.c_str(), real.c_str()), 0);
    QCOMPARE(::symlink(real.c_str(), linked.c_str()), 0);
    UserDefaults throughLink(linked);
    QCOMPARE(throughLink.stringForKey(MOOLastDBName), std::optional<std::string>("second.db"));
    throughLink.setString(MOOLastDBName, "third.db");
    QVERIFY(throughLink.lastSaveSucceeded());
    QVERIFY(QFileInfo(QString::fromStdString(linked)).isSymLink());
    QCOMPARE(UserDefaults(real).stringForKey(MOOLastDBName),
             std::optional<std::string>("third.db"));
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
    // Both formats gone from the file (replaced from outside): a second run would write them
    // again, so their staying absent shows it runs once per process.
    const std::string replacement = standard.filePath() + ".replacement";
    QVERIFY(writeFile(replacement, "[General]\n"));
    QCOMPARE(::rename(replacement.c_str(), standard.filePath().c_str()), 0);
    QVERIFY(!standard.hasKey(MOONewDBNameFormat) && !standard.hasKey(MOODateFormat));
    MooController::initialize();
    MooController another;
    QVERIFY(!standard.hasKey(MOONewDBNameFormat) && !standard.hasKey(MOODateFormat));
}

void tst_Settings::store_unreadableFile_keptAsItIsAndSaysWhy_data()
{
    // What stands where the file should be, and the reason the store gives for not reading it.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO") << QStringLiteral("fifo") << QStringLiteral("not a regular file");
    QTest::newRow("link to a FIFO")
        << QStringLiteral("link to fifo") << QStringLiteral("not a regular file");
    QTest::newRow("link to a device")
        << QStringLiteral("link to device") << QStringLiteral("not a regular file");
    QTest::newRow("folder") << QStringLiteral("folder") << QStringLiteral("folder");
    QTest::newRow("over the size limit") << QStringLiteral("huge") << QStringLiteral("64 MiB");
    QTest::newRow("binary") << QStringLiteral("binary") << QStringLiteral("not settings");
    QTest::newRow("a line that is no setting")
        << QStringLiteral("broken") << QStringLiteral("not settings");
}

void tst_Settings::store_unreadableFile_keptAsItIsAndSaysWhy()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const std::string file = osPath(dir.filePath(QStringLiteral("paddock.conf")));
    const std::string fifo = osPath(dir.filePath(QStringLiteral("fifo")));
    const std::string device = osPath(dir.filePath(QStringLiteral("zero")));
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    if (kind == u"fifo") {
        QCOMPARE(::rename(fifo.c_str(), file.c_str()), 0);
    } else if (kind == u"link to fifo") {
        QCOMPARE(::symlink(fifo.c_str(), file.c_str()), 0);
    } else if (kind == u"link to device") {
        // A device of our own, never the system's: a fault here must not replace /dev/zero.
        if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0)
            QSKIP("cannot make a device node here");
        QCOMPARE(::symlink(device.c_str(), file.c_str()), 0);
    } else if (kind == u"folder") {
        QCOMPARE(::mkdir(file.c_str(), 0700), 0);
    } else if (kind == u"huge") {
        // Sparse: the size counts, not the disk.
        QVERIFY(writeFile(file, "[General]\nMOOLastDBName=castle.db\n"));
        QCOMPARE(::truncate(file.c_str(), (off_t(64) << 20) + 1), 0);
    } else if (kind == u"binary") {
        static const char binary[] = "\x00\xff\x01[[[\n=\x7f garbage\n";
        QVERIFY(writeFile(file, QByteArray(binary, sizeof binary - 1)));
    } else {
        QVERIFY(writeFile(file, "[General\nMOOLastDBName\nMOOExecutableURL=/usr/bin/moo\n"));
    }
    struct stat before = {};
    QCOMPARE(::lstat(file.c_str(), &before), 0);
    const QByteArray bytes = S_ISREG(before.st_mode) ? readFile(file) : QByteArray();

    // Opening a FIFO for reading would wait for a writer: the store must not.
    UserDefaults store(file);
    QVERIFY(!store.hasKey(MOOLastDBName));
    QVERIFY2(store.readProblem().contains(reason), qPrintable(store.readProblem()));
    QSignalSpy unreadable(&store, &UserDefaults::readFailed);
    MooController::writeFormatDefaults(store); // as class initialisation does
    store.setString(MOOLastDBName, "castle.db");
    QCOMPARE(store.stringForKey(MOOLastDBName).value_or(""), "castle.db");
    QCOMPARE(store.stringForKey(MOONewDBNameFormat).value_or(""), "%@.new");
    QVERIFY(!store.lastSaveSucceeded());
    QCOMPARE(unreadable.count(), 3);
    QVERIFY(unreadable.at(0).at(1).toString().contains(reason));

    // The file, or whatever stands there, is exactly as it was.
    struct stat after = {};
    QCOMPARE(::lstat(file.c_str(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_size, before.st_size);
    if (S_ISREG(after.st_mode))
        QCOMPARE(readFile(file), bytes);
    QVERIFY(::stat(fifo.c_str(), &after) != 0 || S_ISFIFO(after.st_mode));
}

void tst_Settings::save_lockTroubles_neverBlock_data()
{
    QTest::addColumn<QString>("trouble");
    QTest::addColumn<bool>("saves");
    QTest::newRow("stale lock file") << QStringLiteral("stale lock file") << true;
    QTest::newRow("folder named as the lock file") << QStringLiteral("lock folder") << true;
    QTest::newRow("settings folder locked elsewhere") << QStringLiteral("held") << false;
}

void tst_Settings::save_lockTroubles_neverBlock()
{
    QFETCH(QString, trouble);
    QFETCH(bool, saves);
    QTemporaryDir dir;
    const std::string file = osPath(dir.filePath(QStringLiteral("paddock.conf")));
    if (trouble == u"stale lock file")
        QVERIFY(writeFile(file + ".lock", "999999999\nsomewhere-else\npaddock\n"));
    if (trouble == u"lock folder")
        QCOMPARE(::mkdir((file + ".lock").c_str(), 0700), 0);
    UniqueFd folder(::open(osPath(dir.path()).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    QVERIFY(folder);
    if (trouble == u"held")
        QCOMPARE(::flock(folder.get(), LOCK_EX | LOCK_NB), 0);

    UserDefaults store(file);
    QSignalSpy failed(&store, &UserDefaults::saveFailed);
    QElapsedTimer clock;
    clock.start();
    store.setString(MOOLastDBName, "castle.db.new");
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed()) + u" ms"));
    QCOMPARE(store.lastSaveSucceeded(), saves);
    QCOMPARE(failed.count(), saves ? 0 : 1);
    QCOMPARE(store.stringForKey(MOOLastDBName).value_or(""), "castle.db.new");

    ::flock(folder.get(), LOCK_UN);
    store.setString(MOODateFormat, "%Y");
    QVERIFY(store.lastSaveSucceeded());
    QSettings written(dir.filePath(QStringLiteral("paddock.conf")), QSettings::IniFormat);
    QCOMPARE(written.value(MOOLastDBName).toString(), QStringLiteral("castle.db.new"));
}

void tst_Settings::settingsFolder_environmentBytesAsTheyAre_data()
{
    // <dir> stands for a fresh folder whose name is not UTF-8; <none> for unset.
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected"); // <passwd> for the password database's home
    QTest::newRow("config home not UTF-8")
        << QStringLiteral("<dir>") << QStringLiteral("<none>") << QStringLiteral("<dir>/paddock");
    QTest::newRow("config home relative: ignored")
        << QStringLiteral("relative/config") << QStringLiteral("<dir>")
        << QStringLiteral("<dir>/.config/paddock");
    QTest::newRow("config home empty: ignored")
        << QString() << QStringLiteral("<dir>") << QStringLiteral("<dir>/.config/paddock");
    QTest::newRow("home not UTF-8") << QStringLiteral("<none>") << QStringLiteral("<dir>")
                                    << QStringLiteral("<dir>/.config/paddock");
    QTest::newRow("neither set") << QStringLiteral("<none>") << QStringLiteral("<none>")
                                 << QStringLiteral("<passwd>/.config/paddock");
}

void tst_Settings::settingsFolder_environmentBytesAsTheyAre()
{
    QFETCH(QString, configHome);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    QTemporaryDir parent;
    const std::string dir = osPath(parent.path()) + "/w\xff\xfe\x80rld";
    QCOMPARE(::mkdir(dir.c_str(), 0700), 0);
    // QTemporaryDir cannot remove a name that is not UTF-8.
    auto removeDir = qScopeGuard([&dir] { removeTree(dir); });
    const auto value = [&dir](const QString &text) -> std::optional<std::string> {
        if (text == u"<none>")
            return std::nullopt;
        return text == u"<dir>" ? dir : text.toStdString();
    };
    ScopedEnvironment configVariable("XDG_CONFIG_HOME", value(configHome));
    ScopedEnvironment homeVariable("HOME", value(home));

    std::string folder = expected.toStdString();
    if (folder.starts_with("<dir>"))
        folder.replace(0, 5, dir);
    if (folder.starts_with("<passwd>"))
        folder.replace(0, 8, ::getpwuid(::getuid())->pw_dir);
    QCOMPARE(UserDefaults::standardFilePath(), folder + "/paddock.conf");
    QCOMPARE(chooserMemoryFilePath(), folder + "/choosers.conf");
    if (expected.startsWith(u"<passwd>"))
        return; // the real home: nothing is written there
    {
        UserDefaults store(UserDefaults::standardFilePath());
        store.setString(MOOLastDBName, "castle.db");
        QVERIFY(store.lastSaveSucceeded());
    }
    struct stat info = {};
    QCOMPARE(::stat((folder + "/paddock.conf").c_str(), &info), 0);
    UserDefaults reread(UserDefaults::standardFilePath());
    QCOMPARE(reread.stringForKey(MOOLastDBName).value_or(""), "castle.db");
}

void tst_Settings::iniFormat_sameBytesAsQSettingsBothWays_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("binary"); // stored as bytes (window placement)
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("spaces at the ends") << QByteArray("  castle db  ") << false;
    QTest::newRow("commas") << QByteArray("a,b,,c") << false;
    QTest::newRow("quotes") << QByteArray("say \"hi\" '") << false;
    QTest::newRow("backslashes") << QByteArray("C:\\moo\\x41\\") << false;
    QTest::newRow("line breaks and tabs") << QByteArray("one\ntwo\r\n\tthree") << false;
    QTest::newRow("control characters and hex digits") << QByteArray("a\x01"
                                                                     "1b\x7f")
                                                       << false;
    QTest::newRow("not UTF-8") << QByteArray("/srv/w\xff\xfe rld/\x80"
                                             "castle.db")
                               << false;
    QTest::newRow("UTF-8") << QByteArray("caf\xc3\xa9 \xe2\x82\xac") << false;
    QTest::newRow("percent") << QByteArray("%@.%T %Y%m%d") << false;
    QTest::newRow("equals") << QByteArray("a=b") << false;
    QTest::newRow("semicolon") << QByteArray("a;b") << false;
    QTest::newRow("hash") << QByteArray("#not a comment") << false;
    QTest::newRow("leading @") << QByteArray("@ByteArray(x)") << false;
    static const char bytes[] = "\x01\xd9\xd0\xcb\x00\x03 ,;=\"\\\n0a ";
    QTest::newRow("bytes") << QByteArray(bytes, sizeof bytes - 1) << true;
    QTest::newRow("empty bytes") << QByteArray() << true;
}

void tst_Settings::iniFormat_sameBytesAsQSettingsBothWays()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, binary);
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("ours.conf"));
    const QString theirs = dir.filePath(QStringLiteral("theirs.conf"));
    const QString key = QStringLiteral("key");
    {
        UserDefaults store(osPath(ours));
        if (binary)
            store.setBytes(key, value);
        else
            store.setString(key, value.toStdString());
    }
    const bool utf8 = !binary && QString::fromUtf8(value).toUtf8() == value;
    {
        QSettings qt(theirs, QSettings::IniFormat);
        if (utf8)
            qt.setValue(key, QString::fromUtf8(value));
        else
            qt.setValue(key, value);
    }
    QCOMPARE(readFile(ours), readFile(theirs));

    QSettings qtReads(ours, QSettings::IniFormat);
    QCOMPARE(qtReads.value(key).typeId(), utf8 ? QMetaType::QString : QMetaType::QByteArray);
    QCOMPARE(utf8 ? qtReads.value(key).toString().toUtf8() : qtReads.value(key).toByteArray(),
             value);
    UserDefaults weRead(osPath(theirs));
    QCOMPARE(weRead.stringForKey(key).value_or("<absent>"), value.toStdString());
}

void tst_Settings::save_keepsKeysChangedByAnotherWriter()
{
    // Another process saves between two of ours: each save writes only its own keys.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("paddock.conf"));
    UserDefaults store(osPath(file));
    store.setString(MOOLastDBName, "castle.db");
    {
        QSettings other(file, QSettings::IniFormat);
        other.setValue(MOODateFormat, QStringLiteral("%H"));
    }
    QCOMPARE(store.stringForKey(MOODateFormat).value_or(""), "%H");
    {
        QSettings other(file, QSettings::IniFormat);
        other.setValue(MOONewDBNameFormat, QStringLiteral("%@.next"));
    }
    store.setString(MOOExecutableURL, "/usr/bin/moo");
    QSettings written(file, QSettings::IniFormat);
    QCOMPARE(written.value(MOOLastDBName).toString(), QStringLiteral("castle.db"));
    QCOMPARE(written.value(MOODateFormat).toString(), QStringLiteral("%H"));
    QCOMPARE(written.value(MOONewDBNameFormat).toString(), QStringLiteral("%@.next"));
    QCOMPARE(written.value(MOOExecutableURL).toString(), QStringLiteral("/usr/bin/moo"));
}

PADDOCK_TEST_MAIN(tst_Settings)
#include "tst_settings.moc"

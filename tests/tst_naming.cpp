// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "NameTemplate.h"
#include "SettingsKeys.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <ctime>

using namespace paddock;
using namespace paddock::test;
using std::chrono::system_clock;

namespace {

// 2026-03-04 05:06:07 UTC, a Wednesday morning. The tests run five and a half hours east
// of UTC, so a date formatted in UTC instead of local time shows.
const char *const testZone = "PDK-5:30";
const system_clock::time_point moment = system_clock::from_time_t(1772600767);
const QByteArray stamp = "20260304103607";
const QByteArray castle = "/srv/worlds/castle.db";

std::string bytes(const QByteArray &array)
{
    return array.toStdString();
}

// A null array stands for a format that is not set.
DateFormatSource formatFrom(const QByteArray &format)
{
    return [format]() -> std::optional<std::string> {
        if (format.isNull())
            return std::nullopt;
        return format.toStdString();
    };
}

// The default format's fourteen digits, made without strftime.
std::string localDigits(system_clock::time_point when)
{
    const std::time_t seconds = system_clock::to_time_t(when);
    std::tm local = {};
    ::localtime_r(&seconds, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

QByteArray repeated(const QByteArray &piece, int times)
{
    return piece.repeated(times);
}

} // namespace

class tst_Naming : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void expand_examples_data();
    void expand_examples();
    void expand_tokensAbsent_noReadNoDraw_data();
    void expand_tokensAbsent_noReadNoDraw();
    void formatLocalTime_formats_neverTruncated_data();
    void formatLocalTime_formats_neverTruncated();
    void formatLocalTime_nonEnglishLocale_changesNothing();
    void determineNewDbName_keysAbsent_usesDefaults();
    void determineNewDbName_tokensAbsent_generatorUntouched();
    void determineNewDbName_sameName_storedAndRecordedEachTime();
    void determineNewDbName_separateProcesses_drawDifferentRandomValues();
};

void tst_Naming::initTestCase()
{
    ::setenv("TZ", testZone, 1);
    ::tzset();
    QCOMPARE(localDigits(moment), bytes(stamp));
}

void tst_Naming::expand_examples_data()
{
    QTest::addColumn<QByteArray>("nameTemplate");
    QTest::addColumn<QByteArray>("dateFormat");
    QTest::addColumn<QByteArray>("dbPath");
    QTest::addColumn<qlonglong>("draw");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray absent;
    auto row = [&](const char *name, const QByteArray &nameTemplate, const QByteArray &expected,
                   const QByteArray &dateFormat = QByteArray(), qlonglong draw = 1234567,
                   const QByteArray &dbPath = castle) {
        QTest::newRow(name) << nameTemplate << dateFormat << dbPath << draw << expected;
    };
    row("default template", "%@.new", "castle.db.new");
    row("name and time", "%@.%T", "castle.db." + stamp);
    row("random", "run-%R.db", "run-1234567.db");
    row("random zero", "run-%R.db", "run-0.db", absent, 0);
    row("random largest", "run-%R.db", "run-2147483647.db", absent, 2147483647);
    row("no tokens", "fixed.db", "fixed.db");
    row("empty template", "", "");
    row("name twice", "%@-%@", "castle.db-%@");
    row("time twice", "%T.%T", stamp + ".%T");
    row("random twice", "%R%R", "1234567%R");
    row("percent before time", "%%T", "%" + stamp);
    row("lower case is no token", "%t%r%@", "%t%rcastle.db");
    row("other percent sequences", "%d%%%Y%", "%d%%%Y%");
    row("own date format", "%@.%T", "castle.db.2026-03-04 10:36", "%Y-%m-%d %H:%M");
    row("empty date format", "x%Ty", "xy", "");
    row("time makes random token", "%T", "1234567", "%%R");
    row("time makes name token", "%T", "castle.db.bak", "%%@.bak");
    row("time is not expanded twice", "%T", "%T", "%%T");
    row("random first in template", "%R%T", "1234567%R", "%%R");
    row("name makes no tokens", "%@", "%T%R.db", absent, 1234567, "/srv/%T%R.db");
    row("bare file name", "%@.new", "castle.db.new", absent, 1234567, "castle.db");
    row("relative folder", "../archive/%@", "../archive/castle.db");
    row("NUL in date format", "%T",
        QByteArray("2026\0"
                   "03",
                   7),
        QByteArray("%Y\0%m", 5));
    // Too long to be any file's name: the token stays rather than exhausting memory.
    row("huge field width", "%@.%T", "castle.db.%T", "%999999999Y");
}

void tst_Naming::expand_examples()
{
    QFETCH(QByteArray, nameTemplate);
    QFETCH(QByteArray, dateFormat);
    QFETCH(QByteArray, dbPath);
    QFETCH(qlonglong, draw);
    QFETCH(QByteArray, expected);
    const std::string name = expandNameTemplate(bytes(nameTemplate), formatFrom(dateFormat), moment,
                                                bytes(dbPath), [draw] { return long(draw); });
    QCOMPARE(name, bytes(expected));
}

void tst_Naming::expand_tokensAbsent_noReadNoDraw_data()
{
    QTest::addColumn<QByteArray>("nameTemplate");
    QTest::addColumn<QByteArray>("dateFormat");
    QTest::addColumn<int>("reads");
    QTest::addColumn<int>("draws");
    QTest::newRow("name only") << QByteArray("%@.new") << QByteArray("%Y") << 0 << 0;
    QTest::newRow("no tokens") << QByteArray("fixed.db") << QByteArray("%Y") << 0 << 0;
    QTest::newRow("lower case") << QByteArray("%t%r") << QByteArray("%Y") << 0 << 0;
    QTest::newRow("time") << QByteArray("%T") << QByteArray("%Y") << 1 << 0;
    QTest::newRow("random") << QByteArray("%R") << QByteArray("%Y") << 0 << 1;
    QTest::newRow("each twice") << QByteArray("%T%T%R%R") << QByteArray("%Y") << 1 << 1;
    QTest::newRow("random from time") << QByteArray("%T") << QByteArray("%%R") << 1 << 1;
}

void tst_Naming::expand_tokensAbsent_noReadNoDraw()
{
    QFETCH(QByteArray, nameTemplate);
    QFETCH(QByteArray, dateFormat);
    QFETCH(int, reads);
    QFETCH(int, draws);
    int formatReads = 0;
    int randomDraws = 0;
    expandNameTemplate(
        bytes(nameTemplate),
        [&]() -> std::optional<std::string> {
            ++formatReads;
            return bytes(dateFormat);
        },
        moment, bytes(castle),
        [&] {
            ++randomDraws;
            return 7L;
        });
    QCOMPARE(formatReads, reads);
    QCOMPARE(randomDraws, draws);
}

void tst_Naming::formatLocalTime_formats_neverTruncated_data()
{
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray dateTime = "Wed Mar  4 10:36:07 2026";
    QTest::newRow("default") << QByteArray("%Y%m%d%H%M%S") << stamp;
    QTest::newRow("empty result") << QByteArray("") << QByteArray("");
    QTest::newRow("lone percent") << QByteArray("%") << QByteArray("%");
    QTest::newRow("percent at the end") << QByteArray("%Y%") << QByteArray("2026%");
    QTest::newRow("unknown conversions") << QByteArray("%Q%q%N") << QByteArray("%Q%q%N");
    QTest::newRow("dangling modifier") << QByteArray("%E") << QByteArray("%E");
    QTest::newRow("AM and PM") << QByteArray("%p %P") << QByteArray("AM am");
    QTest::newRow("zone") << QByteArray("%Z") << QByteArray("PDK");
    QTest::newRow("bytes beyond ASCII") << QByteArray("\xff\xc3%Y")
                                        << QByteArray("\xff\xc3"
                                                      "2026");
    QTest::newRow("NUL bytes") << QByteArray("%Y\0%m\0", 6)
                               << QByteArray("2026\0"
                                             "03\0",
                                             8);
    QTest::newRow("thousands of conversions") << repeated("%Y", 5000) << repeated("2026", 5000);
    QTest::newRow("long conversions") << repeated("%c|", 3000) << repeated(dateTime + '|', 3000);
    QTest::newRow("long literal") << repeated("x", 200000) << repeated("x", 200000);
    QTest::newRow("wide field") << QByteArray("%300000Y")
                                << QByteArray(repeated("0", 299996) + "2026");
}

void tst_Naming::formatLocalTime_formats_neverTruncated()
{
    QFETCH(QByteArray, format);
    QFETCH(QByteArray, expected);
    const std::optional<std::string> text = formatLocalTime(bytes(format), moment);
    QVERIFY(text);
    QCOMPARE(text->size(), size_t(expected.size()));
    QCOMPARE(*text, bytes(expected));
}

void tst_Naming::formatLocalTime_nonEnglishLocale_changesNothing()
{
    const char *const format = "%a %A %b %B %p %c %x";
    const std::string english = "Wed Wednesday Mar March AM Wed Mar  4 10:36:07 2026 03/04/26";

    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const QByteArray previousLocPath = qgetenv("LOCPATH");
    auto restore = qScopeGuard([&] {
        std::setlocale(LC_ALL, previous.c_str());
        if (previousLocPath.isNull())
            ::unsetenv("LOCPATH");
        else
            ::setenv("LOCPATH", previousLocPath.constData(), 1);
    });

    const char *const german = "de_DE.UTF-8";
    QTemporaryDir built;
    if (!std::setlocale(LC_ALL, german) && !std::setlocale(LC_ALL, "de_DE.utf8")) {
        // Not installed: build it for this test where the system has the locale sources.
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty())
            QSKIP("no German locale installed and no localedef to build one");
        QProcess build;
        build.start(localedef,
                    {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                     QStringLiteral("UTF-8"), built.filePath(QString::fromLatin1(german))});
        if (!build.waitForFinished(60000)) {
            build.kill();
            build.waitForFinished(-1);
        }
        ::setenv("LOCPATH", QFile::encodeName(built.path()).constData(), 1);
        if (!std::setlocale(LC_ALL, german))
            QSKIP("no German locale installed and localedef could not build one");
    }

    const std::time_t seconds = system_clock::to_time_t(moment);
    std::tm local = {};
    ::localtime_r(&seconds, &local);
    char localized[256];
    const size_t length = std::strftime(localized, sizeof localized, format, &local);
    QVERIFY2(std::string(localized, length) != english,
             "the German locale formats like the C locale, so it proves nothing");

    QCOMPARE(formatLocalTime(format, moment).value_or("<none>"), english);
    QCOMPARE(expandNameTemplate("%@.%T", formatFrom(format), moment, bytes(castle)),
             "castle.db." + english);
}

void tst_Naming::determineNewDbName_keysAbsent_usesDefaults()
{
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    QVERIFY(standard.filePath().starts_with(qgetenv("XDG_CONFIG_HOME").toStdString()));
    UserDefaultsController prefs;
    MooController controller;
    controller.connectOutlets(&prefs, nullptr, nullptr);
    controller.setDbPath(makeString(bytes(castle)));
    {
        // The launcher never removes a key; the store's file can lose it all the same.
        QSettings file(qtPath(UserDefaults::standardFilePath()), QSettings::IniFormat);
        file.remove(MOONewDBNameFormat);
        file.remove(MOODateFormat);
        file.sync();
    }
    QVERIFY(!standard.hasKey(MOONewDBNameFormat));
    QVERIFY(!standard.hasKey(MOODateFormat));

    controller.determineNewDbName();
    QVERIFY(controller.newDbPath());
    QCOMPARE(*controller.newDbPath(), "castle.db.new");

    standard.setString(MOONewDBNameFormat, "%@.%T");
    const std::string before = localDigits(system_clock::now());
    controller.determineNewDbName();
    const std::string after = localDigits(system_clock::now());
    const std::string name = *controller.newDbPath();
    QVERIFY2(QRegularExpression(QStringLiteral("^castle\\.db\\.\\d{14}$"))
                 .match(QString::fromStdString(name))
                 .hasMatch(),
             name.c_str());
    const std::string digits = name.substr(name.size() - 14);
    QVERIFY2(before <= digits && digits <= after, name.c_str());
}

void tst_Naming::determineNewDbName_tokensAbsent_generatorUntouched()
{
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    MooController controller;
    controller.setDbPath(makeString(bytes(castle)));
    ::srandom(20261208);
    const long first = ::random();
    const long second = ::random();

    standard.setString(MOONewDBNameFormat, "%@.%T");
    ::srandom(20261208);
    controller.determineNewDbName();
    QCOMPARE(::random(), first);

    standard.setString(MOONewDBNameFormat, "r%R.db");
    ::srandom(20261208);
    controller.determineNewDbName();
    QCOMPARE(*controller.newDbPath(), "r" + std::to_string(first) + ".db");
    QCOMPARE(::random(), second);
}

void tst_Naming::determineNewDbName_sameName_storedAndRecordedEachTime()
{
    UserDefaults &standard = UserDefaults::standardUserDefaults();
    UserDefaultsController prefs;
    MooController controller;
    controller.connectOutlets(&prefs, nullptr, nullptr);
    controller.setDbPath(makeString(bytes(castle)));
    standard.setString(MOONewDBNameFormat, "fixed.db");

    QSignalSpy stored(&controller, &MooController::newDbPathChanged);
    QSignalSpy recorded(&standard, &UserDefaults::valueChanged);
    controller.determineNewDbName();
    const String firstName = controller.newDbPath();
    controller.determineNewDbName();
    QCOMPARE(stored.count(), 2);
    QCOMPARE(recorded.count(), 2);
    QCOMPARE(recorded.at(1).at(0).toString(), MOOLastDBName);
    QVERIFY(controller.newDbPath() != firstName);
    QCOMPARE(standard.stringForKey(MOOLastDBName).value_or("<absent>"), "fixed.db");
}

void tst_Naming::determineNewDbName_separateProcesses_drawDifferentRandomValues()
{
    QStringList names;
    for (int run = 0; run < 2; ++run) {
        QTemporaryDir settings;
        QProcess helper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), settings.path());
        helper.setProcessEnvironment(environment);
        helper.start(QStringLiteral(NAME_ONCE_PATH),
                     {QStringLiteral("run-%R.db"), QString::fromLatin1(castle)});
        QVERIFY(helper.waitForFinished(10000));
        QCOMPARE(helper.exitCode(), 0);
        names.append(QString::fromLatin1(helper.readAllStandardOutput().trimmed()));
        QVERIFY2(
            QRegularExpression(QStringLiteral("^run-\\d+\\.db$")).match(names.last()).hasMatch(),
            qPrintable(names.last()));
    }
    // An unseeded generator draws the same first value in every process.
    QVERIFY2(names.at(0) != names.at(1), qPrintable(names.at(0)));
}

PADDOCK_TEST_MAIN(tst_Naming)
#include "tst_naming.moc"

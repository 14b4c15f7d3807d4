// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "LaunchError.h"
#include "ServerArguments.h"
#include "SettingsKeys.h"

using namespace paddock;
using namespace paddock::test;

class tst_ServerArguments final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void split_likeAShellWithoutExpansion_data();
    void split_likeAShellWithoutExpansion();
    void vector_templatesAroundTheNames_data();
    void vector_templatesAroundTheNames();
    void runMoo_unclosedQuote_refusesAndChangesNothing();
};

void tst_ServerArguments::split_likeAShellWithoutExpansion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArrayList>("words");
    QTest::addColumn<bool>("ok");
    QTest::newRow("empty") << "" << QByteArrayList{} << true;
    QTest::newRow("blanks only") << " \t\n " << QByteArrayList{} << true;
    QTest::newRow("words") << "  -e   7777 " << QByteArrayList{"-e", "7777"} << true;
    QTest::newRow("single quotes keep all")
        << R"('a b' '\"$HOME' 'x'y)" << QByteArrayList{"a b", R"(\"$HOME)", "xy"} << true;
    QTest::newRow("double quotes escape four")
        << R"("a \"b\" \\ \$ \x")" << QByteArrayList{R"(a "b" \ $ \x)"} << true;
    QTest::newRow("empty words kept") << R"('' "")" << QByteArrayList{"", ""} << true;
    QTest::newRow("backslash outside")
        << R"(a\ b \' c\\)" << QByteArrayList{"a b", "'", "c\\"} << true;
    QTest::newRow("line joined") << "a\\\nb" << QByteArrayList{"ab"} << true;
    QTest::newRow("nothing expanded")
        << "$PORT ~ *.db `id` ;|&" << QByteArrayList{"$PORT", "~", "*.db", "`id`", ";|&"} << true;
    QTest::newRow("single unclosed") << "-e 'abc" << QByteArrayList{} << false;
    QTest::newRow("double unclosed") << R"("abc\")" << QByteArrayList{} << false;
    QTest::newRow("trailing backslash") << "abc\\" << QByteArrayList{} << false;
    // A word reaches the server as a C string: a NUL would cut it short, even quoted.
    QTest::newRow("NUL byte") << QStringLiteral("-p '7\u0000'") << QByteArrayList{} << false;
}

void tst_ServerArguments::split_likeAShellWithoutExpansion()
{
    QFETCH(QString, text);
    QFETCH(QByteArrayList, words);
    QFETCH(bool, ok);
    const SplitArguments split = splitArguments(text.toStdString());
    QCOMPARE(split.ok(), ok);
    if (!ok)
        return;
    QByteArrayList got;
    for (const std::string &word : split.words)
        got << QByteArray::fromStdString(word);
    QCOMPARE(got, words);
}

void tst_ServerArguments::vector_templatesAroundTheNames_data()
{
    QTest::addColumn<QString>("before"); // "(absent)": the key is absent
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("emergency");
    QTest::addColumn<QByteArrayList>("vector"); // empty: refused
    QTest::newRow("absent keys") << "(absent)"
                                 << "(absent)" << false << QByteArrayList{"in.db", "out.db"};
    QTest::newRow("empty values") << ""
                                  << " " << false << QByteArrayList{"in.db", "out.db"};
    QTest::newRow("both") << "-e 'a b'"
                          << "7777" << false
                          << QByteArrayList{"-e", "a b", "in.db", "out.db", "7777"};
    QTest::newRow("emergency: -e with the options, before the names")
        << "-l moo.log"
        << "7777" << true << QByteArrayList{"-l", "moo.log", "-e", "in.db", "out.db", "7777"};
    QTest::newRow("before refused") << "'x"
                                    << "(absent)" << false << QByteArrayList{};
    QTest::newRow("after refused") << "(absent)"
                                   << "\"x" << false << QByteArrayList{};
}

void tst_ServerArguments::vector_templatesAroundTheNames()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(bool, emergency);
    QFETCH(QByteArrayList, vector);
    QTemporaryDir folder;
    UserDefaults store(osPath(folder.filePath(QStringLiteral("paddock.conf"))));
    const QString absent = QStringLiteral("(absent)");
    if (before != absent)
        store.setString(MOOArgumentsBefore, before.toStdString());
    if (after != absent)
        store.setString(MOOArgumentsAfter, after.toStdString());
    try {
        QByteArrayList got;
        for (const std::string &word : serverArgumentVector(&store, "in.db", "out.db", emergency))
            got << QByteArray::fromStdString(word);
        QCOMPARE(got, vector);
    } catch (const LaunchError &error) {
        QVERIFY2(vector.isEmpty(), error.what());
        QVERIFY(contains(error.what(), before == absent ? "after" : "before"));
    }
}

void tst_ServerArguments::runMoo_unclosedQuote_refusesAndChangesNothing()
{
    ControllerFixture fixture;
    fixture.store().setString(MOOArgumentsAfter, "'7777");
    bool refused = false;
    try {
        fixture.launch("");
    } catch (const LaunchError &error) {
        refused = contains(error.what(), "not closed");
    }
    QVERIFY(refused);
    QVERIFY(!fixture.controller().isMooRunning());
    QVERIFY(!fixture.controller().task());
    QVERIFY(!fixture.controller().taskStdOut());
}

PADDOCK_TEST_MAIN(tst_ServerArguments)
#include "tst_serverarguments.moc"

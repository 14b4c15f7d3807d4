// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace paddock::test;

namespace {

struct Answer {
    int status = -1;
    QString out, err;
};

// Runs paddock as from a terminal without a display, where opening a window would fail.
Answer runPaddock(const QStringList &arguments,
                  const QString &program = QStringLiteral(PADDOCK_PATH))
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    QProcess paddock;
    paddock.setProcessEnvironment(environment);
    paddock.start(program, arguments);
    if (!paddock.waitForFinished(20000)) {
        paddock.kill();
        paddock.waitForFinished();
    }
    Answer answer;
    answer.status = paddock.exitStatus() == QProcess::NormalExit ? paddock.exitCode() : -1;
    answer.out = QString::fromLocal8Bit(paddock.readAllStandardOutput());
    answer.err = QString::fromLocal8Bit(paddock.readAllStandardError());
    return answer;
}

// The lines of a manual page's SYNOPSIS as man shows them: requests dropped, font changes
// removed, escaped hyphens plain.
QStringList manualSynopsis(const QString &page)
{
    QStringList lines;
    bool inSynopsis = false;
    for (QString line : page.split(u'\n')) {
        if (line.startsWith(QStringLiteral(".SH"))) {
            inSynopsis = line.contains(QStringLiteral("SYNOPSIS"));
            continue;
        }
        if (!inSynopsis || line.startsWith(u'.'))
            continue;
        for (const char *font : {"\\fB", "\\fI", "\\fR", "\\fP"})
            line.remove(QString::fromLatin1(font));
        lines.append(line.replace(QStringLiteral("\\-"), QStringLiteral("-")).trimmed());
    }
    return lines;
}

// The lines --help prints under "Usage:", up to the first empty line.
QStringList helpSynopsis(const QString &help)
{
    QStringList lines = help.section(QStringLiteral("\n\n"), 0, 0).split(u'\n');
    if (!lines.isEmpty())
        lines.removeFirst();
    for (QString &line : lines)
        line = line.trimmed();
    return lines;
}

QString keeperLine(const QString &help)
{
    return help.trimmed().section(u'\n', -1).trimmed();
}

} // namespace

class tst_CommandLine final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void arguments_answeredWithoutADisplay_data();
    void arguments_answeredWithoutADisplay();
    void help_synopsisIsTheManualPages();
    void help_keeperFoundFromTheProgramsRealFolder_data();
    void help_keeperFoundFromTheProgramsRealFolder();
};

void tst_CommandLine::arguments_answeredWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("outStart");
    QTest::addColumn<QString>("errPart");
    const QString version = QStringLiteral("Paddock " PADDOCK_VERSION "\n");
    const QString usage = QStringLiteral("Usage:\n  paddock\n");
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << version
                             << QString();
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << usage << QString();
    QTest::newRow("help wins over version")
        << QStringList{QStringLiteral("--version"), QStringLiteral("--help")} << 0 << usage
        << QString();
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate")} << 2 << QString()
                                    << QStringLiteral("unknown option \"--frobnicate\"");
    QTest::newRow("unknown after a known one")
        << QStringList{QStringLiteral("--version"), QStringLiteral("-x")} << 2 << QString()
        << QStringLiteral("unknown option \"-x\"");
    QTest::newRow("unknown command") << QStringList{QStringLiteral("frobnicate")} << 2 << QString()
                                     << QStringLiteral("unknown command \"frobnicate\"");
    QTest::newRow("empty argument")
        << QStringList{QString()} << 2 << QString() << QStringLiteral("unknown command \"\"");
    QTest::newRow("a command given two worlds")
        << QStringList{QStringLiteral("stop"), QStringLiteral("Live"), QStringLiteral("Test")} << 2
        << QString() << QStringLiteral("stop takes only a world's name, not \"Test\"");
    QTest::newRow("status given --json twice")
        << QStringList{QStringLiteral("status"), QStringLiteral("--json"), QStringLiteral("--json")}
        << 2 << QString() << QStringLiteral("not \"--json\"");
    QTest::newRow("a command without a Paddock")
        << QStringList{QStringLiteral("checkpoint"), QStringLiteral("Live")} << 4 << QString()
        << QStringLiteral("Paddock is not running.");
}

void tst_CommandLine::arguments_answeredWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, outStart);
    QFETCH(QString, errPart);
    const Answer answer = runPaddock(arguments);
    QVERIFY2(answer.status == status,
             qPrintable(QString::number(answer.status) + u' ' + answer.err));
    QVERIFY2(outStart.isEmpty() ? answer.out.isEmpty() : answer.out.startsWith(outStart),
             qPrintable(answer.out));
    QVERIFY2(errPart.isEmpty() ? answer.err.isEmpty() : answer.err.contains(errPart),
             qPrintable(answer.err));
}

void tst_CommandLine::help_synopsisIsTheManualPages()
{
    QFile page(QStringLiteral(MANUAL_PAGE_SOURCE));
    QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.errorString()));
    const QStringList manual = manualSynopsis(QString::fromUtf8(page.readAll()));
    QVERIFY(!manual.isEmpty());
    QCOMPARE(helpSynopsis(runPaddock({QStringLiteral("--help")}).out), manual);
}

void tst_CommandLine::help_keeperFoundFromTheProgramsRealFolder_data()
{
    QTest::addColumn<QString>("layout");
    QTest::newRow("the build tree") << QStringLiteral("build");
    QTest::newRow("through a link in another folder") << QStringLiteral("link");
    QTest::newRow("a copy without its keeper") << QStringLiteral("copy");
}

void tst_CommandLine::help_keeperFoundFromTheProgramsRealFolder()
{
    QFETCH(QString, layout);
    const QString keeper = QFileInfo(QStringLiteral(KEEPER_PATH)).canonicalFilePath();
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    QString program = QStringLiteral(PADDOCK_PATH);
    QString expected = keeper;
    if (layout == QLatin1String("link")) {
        program = elsewhere.filePath(QStringLiteral("paddock"));
        QVERIFY(QFile::link(QStringLiteral(PADDOCK_PATH), program));
    } else if (layout == QLatin1String("copy")) {
        QVERIFY(QDir(elsewhere.path()).mkpath(QStringLiteral("bin")));
        program = elsewhere.filePath(QStringLiteral("bin/paddock"));
        QVERIFY(QFile::copy(QStringLiteral(PADDOCK_PATH), program));
        expected = QFileInfo(elsewhere.path()).canonicalFilePath() +
                   QStringLiteral("/libexec/paddock/paddock-keeper (missing)");
    }
    const Answer answer = runPaddock({QStringLiteral("--help")}, program);
    QCOMPARE(answer.status, 0);
    QCOMPARE(keeperLine(answer.out), expected);
}

PADDOCK_TEST_MAIN(tst_CommandLine)
#include "tst_commandline.moc"

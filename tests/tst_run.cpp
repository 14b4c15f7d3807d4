// SPDX-License-Identifier: MIT
#include "ChunkLines.h"
#include "Run.h"
#include "TestSupport.h"
#include "WholeLines.h"

#include <QPointer>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>
#include <vector>

using namespace paddock;
using namespace paddock::test;

namespace {

// What one announced run told, in the order it told it.
struct Told {
    QPointer<Run> run;
    bool runningWhenAnnounced = false;
    bool adopted = false;
    QStringList lines;
    int outputsBeforeFirstLine = 0;
    int outputs = 0;
    int outputEnds = 0;
    int ends = 0;
    Task::TerminationReason reason = Task::TerminationReason::None;
    int status = 0;
};

// Records every run the controller announces and what each emits.
class RunRecorder final : public QObject {
public:
    explicit RunRecorder(MooController &controller)
    {
        connect(&controller, &MooController::runStarted, this, [this](Run &run) {
            auto told = std::make_shared<Told>();
            told->run = &run;
            told->runningWhenAnnounced = run.isRunning();
            told->adopted = run.isAdopted();
            connect(&run, &Run::output, this, [told](const QByteArray &) {
                ++told->outputs;
                if (told->lines.isEmpty())
                    ++told->outputsBeforeFirstLine;
            });
            connect(&run, &Run::lines, this, [told](const ChunkLines &lines) {
                lines.forEachLine([&told](std::string_view text) {
                    told->lines.append(QString::fromLatin1(text.data(), qsizetype(text.size())));
                });
            });
            connect(&run, &Run::outputEnded, this, [told] { ++told->outputEnds; });
            connect(&run, &Run::ended, this, [told, &run] {
                ++told->ends;
                told->reason = run.terminationReason();
                told->status = run.terminationStatus();
            });
            runs.push_back(told);
        });
    }
    std::vector<std::shared_ptr<Told>> runs;
};

// Whether lines holds a line containing each of parts, in that order.
bool containsInOrder(const QStringList &lines, const QStringList &parts)
{
    qsizetype next = 0;
    for (const QString &line : lines)
        if (next < parts.size() && line.contains(parts[next]))
            ++next;
    return next == parts.size();
}

} // namespace

class tst_Run final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { reapChildren(); }
    void lifecycle_announcedOnceLinesInOrderEndedOnce_data();
    void lifecycle_announcedOnceLinesInOrderEndedOnce();
    void chunkLines_cutAnywhere_sameLinesRecognisedOnce_data();
    void chunkLines_cutAnywhere_sameLinesRecognisedOnce();
    void wholeLines_everyBlockWidth_sameLinesAndMarks();
};

void tst_Run::lifecycle_announcedOnceLinesInOrderEndedOnce_data()
{
    QTest::addColumn<QString>("first");   // a server left running when the last one launches
    QTest::addColumn<bool>("adoptFirst"); // the first was started by an earlier Paddock
    QTest::addColumn<QString>("last");    // a server that ends by itself
    QTest::addColumn<QList<QStringList>>("lines"); // per run, parts of lines in their order
    QTest::addColumn<int>("lastStatus");
    QTest::newRow("one launch that exits")
        << QString() << false << QStringLiteral("stdout one\nstdout two\nexit 3\n")
        << QList<QStringList>{{QStringLiteral("one"), QStringLiteral("two")}} << 3;
    QTest::newRow("a launch replaces a running server")
        << QStringLiteral("stdout first\n") << false << QStringLiteral("stdout second\nexit 0\n")
        << QList<QStringList>{{QStringLiteral("first")}, {QStringLiteral("second")}} << 0;
    QTest::newRow("a launch replaces an adopted server")
        << QStringLiteral("tick-ms 20\n") << true << QStringLiteral("stdout second\nexit 4\n")
        << QList<QStringList>{{QStringLiteral("tick "), QStringLiteral("tick ")},
                              {QStringLiteral("second")}}
        << 4;
}

void tst_Run::lifecycle_announcedOnceLinesInOrderEndedOnce()
{
    QFETCH(QString, first);
    QFETCH(bool, adoptFirst);
    QFETCH(QString, last);
    QFETCH(QList<QStringList>, lines);
    QFETCH(int, lastStatus);

    ControllerFixture fixture;
    MooController &controller = fixture.controller();
    RunRecorder recorder(controller);
    QTemporaryDir elsewhere;
    int adopted = 0;
    const auto killAdopted = qScopeGuard([&adopted] {
        if (adopted > 0)
            ::kill(adopted, SIGKILL);
    });
    if (adoptFirst) {
        adopted = launchInAnotherProcessAndKillIt(
            QStringLiteral(STRESS_LAUNCHER_PATH),
            writeDatabase(elsewhere.path(), "first.db", first.toStdString()));
        QVERIFY(adopted > 0);
        controller.reattach();
    } else if (!first.isEmpty()) {
        fixture.launch(first.toStdString(), "first.out", "first.db");
    }
    if (!first.isEmpty()) {
        QCOMPARE(recorder.runs.size(), size_t(1));
        // Its lines arrive while it runs; the next launch must not take them from it.
        QTRY_VERIFY_WITH_TIMEOUT(containsInOrder(recorder.runs[0]->lines, lines.first()), 10000);
    }
    fixture.launch(last.toStdString(), "last.out", "last.db");

    QCOMPARE(recorder.runs.size(), size_t(lines.size()));
    QCOMPARE(controller.run(), recorder.runs.back()->run.data());
    // The replaced server runs on in its own run until it is stopped.
    if (recorder.runs.size() > 1) {
        QTRY_COMPARE_WITH_TIMEOUT(recorder.runs.back()->ends, 1, 10000);
        QCOMPARE(recorder.runs.front()->ends, 0);
        QVERIFY(recorder.runs.front()->run->sendSignal(SIGTERM));
    }
    for (std::size_t i = 0; i < recorder.runs.size(); ++i) {
        const Told &told = *recorder.runs[i];
        QTRY_VERIFY_WITH_TIMEOUT(told.ends == 1 && told.outputEnds == 1, 10000);
        QVERIFY(told.runningWhenAnnounced);
        QCOMPARE(told.adopted, adoptFirst && i == 0);
        QVERIFY2(containsInOrder(told.lines, lines[qsizetype(i)]),
                 qPrintable(told.lines.join(u'|')));
        // Each chunk is told as output before the lines it completes.
        QVERIFY(told.outputsBeforeFirstLine >= 1);
        QVERIFY(told.outputs >= told.outputsBeforeFirstLine);
    }
    adopted = 0; // ended: its PID may be another process's now
    // Another run's lines never reach this one.
    if (recorder.runs.size() > 1)
        QVERIFY(!containsInOrder(recorder.runs.back()->lines, lines.first()));
    const Told &ended = *recorder.runs.back();
    QCOMPARE(int(ended.reason), int(Task::TerminationReason::Exit));
    QCOMPARE(ended.status, lastStatus);
    if (adoptFirst)
        QCOMPARE(int(recorder.runs.front()->reason), int(Task::TerminationReason::Unknown));
}

void tst_Run::chunkLines_cutAnywhere_sameLinesRecognisedOnce_data()
{
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::addColumn<int>("chunkSize"); // the stream is read this many bytes at a time
    const QByteArray plain("flood 00000042 abcdefghijklmnopqrstuvwxyz");
    const QByteArray login("Dec  9 06:49:32: CONNECTED: W (#2) on port 1 from h, port 2");
    const QByteArray panic("\x1b[31m*** PANIC: Caught signal 11\x1b[0m");
    const QByteArray created("Dec  9 06:49:32: \x1b[32mCREATED: Q (#3) on port 1 from h, port 2");
    const QList<QByteArray> mixed{login, panic, plain, created, panic, "", login};
    QTest::newRow("whole lines in one read") << mixed << 4096;
    QTest::newRow("lines cut across reads") << mixed << 7;
    QTest::newRow("a byte at a time") << mixed << 1;
    QTest::newRow("coloured lines in a row, cut") << QList<QByteArray>(20, panic) << 13;
    // A read's whole lines are cut in blocks of bytes: "error", a pair of "r" that is not one,
    // and a coloured line's start fall on every place in a block.
    QList<QByteArray> shifted;
    for (int pad = 0; pad < 40; ++pad) {
        shifted << QByteArray(pad, 'p') + " an ERROR here" << QByteArray(pad, 'q') + " current";
        shifted << QByteArray(pad, 'e') << panic;
    }
    QTest::newRow("whole lines, marks at every place") << shifted << 4096;
    QTest::newRow("whole lines, marks at every place, cut") << shifted << 100;
    const QList<QByteArray> ends{
        "a line\r", QByteArray(5000, 'y') + " error", "*** after\r", "", "\r",
        plain,      QByteArray(4096, 'z') + "\r"};
    QTest::newRow("carriage returns and overlong lines") << ends << 16384;
    QTest::newRow("carriage returns and overlong lines, cut") << ends << 1000;
}

void tst_Run::chunkLines_cutAnywhere_sameLinesRecognisedOnce()
{
    QFETCH(QList<QByteArray>, lines);
    QFETCH(int, chunkSize);
    const auto described = [](const RecognisedLine &line) {
        return bytesOf(line.text).append(" as ").append(QByteArray::number(int(line.line.kind)));
    };
    // The last line has no line end: the end of the stream completes it.
    QByteArray stream = lines.join('\n');
    LineCutter cutter;
    std::vector<std::shared_ptr<const ChunkLines>> cut;
    for (qsizetype at = 0; at < stream.size(); at += chunkSize) {
        QByteArray chunk = stream.mid(at, chunkSize);
        cut.push_back(cutter.cut(chunk));
        chunk.fill('x'); // the reader's buffer is used again
    }
    cut.push_back(cutter.cut(QByteArray()));
    stream.fill('x');

    // Read only now: every view outlives the reads and the assembler's own buffer.
    QList<QByteArray> told, recognised, expected;
    for (const auto &chunk : cut) {
        qsizetype counted = 0;
        chunk->forEachLine([&](std::string_view text) {
            told.append(bytesOf(text));
            ++counted;
        });
        QCOMPARE(counted, qsizetype(chunk->count));
        for (const RecognisedLine &line : chunk->recognised)
            recognised.append(described(line));
    }
    // As one assembler gives them: without "\r", an overlong line cut.
    QList<QByteArray> expectedLines;
    LineAssembler assembler;
    const auto expect = [&](std::string_view line) {
        expectedLines.append(bytesOf(line));
        std::string scratch;
        if (const auto whole = recogniseNoteworthyLine(line, scratch))
            expected.append(described(*whole));
    };
    assembler.push(viewOf(lines.join('\n')), expect);
    assembler.finish(expect);
    QCOMPARE(told, expectedLines);
    QCOMPARE(recognised, expected);
}

void tst_Run::wholeLines_everyBlockWidth_sameLinesAndMarks()
{
    // A pair of "r" or an escape at every place in a block, and across blocks' edges.
    QByteArray whole;
    for (int pad = 0; pad < 70; ++pad)
        whole += QByteArray(pad, 'a') + "rR\n" + QByteArray(pad, 'b') + "\x1b\n" +
                 QByteArray(pad, 'c') + "r-r\r\n" + QByteArray(pad, 'd') + "r\n";
    whole += "*** opens as a recognised line\n";
    whole += "Dec  9 06:49:32: CONNECTED: W (#2), past a stamp\r\n";
    std::vector<QList<QByteArray>> seen;
    for (const LineBlocks blocks : {LineBlocks::One, LineBlocks::Sixteen, LineBlocks::Widest}) {
        std::vector<std::string_view> marked;
        QCOMPARE(cutWholeLines(viewOf(whole), 4096, marked, blocks), size_t(4 * 70 + 2));
        QList<QByteArray> told;
        for (const std::string_view line : marked)
            told << bytesOf(line);
        seen.push_back(told);
    }
    QCOMPARE(seen[0].size(), 2 * 70 + 2);
    QCOMPARE(seen[0].mid(0, 2), QList<QByteArray>({"rR", "\x1b"}));
    QCOMPARE(seen[0].last(), "Dec  9 06:49:32: CONNECTED: W (#2), past a stamp");
    QCOMPARE(seen[1], seen[0]);
    QCOMPARE(seen[2], seen[0]);
}

PADDOCK_TEST_MAIN(tst_Run)
#include "tst_run.moc"

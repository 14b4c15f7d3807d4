// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "ServerLogLines.h"

using namespace paddock;

Q_DECLARE_METATYPE(paddock::ServerLogKind)

class tst_ServerLogLines final : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void recognise_serverLines_data();
    void recognise_serverLines();
    void prefilter_lines_skipOnlyWhatHoldsNothing_data();
    void prefilter_lines_skipOnlyWhatHoldsNothing();
    void assemble_chunks_giveBoundedLines_data();
    void assemble_chunks_giveBoundedLines();
};

void tst_ServerLogLines::recognise_serverLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<ServerLogKind>("kind");
    QTest::addColumn<QByteArray>("mark");
    QTest::addColumn<int>("port");
    QTest::addColumn<QByteArray>("database");
    QTest::addColumn<bool>("error");

    using K = ServerLogKind;
    // LambdaMOO: a stamp, "*** " on errors only.
    QTest::newRow("lambda listen")
        << QByteArray("Jul  7 10:31:02: LISTEN: #0 now listening on port 7777") << K::Listening
        << QByteArray() << 7777 << QByteArray() << false;
    QTest::newRow("lambda checkpoint start")
        << QByteArray("Jul  7 10:31:02: CHECKPOINTING on castle.db.#3# ...") << K::CheckpointStarted
        << QByteArray() << 0 << QByteArray("castle.db") << false;
    QTest::newRow("lambda checkpoint done")
        << QByteArray("Jul 17 10:31:05: CHECKPOINTING on castle.db.#3# finished")
        << K::CheckpointFinished << QByteArray() << 0 << QByteArray("castle.db") << false;
    QTest::newRow("lambda abandoned")
        << QByteArray("Jul  7 10:31:02: *** Abandoning checkpoint attempt...")
        << K::CheckpointAbandoned << QByteArray("***") << 0 << QByteArray() << true;
    QTest::newRow("lambda dump done")
        << QByteArray("Dec  8 18:00:00: DUMPING on castle.db.#12# finished") << K::DumpFinished
        << QByteArray() << 0 << QByteArray("castle.db") << false;
    QTest::newRow("lambda retry") << QByteArray(
                                         "Dec  8 18:00:00: Waiting 10 seconds and retrying dump...")
                                  << K::DumpRetrying << QByteArray() << 0 << QByteArray() << false;
    QTest::newRow("lambda dump error")
        << QByteArray("Dec  8 18:00:00: *** Trying to dump database: No space left on device")
        << K::Other << QByteArray("***") << 0 << QByteArray() << true;
    QTest::newRow("lambda panic") << QByteArray("Dec  8 18:00:00: *** PANIC: Caught signal 11")
                                  << K::Panic << QByteArray("***") << 0 << QByteArray() << true;
    QTest::newRow("lambda panic dump")
        << QByteArray("Dec  8 18:00:00: PANIC-DUMPING on castle.db.PANIC ...") << K::Panic
        << QByteArray() << 0 << QByteArray("castle.db.PANIC") << true;
    QTest::newRow("lambda shutdown")
        << QByteArray("Dec  8 18:00:00: SHUTDOWN: shutdown signal received") << K::Shutdown
        << QByteArray() << 0 << QByteArray() << false;
    // ToastStunt: severity marks on every line.
    QTest::newRow("toast listen")
        << QByteArray("Jul  7 10:31:02: > LISTEN: #0 now listening on 0.0.0.0 port 8888 [IPv4]")
        << K::Listening << QByteArray(">") << 8888 << QByteArray() << false;
    QTest::newRow("toast checkpoint done")
        << QByteArray("Jul  7 10:31:02: > CHECKPOINTING on toast.db.#1# finished")
        << K::CheckpointFinished << QByteArray(">") << 0 << QByteArray("toast.db") << false;
    QTest::newRow("toast warning") << QByteArray("Jul  7 10:31:02: ### Could not resolve host")
                                   << K::Other << QByteArray("###") << 0 << QByteArray() << false;
    QTest::newRow("toast error") << QByteArray("Jul  7 10:31:02: !!! Failed to bind to port")
                                 << K::ListenFailed << QByteArray("!!!") << 0 << QByteArray()
                                 << true;
    // Near misses stay ordinary lines.
    QTest::newRow("no stamp") << QByteArray("CHECKPOINTING on a.db.#1# finished")
                              << K::CheckpointFinished << QByteArray() << 0 << QByteArray("a.db")
                              << false;
    QTest::newRow("a player quoting") << QByteArray("Jul  7 10:31:02: Wizard says, \"PANIC\"")
                                      << K::Other << QByteArray() << 0 << QByteArray() << false;
    QTest::newRow("port out of range") << QByteArray("LISTEN: #0 now listening on port 99999")
                                       << K::Other << QByteArray() << 0 << QByteArray() << false;
    QTest::newRow("name without number")
        << QByteArray("CHECKPOINTING on odd.#x# ...") << K::CheckpointStarted << QByteArray() << 0
        << QByteArray("odd.#x#") << false;
    QTest::newRow("empty") << QByteArray() << K::Other << QByteArray() << 0 << QByteArray()
                           << false;
    // "error" in any case and at any place, found however the line falls into the steps of
    // the scan.
    QTest::newRow("error at the start")
        << QByteArray("Errors: 2") << K::Other << QByteArray() << 0 << QByteArray() << true;
    QTest::newRow("error at the end, mixed case")
        << QByteArray("Jul  7 10:31:02: compile ERrOr") << K::Other << QByteArray() << 0
        << QByteArray() << true;
    QTest::newRow("error across the scan's steps")
        << QByteArray("0123456789abcerror and then more") << K::Other << QByteArray() << 0
        << QByteArray() << true;
    QTest::newRow("error after the last step")
        << QByteArray("0123456789abcdefghijklmnopqrstuvwxyz error") << K::Other << QByteArray() << 0
        << QByteArray() << true;
    QTest::newRow("a player named for an error logs in")
        << QByteArray("CONNECTED: Terror (#5) on port 7777 from errors.example, port 2")
        << K::Connected << QByteArray() << 7777 << QByteArray() << false;
    QTest::newRow("near misses") << QByteArray("terr or; mirror; erro; rrror; e-rror") << K::Other
                                 << QByteArray() << 0 << QByteArray() << false;
}

void tst_ServerLogLines::recognise_serverLines()
{
    QFETCH(QByteArray, line);
    QFETCH(ServerLogKind, kind);
    QFETCH(QByteArray, mark);
    QFETCH(int, port);
    QFETCH(QByteArray, database);
    QFETCH(bool, error);
    const ServerLogLine got =
        recogniseServerLogLine(std::string_view(line.constData(), size_t(line.size())));
    QCOMPARE(got.kind, kind);
    QCOMPARE(QByteArray(got.mark.data(), qsizetype(got.mark.size())), mark);
    QCOMPARE(got.port, port);
    QCOMPARE(QByteArray(got.database.data(), qsizetype(got.database.size())), database);
    QCOMPARE(got.isError(), error);
    // Whatever the parser finds, the cheap test before it lets through.
    if (kind != ServerLogKind::Other || !mark.isEmpty() || error)
        QVERIFY(mayBeRecognised(std::string_view(line.constData(), size_t(line.size()))));
}

void tst_ServerLogLines::prefilter_lines_skipOnlyWhatHoldsNothing_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("skipped");
    QTest::newRow("a flood line") << QByteArray(
                                         "flood 00000042 abcdefghijklmnopqrstuvwxyzABCDEFGHIJ"
                                         "KLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrs")
                                  << true;
    QTest::newRow("stamped chatter") << QByteArray("Jul  7 10:31:02: hello there") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("a stamp alone") << QByteArray("Jul  7 10:31:02: ") << true;
    QTest::newRow("error behind a stamp") << QByteArray("Jul  7 10:31:02: an ERROR") << false;
    QTest::newRow("error at the end of a long line")
        << QByteArray("0123456789abcdefghijklmnopqrstuvwxyz0123456789 error") << false;
    QTest::newRow("a kind behind a stamp")
        << QByteArray("Jul  7 10:31:02: DUMPING on a.db.#1# finished") << false;
    QTest::newRow("a mark") << QByteArray("> anything") << false;
    QTest::newRow("colours before the stamp")
        << QByteArray("\x1b[31mJul  7 10:31:02: PANIC: Caught signal 11\x1b[0m") << false;
    QTest::newRow("colours before the message")
        << QByteArray("Jul  7 10:31:02: \x1b[1mhello there\x1b[0m") << false;
    QTest::newRow("colours further on")
        << QByteArray("Jul  7 10:31:02: hello \x1b[1mthere") << true;
}

void tst_ServerLogLines::prefilter_lines_skipOnlyWhatHoldsNothing()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, skipped);
    const std::string_view text(line.constData(), size_t(line.size()));
    QCOMPARE(!mayBeRecognised(text), skipped);
    std::string scratch;
    const ServerLogLine full = recogniseServerLogLine(withoutColours(text, scratch));
    if (skipped)
        QVERIFY(!full.isNoteworthy());
    // As a run recognises it for its followers: the same, without colours, if anything.
    std::string runScratch;
    const std::optional<RecognisedLine> run = recogniseNoteworthyLine(text, runScratch);
    QCOMPARE(run.has_value(), full.isNoteworthy());
    if (run)
        QCOMPARE(run->text, std::string_view(withoutColours(text, scratch)));
}

void tst_ServerLogLines::assemble_chunks_giveBoundedLines_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArrayList>("lines"); // what push and finish give, in order
    QTest::newRow("split anywhere")
        << QByteArrayList{"ab", "c\nde", "f\r\n", "\n"} << QByteArrayList{"abc", "def", ""};
    QTest::newRow("unfinished at the end")
        << QByteArrayList{"one\ntw", "o"} << QByteArrayList{"one", "two"};
    QTest::newRow("cut at the limit, rest dropped")
        << QByteArrayList{"0123456789ab", "cdef\nok\n"} << QByteArrayList{"01234567", "ok"};
    QTest::newRow("exactly the limit")
        << QByteArrayList{"01234567", "\nx\n"} << QByteArrayList{"01234567", "x"};
    QTest::newRow("many lines in one chunk, one carried over")
        << QByteArrayList{"a\n\nbc\r\nd", "e\n"} << QByteArrayList{"a", "", "bc", "de"};
    QTest::newRow("a carriage return kept where the limit cuts")
        << QByteArrayList{"0123456\r89\n"} << QByteArrayList{"0123456\r"};
    QTest::newRow("cut line dropped to the end of the stream")
        << QByteArrayList{"0123456789"} << QByteArrayList{"01234567"};
}

void tst_ServerLogLines::assemble_chunks_giveBoundedLines()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArrayList, lines);
    LineAssembler assembler(8);
    QByteArrayList got;
    const auto collect = [&got](std::string_view line) {
        got << QByteArray(line.data(), qsizetype(line.size()));
    };
    for (const QByteArray &chunk : chunks)
        assembler.push(std::string_view(chunk.constData(), size_t(chunk.size())), collect);
    assembler.finish(collect);
    QCOMPARE(got, lines);
}

PADDOCK_TEST_MAIN(tst_ServerLogLines)
#include "tst_serverloglines.moc"

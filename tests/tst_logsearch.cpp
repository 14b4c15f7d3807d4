// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "LogHunt.h"
#include "LogLineFilter.h"
#include "LogLineIndex.h"
#include "LogSearch.h"

using namespace paddock;

Q_DECLARE_METATYPE(paddock::LogLineKind)

namespace {

// The log of pieces appended in odd-sized chunks; "@" is filler up to three bytes before a
// block of the log's buffer ends.
LogTextPtr logOf(const QByteArrayList &pieces)
{
    const qsizetype block = qsizetype(2) << 20;
    LogTextPtr text = LogText::create();
    for (const QByteArray &piece : pieces) {
        const std::string chunk = piece == "@"
                                      ? std::string(size_t(block - 3 - text->length()), '.')
                                      : piece.toStdString();
        for (size_t at = 0; at < chunk.size(); at += 77777)
            text = text->appending(std::string_view(chunk).substr(at, 77777));
    }
    return text;
}

} // namespace

class tst_LogSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void find_data();
    void find();
    void hunt_sameMatchWhateverTheSlices_data() { find_data(); }
    void hunt_sameMatchWhateverTheSlices();
    void lineFilter_sameRowsWhateverTheSlices_data();
    void lineFilter_sameRowsWhateverTheSlices();
};

void tst_LogSearch::find_data()
{
    // pieces: the log, appended in odd-sized chunks; "@" is filler up to three bytes before
    // a block of the log's buffer ends, so that what follows crosses into the next block.
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QString>("needle");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<qsizetype>("first"); // from the top
    QTest::addColumn<qsizetype>("last");  // before the end
    const qsizetype block = qsizetype(2) << 20;
    auto row = [](const char *name, QByteArrayList pieces, const QString &needle,
                  bool caseSensitive, qsizetype first, qsizetype last) {
        QTest::newRow(name) << pieces << needle << caseSensitive << first << last;
    };
    row("simple", {"one two one"}, QStringLiteral("one"), true, 0, 8);
    row("absent", {"one two one"}, QStringLiteral("three"), true, -1, -1);
    row("ASCII case folded", {"One two oNE"}, QStringLiteral("one"), false, 0, 8);
    row("Latin-1 bytes, case folded", {"x \xc9t\xc9 y \xe9T\xe9"}, QStringLiteral("\u00e9t\u00e9"),
        false, 2, 8);
    row("Latin-1 bytes, case kept", {"x \xc9t\xc9 y \xe9T\xe9"}, QStringLiteral("\u00e9t\u00e9"),
        true, -1, -1);
    row("UTF-8 and a lone byte alike", {"caf\xc3\xa9 caf\xe9"}, QStringLiteral("caf\u00e9"), true,
        0, 6);
    row("never inside a sequence", {"\xc3\xa9 \xa9"}, QStringLiteral("\u00a9"), true, 3, 3);
    row("Latin-1 before the key", {"x\xc3\x89mile \xc9mile"}, QStringLiteral("\u00c9mile"), true, 1,
        8);
    row("only Latin-1, folded", {"x\xc3\x89 \xe9"}, QStringLiteral("\u00e9"), false, 1, 4);
    row("Greek, folded", {"\xce\xa9mega \xcf\x89MEGA"}, QStringLiteral("\u03c9mega"), false, 0, 7);
    row("CJK", {"\xe6\x97\xa5\xe6\x9c\xac\xe6\x9c\xac"}, QStringLiteral("\u672c"), true, 3, 6);
    row("four bytes", {"a\xf0\x9f\x98\x80"}, QStringLiteral("\U0001F600"), true, 1, 1);
    row("ASCII letters match only ASCII", {"\xe2\x84\xaa"}, QStringLiteral("k"), false, -1, -1);
    row("truncated sequence is bytes", {"\xe6\x97"}, QStringLiteral("\u00e6"), true, 0, 0);
    row("across blocks", {"@", "needle", " tail"}, QStringLiteral("needle"), true, block - 3,
        block - 3);
    row("both sides of a block", {"needle", "@", "needle"}, QStringLiteral("NEEDLE"), false, 0,
        block - 3);
    row("sequence across blocks", {"@", "ab\xc3\xa9"}, QStringLiteral("\u00e9"), true, block - 1,
        block - 1);
    row("NUL bytes", {QByteArray("a\0b\0c", 5)}, QString(QChar(0)) + u'c', true, 3, 3);
}

void tst_LogSearch::find()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QString, needle);
    QFETCH(bool, caseSensitive);
    QFETCH(qsizetype, first);
    QFETCH(qsizetype, last);

    const LogTextPtr text = logOf(pieces);
    const LogSearch search(needle, caseSensitive);
    const qsizetype end = text->length();
    QCOMPARE(search.first(*text, 0, end, end).start, first);
    QCOMPARE(search.last(*text, 0, end, end).start, last);
    if (first < 0)
        return;
    QCOMPARE(search.first(*text, first + 1, end, end).start, first == last ? -1 : last);
    QCOMPARE(search.last(*text, 0, last, end).start, first == last ? -1 : first);
    // A match must end within the limit.
    const qsizetype firstEnd = search.first(*text, 0, end, end).end;
    QCOMPARE(search.first(*text, first, first + 1, firstEnd - 1).start, -1);
}

void tst_LogSearch::hunt_sameMatchWhateverTheSlices()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QString, needle);
    QFETCH(bool, caseSensitive);
    QFETCH(qsizetype, first);
    QFETCH(qsizetype, last);
    const LogTextPtr text = logOf(pieces);
    const qsizetype end = text->length();
    // {backwards, origin, match, wrapped}: past the last match it wraps to the first, before
    // the first to the last; between them it finds the other one.
    const bool one = first == last;
    const std::tuple<bool, qsizetype, qsizetype, bool> cases[] = {
        {false, last + 1, first, first >= 0},
        {true, std::max<qsizetype>(first, 0), last, first >= 0},
        {false, first + 1, one ? first : last, one},
        {true, last, one ? last : first, one}};
    for (const qsizetype budget : {qsizetype(5), qsizetype(4099), end}) {
        for (const auto &[backwards, origin, match, wrapped] : cases) {
            const auto hunt = LogHunt::forText(text, needle, caseSensitive, backwards, origin, end);
            while (!hunt->advance(budget)) {
            }
            QCOMPARE(hunt->result().start, match);
            QCOMPARE(hunt->result().wrapped, wrapped && match >= 0);
        }
    }
}

void tst_LogSearch::lineFilter_sameRowsWhateverTheSlices_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<LogLineKind>("kind");
    QTest::addColumn<QList<int>>("lines");
    QTest::newRow("text") << QStringLiteral("castle") << false << LogLineKind::Any
                          << QList<int>{1, 2, 3};
    QTest::newRow("text, case kept")
        << QStringLiteral("Castle") << true << LogLineKind::Any << QList<int>{1};
    QTest::newRow("text across a block")
        << QStringLiteral("plain CASTLE") << false << LogLineKind::Any << QList<int>{1};
    QTest::newRow("problems") << QString() << false << LogLineKind::Problems << QList<int>{0, 2};
    QTest::newRow("text among problems")
        << QStringLiteral("castle") << false << LogLineKind::Problems << QList<int>{2};
    QTest::newRow("connections") << QString() << false << LogLineKind::Connections << QList<int>{3};
}

void tst_LogSearch::lineFilter_sameRowsWhateverTheSlices()
{
    QFETCH(QString, text);
    QFETCH(bool, caseSensitive);
    QFETCH(LogLineKind, kind);
    QFETCH(QList<int>, lines);
    // Line 1 crosses from one block of the log's buffer into the next; line 2 takes three
    // rows; the last line has no newline yet, so it is never shown, though it matches.
    const qsizetype block = qsizetype(2) << 20;
    const std::string filler(size_t(block - 6), '.');
    const std::string log[] = {"Dec  9 10:00:00: *** Cannot bind", filler + "\nplain Castle",
                               "### " + std::string(5000, 'x') + " castle",
                               "Dec  9 10:00:01: CONNECTED: Ann (#5) on port 7 from castle, port 4",
                               "*** castle"};
    std::vector<std::pair<qsizetype, qsizetype>> spans; // each line's start and newline
    std::string bytes;
    for (const std::string &line : log) {
        const qsizetype skip = line.starts_with(filler) ? qsizetype(filler.size()) + 1 : 0;
        spans.emplace_back(qsizetype(bytes.size()) + skip, qsizetype(bytes.size() + line.size()));
        bytes += line + "\n";
    }
    bytes.pop_back();
    LogTextPtr whole = LogText::create();
    for (size_t at = 0; at < bytes.size(); at += 77777)
        whole = whole->appending(std::string_view(bytes).substr(at, 77777));
    QList<qsizetype> expected;
    for (const int line : lines)
        for (qsizetype row = spans[size_t(line)].first; row < spans[size_t(line)].second;
             row += LogLineIndex::MaxRowLength)
            expected.append(row);

    // However the log is sliced, and however it grows meanwhile, the rows are the same.
    for (const qsizetype budget : {qsizetype(1), qsizetype(7), qsizetype(4096), block * 2}) {
        LogLineFilter filter({text, caseSensitive, kind});
        // The lines of interest arrive 13 bytes at a time, so matches and lines end past it.
        for (qsizetype limit = 1000;;
             limit = std::min(limit < block - 10 ? block - 10 : limit + 13, whole->length())) {
            while (!filter.extend(*whole, limit, budget)) {
            }
            if (limit == whole->length())
                break;
        }
        QList<qsizetype> rows;
        for (qsizetype row = 0; row < filter.rowCount(); ++row)
            rows.append(filter.rowStart(row));
        QCOMPARE(rows, expected);
        if (!rows.isEmpty())
            QCOMPARE(filter.rowOf(rows.back() + 1), filter.rowCount() - 1);
    }
}

PADDOCK_TEST_MAIN(tst_LogSearch)
#include "tst_logsearch.moc"

// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include "LogSearch.h"

using namespace paddock;

class tst_LogSearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void find_data();
    void find();
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

    const qsizetype block = qsizetype(2) << 20;
    LogTextPtr text = LogText::create();
    for (const QByteArray &piece : pieces) {
        const std::string chunk = piece == "@"
                                      ? std::string(size_t(block - 3 - text->length()), '.')
                                      : piece.toStdString();
        for (size_t at = 0; at < chunk.size(); at += 77777)
            text = text->appending(std::string_view(chunk).substr(at, 77777));
    }
    const LogSearch search(needle, caseSensitive);
    const qsizetype end = text->length();
    QCOMPARE(search.first(*text, 0, end, end).start, first);
    QCOMPARE(search.last(*text, end, end).start, last);
    if (first < 0)
        return;
    QCOMPARE(search.first(*text, first + 1, end, end).start, first == last ? -1 : last);
    QCOMPARE(search.last(*text, last, end).start, first == last ? -1 : first);
    // Past the last match it wraps around to the first, and before the first to the last.
    QCOMPARE(search.next(*text, last + 1, end).start, first);
    QCOMPARE(search.previous(*text, first, end).start, last);
    // A match must end within the limit.
    const qsizetype firstEnd = search.first(*text, 0, end, end).end;
    QCOMPARE(search.first(*text, first, first + 1, firstEnd - 1).start, -1);
}

PADDOCK_TEST_MAIN(tst_LogSearch)
#include "tst_logsearch.moc"

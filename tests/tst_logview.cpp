// SPDX-License-Identifier: MIT
#include "WidgetTestSupport.h"

#include "FilterBar.h"
#include "FindBar.h"
#include "LogLineIndex.h"
#include "LogPane.h"
#include "LogSelection.h"
#include "LogView.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>

#include <random>

using namespace paddock;
using namespace paddock::test;

Q_DECLARE_METATYPE(paddock::LogRowPainter::Tone)
Q_DECLARE_METATYPE(paddock::LogLineKind)

namespace {

LogTextPtr textOf(std::string_view bytes)
{
    return LogText::create()->appending(bytes);
}

std::string numberedLines(int from, int count)
{
    std::string lines;
    for (int i = from; i < from + count; ++i)
        lines += "line " + std::to_string(i) + "\n";
    return lines;
}

// Plain lines of a server's log, at least bytes of them.
std::string fillerLines(size_t bytes)
{
    std::string lines;
    for (int i = 0; lines.size() < bytes; ++i)
        lines += "Dec  9 10:00:00: > note " + std::to_string(i) + "\n";
    return lines;
}

// A log that a search reads for several turns of the event loop, made once: a plain line
// naming the castle at the top, then plain notes, then an error about it at the end.
const std::string quietLine = "Dec  9 10:00:00: > castle quiet";
const std::string burningLine = "Dec  9 10:00:09: *** castle burning";
const LogTextPtr &longLog()
{
    static const LogTextPtr log = [] {
        std::string notes;
        while (notes.size() < size_t(1) << 20)
            notes += "Dec  9 10:00:01: > a note of no interest to anyone at all\n";
        LogTextPtr text = textOf(quietLine + "\n");
        while (text->length() < LogView::SearchAtOnce + 3 * LogView::SearchSlice)
            text = text->appending(notes);
        return text->appending(burningLine + "\n");
    }();
    return log;
}

// The texts of the rows the view shows.
QStringList shownRows(const LogView &view)
{
    QStringList rows;
    for (qsizetype n = 0; n < view.rowCount(); ++n) {
        const LogLineIndex::Row row = view.shownRow(n);
        rows.append(view.textRange(row.start, row.end));
    }
    return rows;
}

// Where a row cut after max bytes ends: before a UTF-8 lead byte among the last three
// whose sequence would not fit.
size_t naiveCut(const std::string &text, size_t cut)
{
    for (size_t back = 1; back <= 3; ++back) {
        const auto byte = (unsigned char)text[cut - back];
        const size_t length = byte >= 0xf0 && byte <= 0xf4   ? 4
                              : byte >= 0xe0 && byte <= 0xef ? 3
                              : byte >= 0xc2 && byte <= 0xdf ? 2
                                                             : 0;
        if ((byte & 0xc0) != 0x80)
            return length > back ? cut - back : cut;
    }
    return cut;
}

// The rows as the view should show them, worked out the plain way.
std::vector<LogLineIndex::Row> naiveRows(const std::string &text)
{
    const auto max = size_t(LogLineIndex::MaxRowLength);
    std::vector<LogLineIndex::Row> rows;
    size_t start = 0;
    for (;;) {
        const size_t newline = text.find('\n', start);
        if (newline != std::string::npos && newline - start <= max) {
            rows.push_back({qsizetype(start), qsizetype(newline), qsizetype(newline + 1)});
            start = newline + 1;
        } else if (text.size() - start > max) {
            const size_t cut = naiveCut(text, start + max);
            rows.push_back({qsizetype(start), qsizetype(cut), qsizetype(cut)});
            start = cut;
        } else {
            rows.push_back({qsizetype(start), qsizetype(text.size()), qsizetype(text.size())});
            return rows;
        }
    }
}

// A log written with marks: '^' where the selection's anchor is, '|' where the caret is
// (the anchor too, without '^'). Returns the bytes, and the anchor and caret positions.
struct Marked {
    std::string bytes;
    qsizetype anchor = -1;
    qsizetype caret = -1;
};
Marked unmark(const QByteArray &marked)
{
    Marked result;
    for (const char c : marked) {
        if (c == '^')
            result.anchor = qsizetype(result.bytes.size());
        else if (c == '|')
            result.caret = qsizetype(result.bytes.size());
        else
            result.bytes += c;
    }
    if (result.anchor < 0)
        result.anchor = result.caret;
    return result;
}

// Every accessible interface below root, depth first.
QList<QAccessibleInterface *> accessibleTree(QAccessibleInterface *root)
{
    QList<QAccessibleInterface *> all;
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface *child = root->child(i)) {
            all.append(child);
            all.append(accessibleTree(child));
        }
    }
    return all;
}

// A view on screen (offscreen), with room for a known number of rows.
class ShownView final {
public:
    ShownView()
    {
        view.resize(500, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
    }
    /// Gives the view text and waits until it shows all of it.
    bool show(const LogTextPtr &text)
    {
        view.setLogText(text);
        return QTest::qWaitFor([&] { return view.shownLength() == text->length(); }, 10000);
    }
    /// The text of the top row in sight.
    QString topRow() const
    {
        const qsizetype start = view.positionAt(QPoint(0, 1));
        qsizetype end = start;
        while (end < view.shownLength() && view.textRange(end, end + 1) != QStringLiteral("\n"))
            ++end;
        return view.textRange(start, end);
    }
    QScrollBar *bar() const { return view.verticalScrollBar(); }

    LogView view;
};

} // namespace

class tst_LogView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void index_matchesPlainSplitting_data();
    void index_matchesPlainSplitting();
    void index_floodThroughLogFile_foundAsItArrives();
    void view_followsTailUnlessScrolledUp();
    void view_burstOfTexts_oneUpdateShowsAll_data();
    void view_burstOfTexts_oneUpdateShowsAll();
    void view_anotherLog_replacesTheShownOne();
    void view_tenMebibyteLine_isShownInBoundedRows();
    void view_everyByteValue_copiedAsOneCharacterEach();
    void view_utf8_shownCopiedAndNeverSplit_data();
    void view_utf8_shownCopiedAndNeverSplit();
    void view_mouseSelection_copiesWhatWasDragged();
    void selection_wordAround_wholeCharacters_data();
    void selection_wordAround_wholeCharacters();
    void view_find_nextPreviousWrapAndCase();
    void view_ctrlF_opensFindBarAndEnterFinds();
    void view_caretKeys_moveAndShiftSelects_data();
    void view_caretKeys_moveAndShiftSelects();
    void accessible_textInterface_offersRowsAroundSight_data();
    void accessible_textInterface_offersRowsAroundSight();
    void accessible_bars_controlsNamedInTree_data();
    void accessible_bars_controlsNamedInTree();
    void view_rowTone_followsWhatTheLineReports_data();
    void view_rowTone_followsWhatTheLineReports();
    void painter_problemColours_readOnLightAndDark();
    void view_nextPreviousProblem_overDiskAndMemoryWrapping();
    void view_longSearch_letsTheWindowRunAndFindsAsBefore_data();
    void view_longSearch_letsTheWindowRunAndFindsAsBefore();
    void view_longSearch_stoppedOrReplacedLeavesViewAlone_data();
    void view_longSearch_stoppedOrReplacedLeavesViewAlone();
    void view_filter_showsOnlyMatchingLinesAsTheyArrive_data();
    void view_filter_showsOnlyMatchingLinesAsTheyArrive();
    void view_filterEscaped_returnsToTheSamePlace();
};

void tst_LogView::index_matchesPlainSplitting_data()
{
    QTest::addColumn<int>("newlinePercent"); // chance of a newline per byte
    QTest::addColumn<int>("size");
    QTest::newRow("empty") << 10 << 0;
    QTest::newRow("short lines") << 10 << 100000;
    QTest::newRow("only newlines") << 100 << 5000;
    QTest::newRow("no newline") << 0 << 10000;
    QTest::newRow("long lines") << 0 /* set below */ << -1;
}

void tst_LogView::index_matchesPlainSplitting()
{
    QFETCH(int, newlinePercent);
    QFETCH(int, size);

    std::mt19937 random(42);
    std::uniform_int_distribution<int> percent(0, 99);
    std::string text;
    if (size >= 0) {
        std::uniform_int_distribution<int> byte(0, 255);
        for (int i = 0; i < size; ++i)
            text += percent(random) < newlinePercent
                        ? '\n'
                        : char(byte(random) == '\n' ? 'x' : byte(random));
    } else {
        // Lines just under, at and over the row length, and far over it.
        for (const qsizetype length :
             {LogLineIndex::MaxRowLength - 1, LogLineIndex::MaxRowLength,
              LogLineIndex::MaxRowLength + 1, 5 * LogLineIndex::MaxRowLength + 7})
            text += std::string(size_t(length), 'y') + "\n";
        text += std::string(size_t(LogLineIndex::MaxRowLength),
                            'z'); // unfinished, exactly one row long
    }

    // Built the way the view builds it: text arriving in pieces, its rows often found as each
    // piece arrives, shown in small steps; rows found ahead stay unseen until shown.
    LogLineIndex index;
    LogTextPtr log = LogText::create();
    std::uniform_int_distribution<size_t> piece(1, 9000);
    std::uniform_int_distribution<qsizetype> budget(1, 5000);
    for (size_t at = 0; at < text.size() || at == 0; at = size_t(log->length())) {
        log = log->appending(std::string_view(text).substr(at, piece(random)));
        const qsizetype shown = index.indexedLength(), rows = index.rowCount();
        if (percent(random) < 70)
            index.findAhead(log);
        QCOMPARE(index.indexedLength(), shown);
        QCOMPARE(index.rowCount(), rows);
        while (!index.extend(log, budget(random))) {
        }
        if (text.empty())
            break;
    }
    QCOMPARE(index.indexedLength(), qsizetype(text.size()));

    const std::vector<LogLineIndex::Row> rows = naiveRows(text);
    QCOMPARE(index.rowCount(), qsizetype(rows.size()));
    qsizetype longest = 0;
    for (size_t n = 0; n < rows.size(); ++n) {
        const LogLineIndex::Row row = index.row(qsizetype(n));
        QVERIFY2(row.start == rows[n].start && row.end == rows[n].end && row.next == rows[n].next,
                 qPrintable(QStringLiteral("row %1").arg(n)));
        longest = std::max(longest, row.end - row.start);
        // A row holds its characters and the newline ending it; a row cut at its length
        // ends where the next begins.
        const bool last = n + 1 == rows.size();
        for (const qsizetype position :
             {row.start, (row.start + row.end) / 2, row.next - 1, row.end})
            if (position >= row.start && (position < row.next || last))
                QCOMPARE(index.rowOf(position), qsizetype(n));
    }
    QCOMPARE(index.longestRow(), longest);
}

void tst_LogView::index_floodThroughLogFile_foundAsItArrives()
{
    // More than memory keeps of a log a file holds: rows not found as their chunk arrives, from
    // the first on, would be read back from the file for as long as the flood lasts.
    QTemporaryDir folder;
    std::string flood;
    while (flood.size() < size_t(3 * LogText::FileBackedMemory))
        flood += "flood " + std::to_string(flood.size()) + std::string(80, 'f') + "\n";
    LogLineIndex index;
    int notFound = 0;
    const LogTextPtr log = loggedThroughFile(folder.path(), flood, [&](const LogTextPtr &text) {
        notFound += index.findAhead(text) ? 0 : 1;
    });
    QVERIFY(log && log->memoryInUse() < log->length());
    QCOMPARE(notFound, 0);
    QVERIFY(index.extend(log, 0)); // nothing left to find
    QCOMPARE(index.rowCount(), qsizetype(std::count(flood.begin(), flood.end(), '\n')) + 1);
}

void tst_LogView::view_followsTailUnlessScrolledUp()
{
    ShownView shown;
    LogTextPtr log = textOf(numberedLines(0, 100));
    QVERIFY(shown.show(log));
    QVERIFY(shown.bar()->maximum() > 0);
    QCOMPARE(shown.bar()->value(), shown.bar()->maximum());

    log = log->appending(numberedLines(100, 50));
    QVERIFY(shown.show(log));
    QCOMPARE(shown.bar()->value(), shown.bar()->maximum());
    QVERIFY(shown.view.isFollowingTail());

    // Scrolled up, the view stays where the user put it while the log grows.
    shown.bar()->setValue(10);
    QVERIFY(!shown.view.isFollowingTail());
    QCOMPARE(shown.topRow(), QStringLiteral("line 10"));
    const int maximum = shown.bar()->maximum();
    log = log->appending(numberedLines(150, 50));
    QVERIFY(shown.show(log));
    QVERIFY(shown.bar()->maximum() > maximum);
    QCOMPARE(shown.bar()->value(), 10);
    QCOMPARE(shown.topRow(), QStringLiteral("line 10"));

    // Back at the bottom, it follows again; and a resize keeps it there.
    shown.bar()->setValue(shown.bar()->maximum());
    log = log->appending(numberedLines(200, 50));
    QVERIFY(shown.show(log));
    QCOMPARE(shown.bar()->value(), shown.bar()->maximum());
    shown.view.resize(500, 200);
    QTRY_COMPARE_WITH_TIMEOUT(shown.bar()->value(), shown.bar()->maximum(), 5000);
    QVERIFY(shown.view.isFollowingTail());
}

void tst_LogView::view_burstOfTexts_oneUpdateShowsAll_data()
{
    QTest::addColumn<int>("texts");
    QTest::addColumn<int>("linesPerText");
    QTest::newRow("2000 lines one by one") << 2000 << 1;
    // Far more than one frame's budget could lay out, had the rows not been found as the
    // chunks arrived.
    QTest::newRow("32 chunks of a mebibyte") << 32 << 90000;
}

void tst_LogView::view_burstOfTexts_oneUpdateShowsAll()
{
    QFETCH(int, texts);
    QFETCH(int, linesPerText);
    ShownView shown;
    LogTextPtr log = LogText::create();
    QSignalSpy updates(&shown.view, &LogView::shown);
    shown.view.setLogText(log);
    QVERIFY(updates.wait(5000));
    updates.clear();
    for (int i = 0; i < texts; ++i) {
        log = log->appending(numberedLines(i * linesPerText, linesPerText));
        shown.view.setLogText(log);
    }
    QVERIFY(updates.wait(10000));
    QCOMPARE(updates.count(), 1);
    QCOMPARE(shown.view.shownLength(), log->length());
    QCOMPARE(shown.bar()->maximum() + shown.bar()->pageStep(),
             texts * linesPerText + 1); // and the empty last row
}

void tst_LogView::view_anotherLog_replacesTheShownOne()
{
    ShownView shown;
    QVERIFY(shown.show(textOf("the old log, quite a bit longer\n")));
    shown.view.selectAll();
    QVERIFY(shown.show(textOf("new\n")));
    QVERIFY(!shown.view.hasSelection());
    shown.view.selectAll();
    QCOMPARE(shown.view.selectedText(), QStringLiteral("new\n"));
}

void tst_LogView::view_tenMebibyteLine_isShownInBoundedRows()
{
    ShownView shown;
    const qsizetype size = qsizetype(10) << 20;
    LogTextPtr log = LogText::create();
    const std::string mebibyte(size_t(1) << 20, 'x');
    for (qsizetype at = 0; at < size; at += qsizetype(mebibyte.size())) {
        log = log->appending(mebibyte);
        shown.view.setLogText(log);
        QCoreApplication::processEvents();
    }
    log = log->appending("\nafter the long line\n");
    QVERIFY(shown.show(log));

    // The line is split into rows of bounded length, so nothing has to lay out 10 MiB at once.
    const qsizetype rows = size / LogLineIndex::MaxRowLength + 1 + 1; // and the empty last row
    QCOMPARE(qsizetype(shown.bar()->maximum() + shown.bar()->pageStep()), rows);
    QVERIFY(shown.view.horizontalScrollBar()->maximum() <=
            (LogLineIndex::MaxRowLength + 1) * QFontMetrics(shown.view.font()).maxWidth());
    QVERIFY(!shown.view.grab().isNull());
    shown.bar()->setValue(shown.bar()->maximum() - shown.bar()->pageStep() / 2);
    QVERIFY(!shown.view.grab().isNull());

    shown.view.selectAll();
    shown.view.copy();
    QCOMPARE(QGuiApplication::clipboard()->text().size(), log->length());
}

void tst_LogView::view_everyByteValue_copiedAsOneCharacterEach()
{
    ShownView shown;
    std::string bytes;
    for (int round = 0; round < 3; ++round)
        for (int value = 0; value < 256; ++value)
            bytes += char(value);
    bytes += "\x1b[2J\x1b[31m\b\b\b\r";
    QVERIFY(shown.show(textOf(bytes)));
    QVERIFY(!shown.view.grab().isNull());

    shown.view.selectAll();
    shown.view.copy();
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied.size(), qsizetype(bytes.size()));
    QCOMPARE(copied, QString::fromLatin1(bytes.data(), qsizetype(bytes.size())));
}

void tst_LogView::view_utf8_shownCopiedAndNeverSplit_data()
{
    QTest::addColumn<QByteArrayList>("chunks"); // appended and shown one by one
    QTest::addColumn<QString>("expected");      // what is shown and copied
    QTest::addColumn<QList<qsizetype>>("boundaries");
    const auto row = QByteArray(LogLineIndex::MaxRowLength - 1, 'a');
    QTest::newRow("ASCII") << QByteArrayList{"ab"} << QStringLiteral("ab")
                           << QList<qsizetype>{0, 1, 2};
    QTest::newRow("two bytes") << QByteArrayList{"caf\xc3\xa9"} << QStringLiteral("caf\u00e9")
                               << QList<qsizetype>{0, 1, 2, 3, 5};
    QTest::newRow("three bytes, wide")
        << QByteArrayList{"\xe6\x97\xa5\xe6\x9c\xac!"} << QStringLiteral("\u65e5\u672c!")
        << QList<qsizetype>{0, 3, 6, 7};
    QTest::newRow("four bytes") << QByteArrayList{"a\xf0\x9f\x98\x80"}
                                << QStringLiteral("a\U0001F600") << QList<qsizetype>{0, 1, 5};
    QTest::newRow("invalid bytes stay Latin-1")
        << QByteArrayList{"\xe9t\xe9 \x80\xff"} << QStringLiteral("\u00e9t\u00e9 \u0080\u00ff")
        << QList<qsizetype>{0, 1, 2, 3, 4, 5, 6};
    QTest::newRow("truncated") << QByteArrayList{"\xe6\x97x"} << QStringLiteral("\u00e6\u0097x")
                               << QList<qsizetype>{0, 1, 2, 3};
    QTest::newRow("overlong and surrogate")
        << QByteArrayList{"\xc0\xaf\xe0\x80\xaf\xed\xa0\x80"}
        << QStringLiteral("\u00c0\u00af\u00e0\u0080\u00af\u00ed\u00a0\u0080")
        << QList<qsizetype>{0, 1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("split across chunks")
        << QByteArrayList{"caf\xc3", "\xa9!", "\xf0\x9f", "\x98", "\x80"}
        << QStringLiteral("caf\u00e9!\U0001F600") << QList<qsizetype>{0, 1, 2, 3, 5, 6, 10};
    QTest::newRow("cut by a row split")
        << QByteArrayList{row + "\xc3\xa9"
                                "b"}
        << QString(QString::fromLatin1(row) + u"\u00e9b")
        << QList<qsizetype>{row.size(), row.size() + 2, row.size() + 3};
}

void tst_LogView::view_utf8_shownCopiedAndNeverSplit()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QString, expected);
    QFETCH(QList<qsizetype>, boundaries);
    ShownView shown;
    LogTextPtr log = LogText::create();
    for (const QByteArray &chunk : chunks) {
        shown.view.selectAll(); // up to the end, maybe inside a character still arriving
        QVERIFY(shown.show(log = log->appending(chunk.toStdString())));
    }
    QVERIFY(shown.view.selectionEnd() == 0 || boundaries.contains(shown.view.selectionEnd()));
    shown.view.selectAll();
    shown.view.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), expected);

    // A position inside a character falls back to its start, for selecting and clicking.
    const qsizetype length = log->length();
    for (qsizetype position = boundaries.front(); position <= length; ++position) {
        const auto holder =
            std::prev(std::upper_bound(boundaries.begin(), boundaries.end(), position));
        shown.view.select(position, length);
        QCOMPARE(shown.view.selectionStart(), *holder);
    }
    for (qsizetype i = 0; i + 1 < boundaries.size(); ++i) {
        const QRect cell = shown.view.cellRect(boundaries[i]);
        const QRect next = shown.view.cellRect(boundaries[i + 1]);
        if (next.top() == cell.top())
            QVERIFY2(next.left() >= cell.right(), "a character overlaps the next");
        QCOMPARE(shown.view.positionAt(cell.topLeft() + QPoint(1, cell.height() / 2)),
                 boundaries[i]);
    }
    // The row split falls before the character, not inside it.
    QCOMPARE(shown.view.cellRect(boundaries.front()).left(), shown.view.cellRect(0).left());
}

void tst_LogView::view_mouseSelection_copiesWhatWasDragged()
{
    ShownView shown;
    QVERIFY(shown.show(textOf("first line\nsecond line\n")));
    QWidget *area = shown.view.viewport();
    // Just inside a character's cell, so the position rounds to that character.
    auto at = [&](qsizetype position) {
        return shown.view.cellRect(position).topLeft() +
               QPoint(1, shown.view.cellRect(position).height() / 2);
    };
    QSignalSpy available(&shown.view, &LogView::copyAvailable);

    QTest::mousePress(area, Qt::LeftButton, {}, at(2));
    QTest::mouseMove(area, at(14));
    QTest::mouseRelease(area, Qt::LeftButton, {}, at(14));
    QCOMPARE(shown.view.selectedText(), QStringLiteral("rst line\nsec"));
    QCOMPARE(available.count(), 1);
    shown.view.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("rst line\nsec"));

    // Shift-click moves the end of the selection; a double click takes a word.
    QTest::mouseClick(area, Qt::LeftButton, Qt::ShiftModifier, at(22));
    QCOMPARE(shown.view.selectedText(), QStringLiteral("rst line\nsecond line"));
    QTest::mouseDClick(area, Qt::LeftButton, {}, at(13));
    QCOMPARE(shown.view.selectedText(), QStringLiteral("second"));

    // A selection over the copy limit leaves the clipboard alone and says why.
    QSignalSpy tooLarge(&shown.view, &LogView::copyTooLarge);
    shown.view.setCopyLimit(10);
    shown.view.selectAll();
    shown.view.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("rst line\nsec"));
    QCOMPARE(tooLarge.count(), 1);
    QCOMPARE(tooLarge.first().at(0).value<qsizetype>(), qsizetype(23));
}

void tst_LogView::selection_wordAround_wholeCharacters_data()
{
    QTest::addColumn<QByteArray>("row");
    QTest::addColumn<qsizetype>("position");
    QTest::addColumn<qsizetype>("start");
    QTest::addColumn<qsizetype>("end");
    QTest::newRow("UTF-8 letter") << QByteArray("caf\xc3\xa9 au") << qsizetype(2) << qsizetype(0)
                                  << qsizetype(5);
    QTest::newRow("just after it")
        << QByteArray("caf\xc3\xa9 au") << qsizetype(5) << qsizetype(0) << qsizetype(5);
    QTest::newRow("CJK") << QByteArray("x \xe6\x97\xa5\xe6\x9c\xac y") << qsizetype(5)
                         << qsizetype(2) << qsizetype(8);
    QTest::newRow("Latin-1 letters")
        << QByteArray("\xe9t\xe9 x") << qsizetype(1) << qsizetype(0) << qsizetype(3);
    QTest::newRow("combining mark")
        << QByteArray("e\xcc\x81t.") << qsizetype(0) << qsizetype(0) << qsizetype(4);
    QTest::newRow("emoji ends a word") << QByteArray("ab\xf0\x9f\x98\x80"
                                                     "cd")
                                       << qsizetype(1) << qsizetype(0) << qsizetype(2);
    QTest::newRow("control character") << QByteArray("a\x01"
                                                     "b")
                                       << qsizetype(2) << qsizetype(2) << qsizetype(3);
}

void tst_LogView::selection_wordAround_wholeCharacters()
{
    QFETCH(QByteArray, row);
    QFETCH(qsizetype, position);
    QFETCH(qsizetype, start);
    QFETCH(qsizetype, end);
    // The row sits after another line, so positions are the log's, not the row's.
    const LogTextPtr log = textOf("first\n" + row.toStdString() + "\nlast");
    const auto word = LogSelection::wordAround(*log, 6, 6 + row.size(), 6 + position);
    QCOMPARE(word.first - 6, start);
    QCOMPARE(word.second - 6, end);
}

void tst_LogView::view_find_nextPreviousWrapAndCase()
{
    ShownView shown;
    const std::string text = "alpha one\nbeta\nALPHA two\nalpha three\n";
    QVERIFY(shown.show(textOf(text)));
    struct Step {
        bool backwards;
        bool caseSensitive;
        qsizetype expected;
    };
    const qsizetype first = 0, second = qsizetype(text.find("ALPHA")),
                    third = qsizetype(text.find("alpha three"));
    const Step steps[] = {
        {false, false, first}, {false, false, second}, {false, false, third},
        {false, false, first}, // wrapped around
        {true, false, third},  // wrapped back
        {true, false, second}, {true, true, first},    {false, true, third},
    };
    for (const Step &step : steps) {
        QVERIFY(shown.view.find(QStringLiteral("alpha"), step.backwards, step.caseSensitive));
        QCOMPARE(shown.view.selectionStart(), step.expected);
        QCOMPARE(shown.view.selectionEnd(), step.expected + 5);
    }
    QVERIFY(shown.view.find(QStringLiteral("ALPHA"), false, true));
    QCOMPARE(shown.view.selectionStart(), second);

    // Not found: the selection stays, and the bar says so.
    QVERIFY(!shown.view.find(QStringLiteral("gamma")));
    QVERIFY(!shown.view.find(QStringLiteral("\u03b1lpha")));
    QCOMPARE(shown.view.selectedText(), QStringLiteral("ALPHA"));
}

void tst_LogView::view_ctrlF_opensFindBarAndEnterFinds()
{
    ShownView shown;
    QVERIFY(shown.show(textOf("alpha one\nbeta\nalpha two\n")));
    auto *search = shown.view.findBar()->findChild<QLineEdit *>(QStringLiteral("findText"));
    QVERIFY(search);
    QVERIFY(!shown.view.findBar()->isVisible());

    QTest::keyClick(&shown.view, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(shown.view.findBar()->isVisible());
    QTest::keyClicks(search, QStringLiteral("beta"));
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(shown.view.selectedText(), QStringLiteral("beta"));

    search->clear();
    QTest::keyClicks(search, QStringLiteral("alpha"));
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(shown.view.selectionStart(), 15); // the next after "beta"
    QTest::keyClick(search, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(shown.view.selectionStart(), 0);

    QTest::keyClick(search, Qt::Key_Escape);
    QVERIFY(!shown.view.findBar()->isVisible());
}

void tst_LogView::view_caretKeys_moveAndShiftSelects_data()
{
    QTest::addColumn<QByteArray>("before"); // the log, '|' the caret
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("after"); // '^' the anchor, '|' the caret
    const int none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
    QTest::newRow("right") << QByteArray("|ab") << int(Qt::Key_Right) << none << QByteArray("a|b");
    QTest::newRow("right over a UTF-8 character")
        << QByteArray("caf|\xc3\xa9!") << int(Qt::Key_Right) << none << QByteArray("caf\xc3\xa9|!");
    QTest::newRow("left back over it")
        << QByteArray("caf\xc3\xa9|!") << int(Qt::Key_Left) << none << QByteArray("caf|\xc3\xa9!");
    QTest::newRow("left at the start")
        << QByteArray("|ab") << int(Qt::Key_Left) << none << QByteArray("|ab");
    QTest::newRow("right at the end")
        << QByteArray("ab|") << int(Qt::Key_Right) << none << QByteArray("ab|");
    QTest::newRow("shift+right selects")
        << QByteArray("|ab") << int(Qt::Key_Right) << shift << QByteArray("^a|b");
    QTest::newRow("ctrl+right to the next word")
        << QByteArray("|alpha, beta") << int(Qt::Key_Right) << ctrl << QByteArray("alpha, |beta");
    QTest::newRow("ctrl+left to this word's start")
        << QByteArray("alpha, be|ta") << int(Qt::Key_Left) << ctrl << QByteArray("alpha, |beta");
    QTest::newRow("ctrl+left over the gap")
        << QByteArray("alpha, |beta") << int(Qt::Key_Left) << ctrl << QByteArray("|alpha, beta");
    QTest::newRow("ctrl+shift+right selects a word")
        << QByteArray("|alpha beta") << int(Qt::Key_Right) << (ctrl | shift)
        << QByteArray("^alpha |beta");
    QTest::newRow("down keeps the column")
        << QByteArray("ab|cd\nefgh\n") << int(Qt::Key_Down) << none << QByteArray("abcd\nef|gh\n");
    QTest::newRow("down to a shorter row")
        << QByteArray("abc|d\nef\n") << int(Qt::Key_Down) << none << QByteArray("abcd\nef|\n");
    QTest::newRow("up") << QByteArray("abcd\nef|gh") << int(Qt::Key_Up) << none
                        << QByteArray("ab|cd\nefgh");
    QTest::newRow("up on the first row")
        << QByteArray("ab|cd\nefgh") << int(Qt::Key_Up) << none << QByteArray("|abcd\nefgh");
    QTest::newRow("shift+down selects to the next row")
        << QByteArray("ab|cd\nefgh") << int(Qt::Key_Down) << shift << QByteArray("ab^cd\nef|gh");
    QTest::newRow("home") << QByteArray("abcd\nef|gh") << int(Qt::Key_Home) << none
                          << QByteArray("abcd\n|efgh");
    QTest::newRow("end") << QByteArray("ab|cd\nefgh") << int(Qt::Key_End) << none
                         << QByteArray("abcd|\nefgh");
    QTest::newRow("ctrl+end") << QByteArray("ab|cd\nefgh") << int(Qt::Key_End) << ctrl
                              << QByteArray("abcd\nefgh|");
    QTest::newRow("ctrl+shift+home") << QByteArray("abcd\nef|gh") << int(Qt::Key_Home)
                                     << (ctrl | shift) << QByteArray("|abcd\nef^gh");
    // A page: the same column as many rows on as the view shows (numbered rows follow).
    QTest::newRow("page down") << QByteArray("l|ine") << int(Qt::Key_PageDown) << none
                               << QByteArray();
    QTest::newRow("page up from the first row")
        << QByteArray("li|ne") << int(Qt::Key_PageUp) << none << QByteArray("|line");
}

void tst_LogView::view_caretKeys_moveAndShiftSelects()
{
    QFETCH(QByteArray, before);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, after);
    ShownView shown;
    const Marked start = unmark(before);
    const std::string rows = after.isEmpty() ? numberedLines(1, 200) : std::string();
    QVERIFY(shown.show(textOf(start.bytes + (rows.empty() ? "" : "\n" + rows))));
    shown.view.setFocus();
    shown.view.setCaretPosition(start.caret);
    QTest::keyClick(&shown.view, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    if (after.isEmpty()) { // a page down from column 1 of row 0
        const qsizetype page = shown.bar()->pageStep();
        const QByteArray row = "line " + QByteArray::number(page) + "\n";
        QCOMPARE(shown.view.textRange(shown.view.caretPosition() - 1,
                                      shown.view.caretPosition() + row.size() - 1),
                 QString::fromLatin1(row));
        QVERIFY(!shown.view.hasSelection());
        return;
    }
    const Marked expected = unmark(after);
    QCOMPARE(shown.view.caretPosition(), expected.caret);
    QCOMPARE(shown.view.selectionStart(), std::min(expected.anchor, expected.caret));
    QCOMPARE(shown.view.selectionEnd(), std::max(expected.anchor, expected.caret));
    // What Shift selected is what the keyboard copies.
    if (shown.view.hasSelection()) {
        QTest::keyClick(&shown.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), shown.view.selectedText());
    }
}

void tst_LogView::accessible_textInterface_offersRowsAroundSight_data()
{
    QTest::addColumn<QByteArray>("log");   // empty: 5000 numbered rows
    QTest::addColumn<int>("topRow");       // scrolled to
    QTest::addColumn<QString>("caretRow"); // the caret is put at its start
    QTest::addColumn<int>("caretOffset");  // -1: wherever that row is in the text offered
    QTest::newRow("short log, all of it")
        << QByteArray("alpha\nbeta\n") << 0 << QStringLiteral("beta\n") << 6;
    QTest::newRow("offsets count UTF-16 units")
        << QByteArray("a\xf0\x9f\x98\x80 b\nnext\n") << 0 << QStringLiteral("next\n") << 6;
    QTest::newRow("long log, rows around the middle")
        << QByteArray() << 2500 << QStringLiteral("line 2500\n") << -1;
}

void tst_LogView::accessible_textInterface_offersRowsAroundSight()
{
    QFETCH(QByteArray, log);
    QFETCH(int, topRow);
    QFETCH(QString, caretRow);
    QFETCH(int, caretOffset);
    ShownView shown;
    const std::string bytes = log.isEmpty() ? numberedLines(0, 5000) : log.toStdString();
    QVERIFY(shown.show(textOf(bytes)));
    shown.bar()->setValue(topRow);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&shown.view);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Server log"));
    QAccessibleTextInterface *text = accessible->textInterface();
    QVERIFY(text);
    QVERIFY(accessible->state().readOnly && accessible->state().multiLine);

    const QString offered = text->text(0, text->characterCount());
    const QString whole = QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    QVERIFY2(whole.contains(offered), "the text offered is not the log's");
    QVERIFY(offered.contains(shown.topRow() + u'\n'));
    if (log.isEmpty())
        QVERIFY2(offered.size() < whole.size() / 10, "a long log is offered whole");
    else
        QCOMPARE(offered, whole);

    const qsizetype caret = qsizetype(bytes.find(caretRow.toStdString()));
    shown.view.setCaretPosition(caret);
    const int expectedOffset = caretOffset >= 0 ? caretOffset : int(offered.indexOf(caretRow));
    QCOMPARE(text->cursorPosition(), expectedOffset);
    int start = -1, end = -1;
    QCOMPARE(text->textAtOffset(expectedOffset, QAccessible::LineBoundary, &start, &end), caretRow);
    QCOMPARE(start, expectedOffset);

    // Selecting through the interface selects those characters in the view.
    text->setSelection(0, expectedOffset, expectedOffset + 4);
    QCOMPARE(shown.view.selectedText(), caretRow.left(4));
    QCOMPARE(text->selectionCount(), 1);
    text->setCursorPosition(expectedOffset + 1);
    QCOMPARE(shown.view.caretPosition(), caret + 1);
    QCOMPARE(text->selectionCount(), 0);
}

void tst_LogView::accessible_bars_controlsNamedInTree_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::newRow("the log") << int(QAccessible::EditableText) << QStringLiteral("Server log");
    QTest::newRow("search text") << int(QAccessible::EditableText) << QStringLiteral("Find in log");
    QTest::newRow("previous") << int(QAccessible::Button) << QStringLiteral("Previous");
    QTest::newRow("next") << int(QAccessible::Button) << QStringLiteral("Next");
    QTest::newRow("close") << int(QAccessible::Button) << QStringLiteral("Close");
    QTest::newRow("match case") << int(QAccessible::CheckBox) << QStringLiteral("Match case");
    QTest::newRow("verdict") << int(QAccessible::StaticText) << QStringLiteral("Not found");
    QTest::newRow("filter text") << int(QAccessible::EditableText)
                                 << QStringLiteral("Show only lines containing");
    QTest::newRow("filter off") << int(QAccessible::Button) << QStringLiteral("Show All Lines");
}

void tst_LogView::accessible_bars_controlsNamedInTree()
{
    QFETCH(int, role);
    QFETCH(QString, name);
    LogPane pane;
    pane.resize(500, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.logView()->setLogText(textOf("alpha\n"));
    QTRY_COMPARE_WITH_TIMEOUT(pane.logView()->shownLength(), 6, 5000);
    QTest::keyClick(pane.logView(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(!pane.logView()->find(QStringLiteral("gamma")));
    pane.logView()->showFilterBar();

    QStringList seen;
    for (QAccessibleInterface *node :
         accessibleTree(QAccessible::queryAccessibleInterface(&pane))) {
        if (node->role() == QAccessible::Role(role) && node->text(QAccessible::Name) == name &&
            !node->state().invisible)
            return;
        seen.append(node->text(QAccessible::Name));
    }
    QFAIL(qPrintable(u"Not in the tree; seen: " + seen.join(u", ")));
}

void tst_LogView::view_rowTone_followsWhatTheLineReports_data()
{
    using Tone = LogRowPainter::Tone;
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<Tone>("tone");
    QTest::newRow("error mark") << QByteArray("Dec  9 10:00:00: *** Cannot write x.db")
                                << Tone::Error;
    QTest::newRow("panic") << QByteArray("Dec  9 10:00:00: PANIC: Segmentation fault")
                           << Tone::Error;
    QTest::newRow("retried dump") << QByteArray(
                                         "Dec  9 10:00:00: Waiting 60 seconds and retrying dump...")
                                  << Tone::Error;
    QTest::newRow("warning") << QByteArray("Dec  9 10:00:00: ### Low on memory") << Tone::Warning;
    QTest::newRow("notice, no stamp, CRLF") << QByteArray("!!! Old database\r") << Tone::Warning;
    QTest::newRow("login") << QByteArray("Dec  9 10:00:00: CONNECTED: Ann (#5) on port 7777 from "
                                         "h, port 4")
                           << Tone::Plain;
    QTest::newRow("mark not at the start")
        << QByteArray("Dec  9 10:00:00: > said *** hi") << Tone::Plain;
    // Every row of a line longer than a row is in its colour.
    QTest::newRow("long error line")
        << "*** " + QByteArray(3 * LogLineIndex::MaxRowLength, 'x') << Tone::Error;
}

void tst_LogView::view_rowTone_followsWhatTheLineReports()
{
    QFETCH(QByteArray, line);
    QFETCH(LogRowPainter::Tone, tone);
    ShownView shown;
    QVERIFY(shown.show(textOf("before\n" + line.toStdString() + "\nafter\n")));
    const qsizetype rows = shown.view.rowCount();
    QCOMPARE(shown.view.toneOfRow(0), LogRowPainter::Tone::Plain);
    for (qsizetype n = 1; n < rows - 2; ++n)
        QCOMPARE(shown.view.toneOfRow(n), tone);
    QCOMPARE(shown.view.toneOfRow(rows - 2), LogRowPainter::Tone::Plain);

    // A screen reader is told the kind where the view shows a colour.
    QAccessibleTextInterface *accessible =
        QAccessible::queryAccessibleInterface(&shown.view)->textInterface();
    int start = -1, end = -1;
    const QString attributes = accessible->attributes(8, &start, &end); // in the line's row
    const char *kinds[] = {"", "line-kind:error;", "line-kind:warning;"};
    QCOMPARE(attributes, QString::fromLatin1(kinds[int(tone)]));
}

void tst_LogView::painter_problemColours_readOnLightAndDark()
{
    using Tone = LogRowPainter::Tone;
    // A dark log on a light window, as some themes have, and the other way round: the colours
    // follow the log's own background.
    for (const auto &[window, base] : {std::pair(QColor(Qt::white), QColor(30, 30, 30)),
                                       std::pair(QColor(30, 30, 30), QColor(Qt::white))}) {
        QPalette palette;
        palette.setColor(QPalette::Window, window);
        palette.setColor(QPalette::Base, base);
        palette.setColor(QPalette::Text, base == Qt::white ? Qt::black : Qt::white);
        QImage image(10, 10, QImage::Format_RGB32);
        QPainter painter(&image);
        const LogRowPainter rows(painter, palette, {8, 16, 12, 0, 10});
        const QColor error = rows.colourOf(Tone::Error), warning = rows.colourOf(Tone::Warning);
        QVERIFY(error != warning && error != rows.colourOf(Tone::Plain));
        for (const QColor &colour : {error, warning})
            QVERIFY2(contrastRatio(colour, base) >= 4.5, qPrintable(colour.name()));
    }
}

void tst_LogView::view_nextPreviousProblem_overDiskAndMemoryWrapping()
{
    const std::string lines[] = {"Dec  9 10:00:00: *** Cannot bind port 7777",
                                 "Dec  9 10:00:01: ### Low on memory",
                                 "Dec  9 10:00:02: PANIC: Segmentation fault"};
    // The first two far enough back to be read from the log file, the last in memory.
    const std::string filler = fillerLines(10 << 20);
    const std::string bytes =
        lines[0] + "\n" + filler + lines[1] + "\n" + filler + lines[2] + "\n" + fillerLines(100);
    const QTemporaryDir folder;
    const LogTextPtr text = loggedThroughFile(folder.path(), bytes);
    QVERIFY(text);
    QVERIFY(text->memoryInUse() < qsizetype(bytes.find(lines[1])));
    ShownView shown;
    QVERIFY(shown.show(text));
    shown.view.setCaretPosition(0);

    struct Step {
        bool backwards;
        int line;
        const char *status;
    };
    const Step steps[] = {
        {false, 0, ""},
        {false, 1, ""},
        {false, 2, ""},
        {false, 0, "Reached the end, continued from the top"},
        {true, 2, "Reached the top, continued from the bottom"},
        {true, 1, ""},
    };
    for (const Step &step : steps) {
        step.backwards ? shown.view.previousProblem() : shown.view.nextProblem();
        const QString expected = QString::fromStdString(lines[step.line]);
        QCOMPARE(shown.view.selectedText(), expected);
        QCOMPARE(shown.view.selectionStart(), qsizetype(bytes.find(lines[step.line])));
        QVERIFY(shown.view.viewport()->rect().contains(
            shown.view.cellRect(shown.view.selectionStart())));
        QCOMPARE(shown.view.findBar()->status(), QString::fromLatin1(step.status));
    }

    // None at all: the selection stays, and the bar says so.
    QVERIFY(shown.show(textOf("Dec  9 10:00:00: > fine\nall well\n")));
    shown.view.select(0, 3);
    shown.view.nextProblem();
    QCOMPARE(shown.view.selectionEnd(), 3);
    QVERIFY(shown.view.findBar()->isVisible());
    QCOMPARE(shown.view.findBar()->status(), QStringLiteral("No errors or warnings in the log"));
}

void tst_LogView::view_longSearch_letsTheWindowRunAndFindsAsBefore_data()
{
    QTest::addColumn<QString>("needle"); // empty: Next or Previous Problem
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<bool>("fromTop");  // from the top line selected, else from the last
    QTest::addColumn<QString>("found"); // selected in the end, each in the log once
    QTest::addColumn<QString>("status");
    const QString burning = QString::fromStdString(burningLine);
    QTest::newRow("find, at the far end") << QStringLiteral("castle burning") << false << true
                                          << QStringLiteral("castle burning") << QString();
    QTest::newRow("find backwards, at the top") << QStringLiteral("castle quiet") << true << false
                                                << QStringLiteral("castle quiet") << QString();
    QTest::newRow("find, none") << QStringLiteral("dragon") << false << true
                                << QString::fromStdString(quietLine) << QStringLiteral("Not found");
    QTest::newRow("next problem") << QString() << false << true << burning << QString();
    QTest::newRow("previous problem, wrapped")
        << QString() << true << false << burning
        << QStringLiteral("Reached the top, continued from the bottom");
}

void tst_LogView::view_longSearch_letsTheWindowRunAndFindsAsBefore()
{
    QFETCH(QString, needle);
    QFETCH(bool, backwards);
    QFETCH(bool, fromTop);
    QFETCH(QString, found);
    QFETCH(QString, status);
    ShownView shown;
    QVERIFY(shown.show(longLog()));
    const std::string &from = fromTop ? quietLine : burningLine;
    const qsizetype start = fromTop ? 0 : longLog()->length() - qsizetype(from.size()) - 1;
    shown.view.select(start, start + qsizetype(from.size()));
    QSignalSpy ended(&shown.view, &LogView::searchEnded);

    if (needle.isEmpty())
        backwards ? shown.view.previousProblem() : shown.view.nextProblem();
    else
        QVERIFY(!shown.view.find(needle, backwards));
    // The window runs between the slices of the search: a zero timer fires before it ends.
    QVERIFY(shown.view.isSearching());
    QCOMPARE(shown.view.findBar()->status(), QStringLiteral("Searching…"));
    QCOMPARE(shown.view.selectionStart(), start);
    int turns = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&turns] { ++turns; });
    ticker.start(0);
    QVERIFY(ended.wait(10000));
    QVERIFY(turns > 0);

    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toBool(), status != QStringLiteral("Not found"));
    QCOMPARE(shown.view.selectedText(), found);
    QCOMPARE(shown.view.findBar()->status(), status);
}

void tst_LogView::view_longSearch_stoppedOrReplacedLeavesViewAlone_data()
{
    QTest::addColumn<QString>("interruption");
    QTest::addColumn<QString>("found"); // by the search that replaced it, if any
    for (const char *stop :
         {"Escape", "close button", "text changed", "match case toggled", "log replaced"})
        QTest::newRow(stop) << QString::fromLatin1(stop) << QString();
    QTest::newRow("next problem replaces it")
        << QStringLiteral("next problem") << QString::fromStdString(burningLine);
}

void tst_LogView::view_longSearch_stoppedOrReplacedLeavesViewAlone()
{
    QFETCH(QString, interruption);
    QFETCH(QString, found);
    ShownView shown;
    QVERIFY(shown.show(longLog()));
    shown.view.select(0, 6);
    shown.bar()->setValue(3);
    QSignalSpy ended(&shown.view, &LogView::searchEnded);
    QVERIFY(!shown.view.find(QStringLiteral("dragon")));
    QVERIFY(shown.view.isSearching() && shown.view.findBar()->isVisible());
    auto *search = shown.view.findBar()->findChild<QLineEdit *>(QStringLiteral("findText"));

    if (interruption == u"Escape")
        QTest::keyClick(search, Qt::Key_Escape);
    else if (interruption == u"close button")
        shown.view.findBar()->findChild<QToolButton *>(QStringLiteral("closeFind"))->click();
    else if (interruption == u"text changed")
        QTest::keyClicks(search, QStringLiteral("s"));
    else if (interruption == u"match case toggled")
        shown.view.findBar()->findChild<QCheckBox *>(QStringLiteral("matchCase"))->toggle();
    else if (interruption == u"next problem")
        shown.view.nextProblem();
    if (interruption == u"log replaced") {
        QVERIFY(shown.show(textOf("Dec  9 10:00:00: > dragon\n")));
        QVERIFY(!shown.view.hasSelection());
    } else if (!found.isEmpty()) {
        QVERIFY(ended.wait(10000));
        QCOMPARE(shown.view.selectedText(), found);
    } else {
        QCOMPARE(shown.view.selectionStart(), 0);
        QCOMPARE(shown.view.selectionEnd(), 6);
        QCOMPARE(shown.bar()->value(), 3);
    }
    QVERIFY(!shown.view.isSearching());
    QCoreApplication::processEvents();
    QCOMPARE(ended.count(), found.isEmpty() ? 0 : 1);
    QVERIFY(shown.view.findBar()->status().isEmpty());
}

void tst_LogView::view_filter_showsOnlyMatchingLinesAsTheyArrive_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<LogLineKind>("kind");
    QTest::addColumn<QList<int>>("lines"); // of the history's lines
    QTest::addColumn<QList<int>>("arriving");
    const auto row = [](const char *name, const char *text, bool caseSensitive, LogLineKind kind,
                        QList<int> lines, QList<int> arriving) {
        QTest::newRow(name) << QString::fromUtf8(text) << caseSensitive << kind << lines
                            << arriving;
    };
    row("text, any case", "castle", false, LogLineKind::Any, {0, 1, 2, 3, 4}, {0, 2});
    row("text, case kept", "Castle", true, LogLineKind::Any, {3, 4}, {});
    row("problems", "", false, LogLineKind::Problems, {0, 3}, {0});
    row("connections", "", false, LogLineKind::Connections, {1}, {2});
    row("checkpoints", "", false, LogLineKind::Checkpoints, {2}, {});
    row("text among problems", "bind", false, LogLineKind::Problems, {0}, {});
    row("nothing matches", "dragon", false, LogLineKind::Any, {}, {});
}

void tst_LogView::view_filter_showsOnlyMatchingLinesAsTheyArrive()
{
    QFETCH(QString, text);
    QFETCH(bool, caseSensitive);
    QFETCH(LogLineKind, kind);
    QFETCH(QList<int>, lines);
    QFETCH(QList<int>, arriving);
    const std::string history[] = {
        "Dec  9 10:00:00: *** Cannot bind the castle's port",
        "Dec  9 10:00:01: CONNECTED: Ann (#5) on port 7777 from castle.example.net, port 4000",
        "Dec  9 10:00:02: CHECKPOINTING on castle.db.#3# ...",
        "Dec  9 10:00:03: ### Castle walls thin", "Dec  9 10:00:04: > the Castle sleeps"};
    const std::string later[] = {
        "Dec  9 10:00:05: *** castle burning", "Dec  9 10:00:06: > a plain line",
        "Dec  9 10:00:07: DISCONNECTED: Ann (#5) on port 7777 from castle.example.net, port 4000"};
    // The first line is read back from the log file.
    std::string bytes = history[0] + "\n" + fillerLines(9 << 20);
    for (size_t i = 1; i < std::size(history); ++i)
        bytes += history[i] + "\n";
    const QTemporaryDir folder;
    LogTextPtr log = loggedThroughFile(folder.path(), bytes);
    ShownView shown;
    QVERIFY(shown.show(log));
    shown.view.setFilter({text, caseSensitive, kind});
    QTRY_VERIFY_WITH_TIMEOUT(shown.view.isFilterComplete(), 10000);
    QStringList expected;
    for (const int line : lines)
        expected.append(QString::fromStdString(history[line]));
    QCOMPARE(shownRows(shown.view), expected.isEmpty() ? QStringList{QString()} : expected);

    // Lines that arrive while filtered are shown when they match; a line is whole first.
    std::string more;
    for (const std::string &line : later)
        more += line + "\n";
    log = log->appending(more.substr(0, 20));
    QVERIFY(shown.show(log));
    QTRY_VERIFY_WITH_TIMEOUT(shown.view.isFilterComplete(), 10000);
    QCOMPARE(shownRows(shown.view), expected.isEmpty() ? QStringList{QString()} : expected);
    log = log->appending(more.substr(20));
    QVERIFY(shown.show(log));
    QTRY_VERIFY_WITH_TIMEOUT(shown.view.isFilterComplete(), 10000);
    for (const int line : arriving)
        expected.append(QString::fromStdString(later[line]));
    QCOMPARE(shownRows(shown.view), expected.isEmpty() ? QStringList{QString()} : expected);
    // What is copied is what is shown: the hidden lines between are left out, and they count
    // nothing toward the copy limit.
    const QString shownText = expected.isEmpty() ? QString() : expected.join(u'\n') + u'\n';
    shown.view.selectAll();
    QCOMPARE(shown.view.selectedText(), shownText);
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    shown.view.setCopyLimit(4096);
    shown.view.copy();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             shownText.isEmpty() ? QStringLiteral("before") : shownText);

    shown.view.setFilter({});
    QVERIFY(!shown.view.isFiltered());
    QCOMPARE(shown.view.rowCount(), qsizetype(std::count(bytes.begin(), bytes.end(), '\n')) +
                                        qsizetype(std::size(later)) + 1);
}

void tst_LogView::view_filterEscaped_returnsToTheSamePlace()
{
    LogPane pane;
    pane.resize(500, 300);
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    LogView &view = *pane.logView();
    const std::string bytes = numberedLines(0, 2000);
    view.setLogText(textOf(bytes));
    QTRY_COMPARE_WITH_TIMEOUT(view.shownLength(), qsizetype(bytes.size()), 5000);

    // By keyboard: open the bar, type, pick a kind; Escape clears it all.
    view.showFilterBar();
    auto *field = view.filterBar()->findChild<QLineEdit *>(QStringLiteral("filterText"));
    QVERIFY(field && field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("7"));
    QTRY_VERIFY_WITH_TIMEOUT(view.isFilterComplete(), 5000);
    QVERIFY(view.isFiltered());
    QCOMPARE(view.rowCount(), 2000 - 1458); // the numbers below 2000 without a 7: 9 * 9 * 9 * 2
    view.verticalScrollBar()->setValue(100);
    QVERIFY(!view.isFollowingTail());
    const qsizetype top = view.shownRow(100).start;

    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(!view.filterBar()->isVisible());
    QVERIFY(!view.isFiltered());
    QCOMPARE(view.rowCount(), 2001);
    QCOMPARE(view.shownRow(view.verticalScrollBar()->value()).start, top);
    QVERIFY(view.hasFocus());
}

PADDOCK_WIDGETS_TEST_MAIN(tst_LogView)
#include "tst_logview.moc"

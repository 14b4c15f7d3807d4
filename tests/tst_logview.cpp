#include "WidgetTestSupport.h"

#include "FindBar.h"
#include "LogLineIndex.h"
#include "LogView.h"

#include <QClipboard>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>

#include <random>

using namespace paddock;
using namespace paddock::test;

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
            rows.push_back({qsizetype(start), qsizetype(start + max), qsizetype(start + max)});
            start += max;
        } else {
            rows.push_back({qsizetype(start), qsizetype(text.size()), qsizetype(text.size())});
            return rows;
        }
    }
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
    void view_followsTailUnlessScrolledUp();
    void view_burstOfTexts_oneUpdate();
    void view_anotherLog_replacesTheShownOne();
    void view_tenMebibyteLine_isShownInBoundedRows();
    void view_everyByteValue_copiedAsOneCharacterEach();
    void view_mouseSelection_copiesWhatWasDragged();
    void view_find_nextPreviousWrapAndCase();
    void view_ctrlF_opensFindBarAndEnterFinds();
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
    std::string text;
    if (size >= 0) {
        std::uniform_int_distribution<int> percent(0, 99), byte(0, 255);
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

    // Built the way the view builds it: text arriving in pieces, laid out in small steps.
    LogLineIndex index;
    LogTextPtr log = LogText::create();
    std::uniform_int_distribution<size_t> piece(1, 9000);
    std::uniform_int_distribution<qsizetype> budget(1, 5000);
    for (size_t at = 0; at < text.size() || at == 0; at = size_t(log->length())) {
        log = log->appending(std::string_view(text).substr(at, piece(random)));
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

void tst_LogView::view_burstOfTexts_oneUpdate()
{
    ShownView shown;
    QSignalSpy updates(&shown.view, &LogView::shown);
    LogTextPtr log = LogText::create();
    for (int i = 0; i < 2000; ++i) {
        log = log->appending(numberedLines(i, 1));
        shown.view.setLogText(log);
    }
    QTRY_COMPARE_WITH_TIMEOUT(shown.view.shownLength(), log->length(), 10000);
    QCOMPARE(updates.count(), 1);
    QCOMPARE(shown.bar()->maximum() + shown.bar()->pageStep(), 2000 + 1); // and the empty last row
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

PADDOCK_WIDGETS_TEST_MAIN(tst_LogView)
#include "tst_logview.moc"

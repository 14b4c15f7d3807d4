// SPDX-License-Identifier: MIT
#pragma once

#include "LogLineFilter.h"
#include "LogLineIndex.h"
#include "LogRowLayout.h"
#include "LogRowPainter.h"
#include "LogSelection.h"
#include "LogText.h"

#include <QAbstractScrollArea>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <limits>
#include <string_view>
#include <memory>
#include <utility>
#include <vector>

class QPainter;

namespace paddock {

class FilterBar;
class FindBar;
class LogHunt;

/// Shows the server output log: read-only, monospace, following the tail unless the user
/// has scrolled up. It paints straight from the log's text, only the rows in sight. It finds
/// the rows of each chunk of a growing log as the chunk arrives and shows them at most once
/// per frame; a long log given at once is taken in with bounded work per frame. Valid
/// UTF-8 sequences are shown as their characters and every other byte as its Latin-1
/// character; control characters are shown as visible symbols. Positions are byte offsets
/// in the log, and never fall inside a character. The caret is the selection's moving end.
/// Put findBar() and filterBar() beside the view in a layout (LogPane does): the view only
/// shows and hides them. While filtered, the view shows only the rows of the lines that match.
class LogView final : public QAbstractScrollArea {
    Q_OBJECT
public:
    /// Longest time one update spends laying out new text before it lets the event loop
    /// run again; the rest follows in the next frames.
    static constexpr int UpdateBudgetMs = 8;
    /// Time between two updates while the log grows: about one frame.
    static constexpr int FrameMs = 16;
    /// Bytes a search (Find, Next Problem) reads before it first lets the event loop run, a
    /// few milliseconds' work: a search among the latest lines answers at once.
    static constexpr qsizetype SearchAtOnce = qsizetype(16) << 20;
    /// Bytes a longer search reads per turn of the event loop.
    static constexpr qsizetype SearchSlice = qsizetype(4) << 20;

    explicit LogView(QWidget *parent = nullptr);
    ~LogView() override;

    /// Shows text; only what has not been shown yet is added, at the next frame. A text
    /// that does not extend the one shown (a different log) replaces it.
    void setLogText(const LogTextPtr &text);
    /// How many bytes of the log are laid out and shown.
    qsizetype shownLength() const { return m_index.indexedLength(); }
    /// All of the log last given, shown or about to be (a copy; for small logs).
    QString toPlainText() const;

    /// Whether the view keeps the end of the log in sight as the log grows.
    bool isFollowingTail() const { return m_followTail; }
    bool hasSelection() const { return !m_selection.isEmpty(); }
    /// Where the selection starts and ends in the log (equal without a selection).
    qsizetype selectionStart() const { return m_selection.start(); }
    qsizetype selectionEnd() const { return m_selection.end(); }
    /// The selected characters, as shown.
    QString selectedText() const;
    /// Selects the bytes [start, end) of the log shown (each end moved back to the start of
    /// the character it falls inside) and scrolls them into sight.
    void select(qsizetype start, qsizetype end);
    /// The characters in the bytes [start, end) of the log shown, as shown.
    QString textRange(qsizetype start, qsizetype end) const;
    /// The bytes [start, end) of the log shown.
    std::string textBytes(qsizetype start, qsizetype end) const;
    /// The bytes of the rows shown between start and end: while filtered, the hidden lines'
    /// are left out. Filtered, it stops once it holds more than limit bytes.
    std::string shownBytes(qsizetype start, qsizetype end,
                           qsizetype limit = std::numeric_limits<qsizetype>::max()) const;
    /// Scrolls the bytes [position, position + length) into sight, if they are not.
    void scrollToPosition(qsizetype position, qsizetype length);
    /// The log position under a point of the viewport (between characters, rounded).
    qsizetype positionAt(QPoint point) const;
    /// Where in the viewport the character at position is drawn (its one or two cells).
    QRect cellRect(qsizetype position) const;

    /// Where the caret is: the moving end of the selection.
    qsizetype caretPosition() const { return m_selection.cursor(); }
    /// Puts the caret at position, without a selection, and scrolls it into sight.
    void setCaretPosition(qsizetype position);
    /// The bytes [first, second) of the shown log in and around the rows in sight: what
    /// assistive technology reads (see LogViewAccessible).
    std::pair<qsizetype, qsizetype> rowsAroundSight() const;

    /// What the view says while the log is empty (what to do first).
    void setEmptyHint(const QString &hint);
    QString emptyHint() const { return m_emptyHint; }
    /// Rows whose line test holds are Paddock's own doing (its checks' connections) and are
    /// drawn dimmed; the test gets the row's bytes. Empty: no row is.
    void setOwnLineTest(std::function<bool(std::string_view)> test) { m_ownLine = std::move(test); }
    /// Marks position of the log as where a run of the server began: a rule is drawn above
    /// its row. The mark is the view's alone; the log's bytes are not touched.
    void markRunStart(qsizetype position);
    const std::vector<qsizetype> &runStarts() const { return m_runStarts; }

    /// Searches for text after the start of the selection (backwards: before it), wrapping
    /// around the log; selects and shows the match. Returns whether there was one at once: a
    /// search that reads more than SearchAtOnce goes on a slice per turn of the event loop,
    /// the find bar saying so, and ends with searchEnded. A new search replaces a running one.
    bool find(const QString &text, bool backwards = false, bool caseSensitive = false);
    FindBar *findBar() const { return m_findBar; }
    /// Whether a search goes on; closing the find bar or changing its text stops it.
    bool isSearching() const { return m_hunt != nullptr; }

    /// Shows only the lines that match criteria (all lines when it is empty), read a slice
    /// per turn of the event loop over the whole log; lines that arrive later and match are
    /// added. Clearing it shows the whole log again at the row that was at the top.
    void setFilter(const LogLineCriteria &criteria);
    bool isFiltered() const { return m_filter != nullptr; }
    /// Whether the filter has read every line shown (always, without a filter).
    bool isFilterComplete() const;
    FilterBar *filterBar() const { return m_filterBar; }
    /// How many rows the view shows (while filtered: the matching lines' rows so far).
    qsizetype rowCount() const;
    /// The row numbered number (0 <= number < rowCount()).
    LogLineIndex::Row shownRow(qsizetype number) const;
    /// The number of the row shown that holds position (while filtered: the last matching
    /// row that starts at or before it).
    qsizetype rowNumberOf(qsizetype position) const;
    /// How the text of the row numbered number is coloured: by what its line reports.
    LogRowPainter::Tone toneOfRow(qsizetype number) const;

    /// The most a copy puts on the clipboard: a selection over weeks of log would need
    /// gigabytes for its text and again for the clipboard's copies, and could end Paddock.
    static constexpr qsizetype DefaultCopyLimit = qsizetype(64) << 20;
    /// Sets the copy limit in bytes of the log (for tests).
    void setCopyLimit(qsizetype bytes) { m_copyLimit = bytes; }

public Q_SLOTS:
    /// Puts the selected characters on the clipboard; does nothing without a selection. A
    /// selection over the copy limit is not copied: copyTooLarge says so.
    void copy();
    void selectAll();
    /// Shows the find bar with the focus in it, prefilled with a short selection.
    void showFindBar();
    /// Finds the find bar's text after the selection; opens the bar when it is empty.
    void findNext();
    /// Finds the find bar's text before the selection; opens the bar when it is empty.
    void findPrevious();
    /// Selects the next error or warning line after the selection's line (without a
    /// selection, from the top row in sight), wrapping to the top; the find bar says when it
    /// wrapped or found none. A long search goes on as Find's does.
    void nextProblem();
    /// Selects the error or warning line before the selection's, wrapping to the bottom.
    void previousProblem();
    /// Shows the filter bar with the focus in it.
    void showFilterBar();

Q_SIGNALS:
    /// Emitted after an update has laid out the log up to length characters.
    void shown(qsizetype length);
    /// Emitted when a selection appears or goes away.
    void copyAvailable(bool available);
    /// A copy was refused: the selection holds bytes of the log, more than limit.
    void copyTooLarge(qsizetype bytes, qsizetype limit);
    void selectionChanged();
    /// A search has ended, found or not (not when it was stopped or replaced).
    void searchEnded(bool found);

protected:
    bool event(QEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void applyPendingText();
    void updateMetrics();
    void updateScrollBars();
    void setSelection(qsizetype anchor, qsizetype cursor);
    void findAgain(bool backwards);
    bool moveCaret(const QKeyEvent *key);
    qsizetype caretTarget(const QKeyEvent *key) const;
    void paintMarks(QPainter &painter, qsizetype first, qsizetype last);
    void hideFindBar();
    void connectFindBar();
    bool startSearch(std::unique_ptr<LogHunt> hunt, bool forProblems);
    void searchSome();
    bool endSearch();
    void stopSearch();
    LogRowLayout layoutOf(const LogLineIndex::Row &row) const;
    LogRowPainter::Tone toneOf(const LogLineIndex::Row &row) const;
    void goToProblem(bool backwards);
    void filterSome();
    void applyFilterBar();

    LogTextPtr m_pending; // the latest text given
    LogLineIndex m_index; // the rows of what is shown
    QTimer m_updateTimer;
    FindBar *m_findBar;
    std::unique_ptr<LogHunt> m_hunt; // the search going on
    bool m_huntingProblems = false;  // it looks for Next or Previous Problem
    QTimer m_huntTimer;
    FilterBar *m_filterBar;
    std::unique_ptr<LogLineFilter> m_filter; // while only some lines are shown
    QTimer m_filterTimer;
    LogSelection m_selection;
    bool m_followTail = true;
    bool m_adjusting = false; // the view itself is moving the scroll bars
    bool m_selecting = false;
    QString m_emptyHint;
    std::function<bool(std::string_view)> m_ownLine;
    std::vector<qsizetype> m_runStarts; // sorted
    qsizetype m_copyLimit = DefaultCopyLimit;
    LogCellWidths m_widths;
    int m_lineHeight = 16;
    int m_ascent = 12;
};

} // namespace paddock

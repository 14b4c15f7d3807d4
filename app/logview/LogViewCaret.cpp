// SPDX-License-Identifier: MIT
// The log view by keyboard: its keys, the caret and how it moves, and what the view draws
// over the rows (the caret, the focus, where each run began, the hint for an empty log).
#include "LogView.h"

#include "FindBar.h"
#include "LogCharacters.h"
#include "LogViewAccessible.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <span>

namespace paddock {

namespace {

enum class Unit { Character, Word, Row, Page, RowEdge, LogEdge };

struct CaretKey {
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    Unit unit;
    bool forward;
};

// The platform's own keys for each move, so the caret moves as in every other text.
constexpr CaretKey caretKeys[] = {
    {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, Unit::Character, true},
    {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, Unit::Character, false},
    {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, Unit::Word, true},
    {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, Unit::Word, false},
    {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, Unit::Row, true},
    {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, Unit::Row, false},
    {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, Unit::Page, true},
    {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, Unit::Page, false},
    {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, Unit::RowEdge, true},
    {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, Unit::RowEdge, false},
    {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, Unit::LogEdge, true},
    {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, Unit::LogEdge,
     false},
};

const CaretKey *caretKeyOf(const QKeyEvent *key, bool *extend)
{
    for (const CaretKey &candidate : caretKeys) {
        if (key->matches(candidate.move) || key->matches(candidate.select)) {
            *extend = key->matches(candidate.select);
            return &candidate;
        }
    }
    return nullptr;
}

bool isOurShortcut(const QKeyEvent *key)
{
    bool extend = false;
    return key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll) ||
           key->matches(QKeySequence::Find) || key->matches(QKeySequence::FindNext) ||
           key->matches(QKeySequence::FindPrevious) || caretKeyOf(key, &extend);
}

} // namespace

bool LogView::event(QEvent *event)
{
    // Our keys are ours while the view has the focus, even if the window has shortcuts
    // with the same keys.
    if (event->type() == QEvent::ShortcutOverride &&
        isOurShortcut(static_cast<QKeyEvent *>(event))) {
        event->accept();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

void LogView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else if (event->matches(QKeySequence::Find))
        showFindBar();
    else if (event->matches(QKeySequence::FindNext))
        findNext();
    else if (event->matches(QKeySequence::FindPrevious))
        findPrevious();
    else if (event->key() == Qt::Key_Escape && m_findBar->isVisible())
        hideFindBar();
    else if (!moveCaret(event))
        QAbstractScrollArea::keyPressEvent(event);
}

bool LogView::moveCaret(const QKeyEvent *key)
{
    bool extend = false;
    const CaretKey *caretKey = caretKeyOf(key, &extend);
    if (!caretKey)
        return false;
    if (!m_index.text())
        return true;
    const qsizetype caret = caretPosition();
    const qsizetype limit = shownLength();
    const LogText &text = *m_index.text();
    const qsizetype rowNumber = rowNumberOf(caret);
    const LogLineIndex::Row row = shownRow(rowNumber);
    const int sign = caretKey->forward ? 1 : -1;
    qsizetype target = caret;
    switch (caretKey->unit) {
    case Unit::Character:
        if (caretKey->forward)
            target =
                caret < limit ? caret + LogCharacters::decodeAt(text, caret, limit).length : caret;
        else
            target = caret > 0 ? LogCharacters::boundaryAtOrBefore(text, caret - 1, limit) : 0;
        break;
    case Unit::Word:
        target = LogSelection::wordStep(text, limit, caret, caretKey->forward);
        break;
    case Unit::Row:
    case Unit::Page: {
        // The same column on the row a line or a page away.
        const qsizetype rows = caretKey->unit == Unit::Row ? 1 : verticalScrollBar()->pageStep();
        const qsizetype to = std::clamp<qsizetype>(rowNumber + sign * rows, 0, rowCount() - 1);
        const LogLineIndex::Row toRow = shownRow(to);
        const qsizetype column = layoutOf(row).columnOf(caret - row.start);
        target = to == rowNumber ? (caretKey->forward ? row.end : row.start)
                                 : toRow.start + layoutOf(toRow).offsetAt(qreal(column));
        break;
    }
    case Unit::RowEdge:
        target = caretKey->forward ? row.end : row.start;
        break;
    case Unit::LogEdge:
        target = caretKey->forward ? limit : 0;
        break;
    }
    setSelection(extend ? m_selection.anchor() : target, target);
    scrollToPosition(caretPosition(), 0);
    return true;
}

void LogView::setCaretPosition(qsizetype position)
{
    setSelection(position, position);
    scrollToPosition(caretPosition(), 0);
}

std::pair<qsizetype, qsizetype> LogView::rowsAroundSight() const
{
    if (!m_index.text())
        return {0, 0};
    // A page above and below the rows in sight: enough to read on by line or paragraph,
    // while a log of hundreds of megabytes never has to become one string.
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype page = std::max(1, verticalScrollBar()->pageStep());
    const qsizetype last = std::min(rowCount() - 1, first + 2 * page);
    return {shownRow(std::max<qsizetype>(0, first - page)).start, shownRow(last).next};
}

void LogView::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void LogView::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void LogView::setEmptyHint(const QString &hint)
{
    m_emptyHint = hint;
    viewport()->update();
}

void LogView::markRunStart(qsizetype position)
{
    m_runStarts.insert(std::upper_bound(m_runStarts.begin(), m_runStarts.end(), position),
                       position);
    viewport()->update();
}

void LogView::paintMarks(QPainter &painter, qsizetype first, qsizetype last)
{
    // Where each run began: a dashed rule above its first row.
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::DashLine));
    // While filtered, a rule would mark a line that is not where the run began.
    for (const qsizetype start : m_filter ? std::span<const qsizetype>() : m_runStarts) {
        const qsizetype rowNumber = m_index.rowOf(start);
        if (start <= shownLength() && rowNumber >= first && rowNumber < last) {
            const int top = int(rowNumber - first) * m_lineHeight + 1;
            painter.drawLine(0, top, viewport()->width(), top);
        }
    }
    if (!hasFocus())
        return;
    // The focus: a frame around the log, and the caret as a bar before its character.
    const QColor focus = palette().color(QPalette::Highlight);
    painter.setPen(QPen(focus, 2));
    painter.drawRect(viewport()->rect().adjusted(1, 1, -1, -1));
    if (m_index.text()) {
        const QRect cell = cellRect(caretPosition());
        painter.fillRect(QRect(cell.left(), cell.top(), 2, cell.height()),
                         palette().color(QPalette::Text));
    }
}

} // namespace paddock

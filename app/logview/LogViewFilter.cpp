// SPDX-License-Identifier: MIT
// The log view's problems and filter: the colour of each row by what its line reports, Next
// and Previous Problem, and showing only the lines that match.
#include "LogView.h"

#include "FilterBar.h"
#include "LogHunt.h"
#include "LogLineScan.h"

#include <QElapsedTimer>
#include <QScopedValueRollback>
#include <QScrollBar>

namespace paddock {

namespace {

// Bytes one filter slice reads before the clock is looked at again.
constexpr qsizetype FilterSlice = qsizetype(4) << 20;
// How far back a row that continues a long line looks for the line's start to colour it.
constexpr qsizetype ToneReach = qsizetype(64) << 10;

const LogLineCriteria problemLines{QString(), false, LogLineKind::Problems};

} // namespace

qsizetype LogView::rowCount() const
{
    // A filter that matched nothing yet shows one empty row at the end.
    return m_filter ? std::max<qsizetype>(1, m_filter->rowCount()) : m_index.rowCount();
}

LogLineIndex::Row LogView::shownRow(qsizetype number) const
{
    if (!m_filter)
        return m_index.row(number);
    if (m_filter->rowCount() == 0)
        return {shownLength(), shownLength(), shownLength()};
    return m_index.rowStartingAt(
        m_filter->rowStart(std::clamp<qsizetype>(number, 0, m_filter->rowCount() - 1)));
}

std::string LogView::shownBytes(qsizetype start, qsizetype end, qsizetype limit) const
{
    if (!m_filter)
        return textBytes(start, end);
    // While filtered, a range spans the hidden lines between the shown ones: only the shown
    // rows are taken, each with its line end, as they read on the screen.
    std::string bytes;
    for (qsizetype number = rowNumberOf(start); number < m_filter->rowCount(); ++number) {
        const LogLineIndex::Row row = shownRow(number);
        if (row.start >= end || qsizetype(bytes.size()) > limit)
            break;
        if (const qsizetype from = std::max(start, row.start), to = std::min(end, row.next);
            from < to)
            bytes += textBytes(from, to);
    }
    return bytes;
}

qsizetype LogView::rowNumberOf(qsizetype position) const
{
    return m_filter ? m_filter->rowOf(position) : m_index.rowOf(position);
}

LogRowPainter::Tone LogView::toneOfRow(qsizetype number) const
{
    return toneOf(shownRow(number));
}

LogRowPainter::Tone LogView::toneOf(const LogLineIndex::Row &row) const
{
    // Worked out for the rows painted only, so taking in the log costs nothing more.
    if (!m_index.text() || row.start >= shownLength())
        return LogRowPainter::Tone::Plain;
    const LogText &text = *m_index.text();
    qsizetype start = row.start;
    if (start > 0 && text.at(start - 1) != '\n')
        start = lineStartOf(text, start, start - ToneReach);
    const qsizetype reach = std::min(shownLength(), start + CategoryReach);
    const qsizetype newline = text.indexOf('\n', start, reach);
    return LogRowPainter::toneOf(categoryOfLine(text, start, newline >= 0 ? newline : reach));
}

void LogView::nextProblem()
{
    goToProblem(false);
}

void LogView::previousProblem()
{
    goToProblem(true);
}

void LogView::goToProblem(bool backwards)
{
    if (!m_index.text())
        return;
    const LogText &text = *m_index.text();
    const qsizetype shown = shownLength();
    // From the selection's line, else from the top row in sight, as Find starts.
    const qsizetype origin = lineStartOf(
        text, hasSelection() ? selectionStart() : shownRow(verticalScrollBar()->value()).start);
    qsizetype from = origin;
    if (!backwards && hasSelection()) {
        const qsizetype newline = text.indexOf('\n', origin, shown);
        from = newline >= 0 ? newline + 1 : shown;
    }
    startSearch(LogHunt::forLines(m_index.text(), problemLines, backwards, from, shown), true);
}

void LogView::showFilterBar()
{
    m_filterBar->activate();
}

void LogView::applyFilterBar()
{
    setFilter(m_filterBar->criteria());
}

bool LogView::isFilterComplete() const
{
    return !m_filter || !m_filterTimer.isActive();
}

void LogView::setFilter(const LogLineCriteria &criteria)
{
    // The line at the top now is where the whole log opens again.
    const qsizetype top = shownRow(verticalScrollBar()->value()).start;
    m_filterTimer.stop();
    m_filter.reset();
    if (!criteria.isEmpty())
        m_filter = std::make_unique<LogLineFilter>(criteria);
    updateScrollBars();
    if (!m_followTail) {
        const QScopedValueRollback adjusting(m_adjusting, true);
        verticalScrollBar()->setValue(
            m_filter ? 0 : int(std::min<qsizetype>(INT_MAX, rowNumberOf(top))));
    }
    viewport()->update();
    m_filterBar->setProgress(0, !m_filter);
    if (m_filter)
        filterSome();
}

void LogView::filterSome()
{
    if (!m_filter || !m_index.text())
        return;
    // A slice per turn of the event loop, so the window answers however long the log.
    QElapsedTimer clock;
    clock.start();
    bool done = false;
    while (!done && clock.elapsed() < UpdateBudgetMs)
        done = m_filter->extend(*m_index.text(), shownLength(), FilterSlice);
    updateScrollBars();
    viewport()->update();
    m_filterBar->setProgress(m_filter->rowCount(), done);
    if (!done)
        m_filterTimer.start();
}

} // namespace paddock

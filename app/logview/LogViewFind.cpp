// SPDX-License-Identifier: MIT
// The log view's find: the bar, where a search starts and what it selects, and the search
// going on a slice at a time over a long log (Next and Previous Problem's too).
#include "LogView.h"

#include "FindBar.h"
#include "LogHunt.h"

#include <QScrollBar>

namespace paddock {

bool LogView::find(const QString &text, bool backwards, bool caseSensitive)
{
    if (text.isEmpty() || !m_index.text())
        return false;
    // Without a selection, start from the top of the view.
    const qsizetype origin =
        hasSelection() ? selectionStart() : shownRow(verticalScrollBar()->value()).start;
    const qsizetype from = !backwards && hasSelection() ? origin + 1 : origin;
    return startSearch(
        LogHunt::forText(m_index.text(), text, caseSensitive, backwards, from, shownLength()),
        false);
}

void LogView::connectFindBar()
{
    connect(m_findBar, &FindBar::findNextRequested, this, &LogView::findNext);
    connect(m_findBar, &FindBar::findPreviousRequested, this, &LogView::findPrevious);
    connect(m_findBar, &FindBar::closed, this, &LogView::hideFindBar);
    // A search for the text that was there no longer answers what the bar asks.
    connect(m_findBar, &FindBar::textChanged, this, &LogView::stopSearch);
    m_huntTimer.setSingleShot(true);
    m_huntTimer.setInterval(0);
    connect(&m_huntTimer, &QTimer::timeout, this, &LogView::searchSome);
}

bool LogView::startSearch(std::unique_ptr<LogHunt> hunt, bool forProblems)
{
    stopSearch();
    m_hunt = std::move(hunt);
    m_huntingProblems = forProblems;
    if (m_hunt->advance(SearchAtOnce))
        return endSearch();
    // The rest a slice per turn of the event loop, so the window answers however long the
    // log; the search reads the log as it was shown now, whatever arrives meanwhile.
    m_findBar->showStatus(tr("Searching…"));
    m_huntTimer.start();
    return false;
}

void LogView::searchSome()
{
    if (!m_hunt)
        return;
    if (m_hunt->advance(SearchSlice))
        endSearch();
    else
        m_huntTimer.start();
}

bool LogView::endSearch()
{
    const std::unique_ptr<LogHunt> hunt = std::move(m_hunt);
    const LogHunt::Match match = hunt->result();
    if (!m_huntingProblems)
        m_findBar->setFound(match.found());
    else if (!match.found())
        m_findBar->showStatus(tr("No errors or warnings in the log"));
    else if (match.wrapped)
        m_findBar->showStatus(hunt->isBackwards() ? tr("Reached the top, continued from the bottom")
                                                  : tr("Reached the end, continued from the top"));
    else
        m_findBar->setFound(true);
    if (match.found())
        select(match.start, match.end);
    Q_EMIT searchEnded(match.found());
    return match.found();
}

void LogView::stopSearch()
{
    m_huntTimer.stop();
    if (m_hunt) {
        m_hunt.reset();
        m_findBar->clearStatus();
    }
}

void LogView::showFindBar()
{
    // A short selection on one row is what the user most likely wants to find.
    if (hasSelection()) {
        const QString selected = selectedText();
        if (selected.size() <= 200 && !selected.contains(QLatin1Char('\n')))
            m_findBar->setText(selected);
    }
    m_findBar->activate();
}

void LogView::hideFindBar()
{
    stopSearch();
    m_findBar->hide();
    setFocus(Qt::OtherFocusReason);
}

void LogView::findNext()
{
    findAgain(false);
}

void LogView::findPrevious()
{
    findAgain(true);
}

void LogView::findAgain(bool backwards)
{
    if (m_findBar->text().isEmpty())
        showFindBar();
    else
        find(m_findBar->text(), backwards, m_findBar->isCaseSensitive());
}

} // namespace paddock

// SPDX-License-Identifier: MIT
// The log view's find: the bar, and where a search starts and what it selects.
#include "LogView.h"

#include "FindBar.h"
#include "LogSearch.h"

#include <QScrollBar>

namespace paddock {

bool LogView::find(const QString &text, bool backwards, bool caseSensitive)
{
    if (text.isEmpty() || !m_index.text())
        return false;
    const qsizetype shown = shownLength();
    // Without a selection, start from the top of the view.
    const qsizetype origin =
        hasSelection() ? selectionStart() : shownRow(verticalScrollBar()->value()).start;
    const LogSearch search(text, caseSensitive);
    const LogSearch::Match match =
        backwards ? search.previous(*m_index.text(), origin, shown)
                  : search.next(*m_index.text(), hasSelection() ? origin + 1 : origin, shown);
    m_findBar->setFound(match.found());
    if (match.found())
        select(match.start, match.end);
    return match.found();
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

// SPDX-License-Identifier: MIT
#include "LogView.h"

#include "FilterBar.h"
#include "FindBar.h"
#include "LogCharacters.h"
#include "LogHunt.h"
#include "LogRowPainter.h"
#include "LogViewAccessible.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QtMath>

#include <algorithm>
#include <climits>

namespace paddock {

LogView::LogView(QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_findBar(new FindBar(this))
    , m_filterBar(new FilterBar(this))
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::Monospace);
    setFont(fixed);
    updateMetrics();
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);

    m_updateTimer.setSingleShot(true);
    m_updateTimer.setInterval(FrameMs);
    connect(&m_updateTimer, &QTimer::timeout, this, &LogView::applyPendingText);

    // The user moving the view decides whether it follows the tail: at the bottom it does.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_adjusting)
            m_followTail = value >= verticalScrollBar()->maximum();
    });

    m_findBar->hide();
    LogViewAccessible::install();
    setAccessibleName(tr("Server log"));
    connectFindBar();
    m_filterBar->hide();
    m_filterTimer.setSingleShot(true);
    m_filterTimer.setInterval(0);
    connect(&m_filterTimer, &QTimer::timeout, this, &LogView::filterSome);
    connect(m_filterBar, &FilterBar::criteriaChanged, this, &LogView::applyFilterBar);
    connect(m_filterBar, &FilterBar::closed, this, [this] {
        applyFilterBar();
        setFocus(Qt::OtherFocusReason);
    });
    updateScrollBars();
}

LogView::~LogView() = default;

void LogView::setLogText(const LogTextPtr &text)
{
    if (!text || text == m_pending)
        return;
    // The runs marked belong to the log they were marked in.
    if (m_pending && !text->extends(*m_pending))
        m_runStarts.clear();
    m_pending = text;
    // Find the new rows now, while their bytes are in memory: later they may have to be read
    // back from the log file. They are shown at the next update.
    m_index.findAhead(text);
    // One update per frame however many texts arrive meanwhile: the last one wins.
    if (!m_updateTimer.isActive())
        m_updateTimer.start();
}

QString LogView::toPlainText() const
{
    return m_pending ? LogCharacters::toQString(m_pending->bytes(0, m_pending->length()))
                     : QString();
}

void LogView::applyPendingText()
{
    if (!m_pending)
        return;
    if (!m_index.canExtendWith(*m_pending)) {
        // Another log: start over; a search's match would be a place in the old one.
        stopSearch();
        m_index.clear();
        m_selection.clear();
        m_followTail = true;
        if (m_filter)
            m_filter = std::make_unique<LogLineFilter>(m_filter->criteria());
        Q_EMIT selectionChanged();
        Q_EMIT copyAvailable(false);
    }
    // Lay out only what is new and not found ahead, and no more than a frame's worth of
    // work: a long log given at once then delays the view, never the window.
    QElapsedTimer clock;
    clock.start();
    bool done = false;
    while (!done && clock.elapsed() < UpdateBudgetMs)
        done = m_index.extend(m_pending, qsizetype(1) << 20);
    // The rest of a character may have arrived around an end of the selection.
    setSelection(m_selection.anchor(), m_selection.cursor());
    updateScrollBars();
    viewport()->update();
    if (!done)
        m_updateTimer.start();
    // Lines that arrive while filtered are filtered as they are shown.
    if (m_filter && !m_filterTimer.isActive())
        m_filterTimer.start();
    Q_EMIT shown(m_index.indexedLength());
}

void LogView::updateMetrics()
{
    const QFontMetricsF metrics(font());
    m_widths.setFont(font());
    m_lineHeight = std::max(1, qCeil(metrics.lineSpacing()));
    m_ascent = qCeil(metrics.ascent());
}

void LogView::updateScrollBars()
{
    const QScopedValueRollback adjusting(m_adjusting, true);
    const int page = std::max(1, viewport()->height() / m_lineHeight);
    QScrollBar *vertical = verticalScrollBar();
    const qsizetype rows = std::min<qsizetype>(rowCount(), INT_MAX);
    vertical->setRange(0, int(std::max<qsizetype>(0, rows - page)));
    vertical->setPageStep(page);
    vertical->setSingleStep(1);
    if (m_followTail)
        vertical->setValue(vertical->maximum());

    QScrollBar *horizontal = horizontalScrollBar();
    const int width = qCeil(qreal(m_index.longestRow() + 1) * m_widths.cellWidth());
    horizontal->setRange(0, std::max(0, width - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(std::max(1, qRound(m_widths.cellWidth() * 4)));
}

void LogView::scrollContentsBy(int, int)
{
    // The scroll bars count rows and pixels, so moving the old picture will not do.
    viewport()->update();
}

LogRowLayout LogView::layoutOf(const LogLineIndex::Row &row) const
{
    return LogRowLayout(m_index.text()->bytes(row.start, row.end - row.start), m_widths);
}

qsizetype LogView::positionAt(QPoint point) const
{
    if (!m_index.text())
        return 0;
    const int offset = point.y() >= 0 ? point.y() / m_lineHeight : -1;
    const qsizetype rowNumber =
        std::clamp<qsizetype>(qsizetype(verticalScrollBar()->value()) + offset, 0, rowCount() - 1);
    const LogLineIndex::Row row = shownRow(rowNumber);
    const qreal column = (point.x() + horizontalScrollBar()->value()) / m_widths.cellWidth();
    return row.start + layoutOf(row).offsetAt(column);
}

QRect LogView::cellRect(qsizetype position) const
{
    const qsizetype rowNumber = rowNumberOf(position);
    const LogLineIndex::Row row = shownRow(rowNumber);
    const int top = int(rowNumber - verticalScrollBar()->value()) * m_lineHeight;
    int cells = 1;
    qsizetype column = 0;
    if (m_index.text()) {
        const LogRowLayout layout = layoutOf(row);
        column = layout.columnOf(position - row.start);
        for (const LogRowLayout::Character &c : layout.characters())
            if (c.column == column)
                cells = c.cells;
    }
    const qreal cell = m_widths.cellWidth();
    const qreal left = qreal(column) * cell - horizontalScrollBar()->value();
    return QRectF(left, top, cell * cells, m_lineHeight).toAlignedRect();
}

void LogView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    if (!m_index.text() || shownLength() == 0) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12),
                         Qt::AlignCenter | Qt::TextWordWrap, m_emptyHint);
        paintMarks(painter, 0, 0);
        return;
    }
    painter.setFont(font());
    const qsizetype first = verticalScrollBar()->value();
    const qsizetype last = std::min(rowCount(), first + viewport()->height() / m_lineHeight + 2);
    LogRowPainter rows(painter, palette(),
                       {m_widths.cellWidth(), m_lineHeight, m_ascent,
                        qreal(horizontalScrollBar()->value()), viewport()->width()});
    // Rows whose bytes are neither in memory nor in a log file any more show where the
    // output was dropped instead.
    const qsizetype reachable = m_index.text()->begin();
    LogLineIndex::Row row = shownRow(first);
    for (qsizetype number = first; number < last; ++number) {
        const int top = int(number - first) * m_lineHeight;
        if (row.start < reachable && row.end <= reachable) {
            painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
            painter.drawText(QPointF(-horizontalScrollBar()->value(), top + m_ascent),
                             tr("[Older output was dropped here]"));
        } else {
            painter.setOpacity(m_ownLine && m_ownLine(textBytes(row.start, row.end)) ? 0.5 : 1);
            rows.paint(row, layoutOf(row), top, selectionStart(), selectionEnd(), toneOf(row));
        }
        row = m_filter ? shownRow(number + 1) : m_index.rowStartingAt(row.next);
    }
    painter.setOpacity(1);
    paintMarks(painter, first, last);
}

void LogView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

bool LogView::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::Resize)
        updateScrollBars();
    return QAbstractScrollArea::viewportEvent(event);
}

void LogView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        updateScrollBars();
        viewport()->update();
    }
}

void LogView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qsizetype position = positionAt(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier)
        setSelection(m_selection.anchor(), position);
    else
        setSelection(position, position);
    m_selecting = true;
}

void LogView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting)
        return;
    const QPoint point = event->position().toPoint();
    // Dragging past the top or bottom scrolls the log along.
    if (point.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() >= viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    setSelection(m_selection.anchor(), positionAt(point));
}

void LogView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_selecting)
        return;
    m_selecting = false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (hasSelection() && selectionEnd() - selectionStart() <= m_copyLimit &&
        clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void LogView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_index.text())
        return;
    // Selects the word under the pointer.
    const qsizetype position = positionAt(event->position().toPoint());
    const LogLineIndex::Row row = m_index.row(m_index.rowOf(position));
    const auto [start, end] =
        LogSelection::wordAround(*m_index.text(), row.start, row.end, position);
    setSelection(start, end);
    m_selecting = false;
}

void LogView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    QAction *copyAction = menu.addAction(tr("&Copy"), this, &LogView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    menu.addAction(tr("Select &All"), this, &LogView::selectAll)
        ->setShortcut(QKeySequence::SelectAll);
    menu.addSeparator();
    menu.addAction(tr("&Find…"), this, &LogView::showFindBar)->setShortcut(QKeySequence::Find);
    menu.exec(event->globalPos());
}

void LogView::setSelection(qsizetype anchor, qsizetype cursor)
{
    const bool had = hasSelection();
    if (!m_selection.set(m_index.text().get(), shownLength(), anchor, cursor))
        return;
    viewport()->update();
    LogViewAccessible::announceCaret(this);
    Q_EMIT selectionChanged();
    if (had != hasSelection())
        Q_EMIT copyAvailable(hasSelection());
}

void LogView::select(qsizetype start, qsizetype end)
{
    setSelection(start, end);
    scrollToPosition(std::min(start, end), std::abs(end - start));
}

QString LogView::textRange(qsizetype start, qsizetype end) const
{
    return LogCharacters::toQString(textBytes(start, end));
}

std::string LogView::textBytes(qsizetype start, qsizetype end) const
{
    if (!m_index.text())
        return std::string();
    start = std::clamp<qsizetype>(start, 0, shownLength());
    end = std::clamp<qsizetype>(end, start, shownLength());
    return m_index.text()->bytes(start, end - start);
}

QString LogView::selectedText() const
{
    return LogCharacters::toQString(shownBytes(selectionStart(), selectionEnd()));
}

void LogView::copy()
{
    if (!hasSelection())
        return;
    if (const qsizetype reach = selectionEnd() - selectionStart();
        !isFiltered() && reach > m_copyLimit) {
        Q_EMIT copyTooLarge(reach, m_copyLimit);
        return;
    }
    // While filtered, only the lines shown are copied, however far the selection reaches.
    const std::string bytes = shownBytes(selectionStart(), selectionEnd(), m_copyLimit);
    if (qsizetype(bytes.size()) > m_copyLimit) {
        Q_EMIT copyTooLarge(qsizetype(bytes.size()), m_copyLimit);
        return;
    }
    if (!bytes.empty())
        QGuiApplication::clipboard()->setText(LogCharacters::toQString(bytes));
}

void LogView::selectAll()
{
    setSelection(0, shownLength());
}

void LogView::scrollToPosition(qsizetype position, qsizetype length)
{
    const qsizetype rowNumber = rowNumberOf(position);
    QScrollBar *vertical = verticalScrollBar();
    const qsizetype page = vertical->pageStep();
    if (rowNumber < vertical->value() || rowNumber >= vertical->value() + page)
        vertical->setValue(
            int(std::min<qsizetype>(INT_MAX, std::max<qsizetype>(0, rowNumber - page / 2))));

    const LogLineIndex::Row row = shownRow(rowNumber);
    const LogRowLayout layout = layoutOf(row);
    QScrollBar *horizontal = horizontalScrollBar();
    const qreal left = qreal(layout.columnOf(position - row.start)) * m_widths.cellWidth();
    const qreal right = qreal(layout.columnOf(std::min(position + length, row.end) - row.start)) *
                        m_widths.cellWidth();
    if (left < horizontal->value() || right > horizontal->value() + viewport()->width())
        horizontal->setValue(qRound(left - viewport()->width() / 3.0));
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "LogViewAccessible.h"

#include "LogCharacters.h"
#include "LogView.h"

#include <algorithm>

namespace paddock {

namespace {

QAccessibleInterface *makeInterface(const QString &className, QObject *object)
{
    if (className == QLatin1String("paddock::LogView") && object && object->isWidgetType())
        return new LogViewAccessible(static_cast<LogView *>(object));
    return nullptr;
}

} // namespace

LogViewAccessible::LogViewAccessible(LogView *view)
    : QAccessibleWidget(view, QAccessible::EditableText)
{}

void LogViewAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(makeInterface);
        return true;
    }();
    Q_UNUSED(installed);
}

void LogViewAccessible::announceCaret(LogView *view)
{
    if (!QAccessible::isActive())
        return;
    LogViewAccessible *self =
        dynamic_cast<LogViewAccessible *>(QAccessible::queryAccessibleInterface(view));
    if (!self)
        return;
    const Window window = self->shownWindow();
    const qsizetype end = window.start + qsizetype(window.bytes.size());
    if (view->caretPosition() < window.start || view->caretPosition() > end)
        return;
    QAccessibleTextSelectionEvent selection(view, offsetOf(window, view->selectionStart()),
                                            offsetOf(window, view->selectionEnd()));
    selection.setCursorPosition(offsetOf(window, view->caretPosition()));
    QAccessible::updateAccessibility(&selection);
}

LogView *LogViewAccessible::view() const
{
    return static_cast<LogView *>(widget());
}

void *LogViewAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State LogViewAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

QString LogViewAccessible::text(QAccessible::Text type) const
{
    // An empty log says what to do first, as the view shows it.
    if (type == QAccessible::Description && view()->shownLength() == 0)
        return view()->emptyHint();
    return QAccessibleWidget::text(type);
}

LogViewAccessible::Window LogViewAccessible::shownWindow() const
{
    const auto [start, end] = view()->rowsAroundSight();
    Window window;
    window.start = start;
    window.bytes = view()->textBytes(start, end);
    return window;
}

int LogViewAccessible::offsetOf(const Window &window, qsizetype position)
{
    const auto stop =
        size_t(std::clamp<qsizetype>(position - window.start, 0, qsizetype(window.bytes.size())));
    int offset = 0;
    for (size_t at = 0; at < stop;) {
        const LogCharacters::Character c = LogCharacters::decode(window.bytes, at);
        offset += c.code > 0xffff ? 2 : 1;
        at += size_t(c.length);
    }
    return offset;
}

qsizetype LogViewAccessible::positionOf(const Window &window, int offset)
{
    size_t at = 0;
    for (int units = 0; at < window.bytes.size() && units < offset;) {
        const LogCharacters::Character c = LogCharacters::decode(window.bytes, at);
        units += c.code > 0xffff ? 2 : 1;
        at += size_t(c.length);
    }
    return window.start + qsizetype(at);
}

void LogViewAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || !view()->hasSelection())
        return;
    const Window window = shownWindow();
    *startOffset = offsetOf(window, view()->selectionStart());
    *endOffset = offsetOf(window, view()->selectionEnd());
}

int LogViewAccessible::selectionCount() const
{
    int start = 0, end = 0;
    selection(0, &start, &end);
    return start < end ? 1 : 0;
}

void LogViewAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void LogViewAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        view()->setCaretPosition(view()->caretPosition());
}

void LogViewAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex != 0)
        return;
    const Window window = shownWindow();
    view()->select(positionOf(window, startOffset), positionOf(window, endOffset));
}

int LogViewAccessible::cursorPosition() const
{
    return offsetOf(shownWindow(), view()->caretPosition());
}

void LogViewAccessible::setCursorPosition(int position)
{
    view()->setCaretPosition(positionOf(shownWindow(), position));
}

QString LogViewAccessible::text(int startOffset, int endOffset) const
{
    const Window window = shownWindow();
    return view()->textRange(positionOf(window, startOffset), positionOf(window, endOffset));
}

int LogViewAccessible::characterCount() const
{
    const Window window = shownWindow();
    return offsetOf(window, window.start + qsizetype(window.bytes.size()));
}

QRect LogViewAccessible::characterRect(int offset) const
{
    const QRect cell = view()->cellRect(positionOf(shownWindow(), offset));
    return QRect(view()->viewport()->mapToGlobal(cell.topLeft()), cell.size());
}

int LogViewAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint local = view()->viewport()->mapFromGlobal(point);
    if (!view()->viewport()->rect().contains(local))
        return -1;
    return offsetOf(shownWindow(), view()->positionAt(local));
}

void LogViewAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    const Window window = shownWindow();
    const qsizetype start = positionOf(window, startIndex);
    view()->scrollToPosition(start, positionOf(window, endIndex) - start);
}

QString LogViewAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    // One monospace style throughout; error and warning lines, coloured in the view, say
    // what they are over the row, so a screen reader can tell them too.
    const Window window = shownWindow();
    const qsizetype rowNumber = view()->rowNumberOf(positionOf(window, offset));
    const LogRowPainter::Tone tone = view()->toneOfRow(rowNumber);
    if (tone == LogRowPainter::Tone::Plain) {
        *startOffset = 0;
        *endOffset = std::max(offset, characterCount());
        return QString();
    }
    const LogLineIndex::Row row = view()->shownRow(rowNumber);
    *startOffset = offsetOf(window, row.start);
    *endOffset = offsetOf(window, row.next);
    return tone == LogRowPainter::Tone::Error ? QStringLiteral("line-kind:error;")
                                              : QStringLiteral("line-kind:warning;");
}

} // namespace paddock

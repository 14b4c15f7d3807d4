// SPDX-License-Identifier: MIT
#pragma once

#include <QAccessibleWidget>

#include <string>

namespace paddock {

class LogView;

/// The log view as assistive technology sees it: read-only, multi-line text with a caret and
/// a selection. The log may be hundreds of megabytes, so the text it offers is the rows in
/// and around sight (LogView::rowsAroundSight); offsets count UTF-16 units from the first of
/// those rows and move with the view as it scrolls.
class LogViewAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit LogViewAccessible(LogView *view);

    /// Lets Qt make this interface for every log view (once per process).
    static void install();
    /// Tells assistive technology where view's caret and selection are now.
    static void announceCaret(LogView *view);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text type) const override;

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

private:
    /// The bytes offered now, from where in the log they start.
    struct Window {
        qsizetype start = 0;
        std::string bytes;
    };
    LogView *view() const;
    Window shownWindow() const;
    static int offsetOf(const Window &window, qsizetype position);
    static qsizetype positionOf(const Window &window, int offset);
};

} // namespace paddock

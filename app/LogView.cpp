#include "LogView.h"

#include <QFontDatabase>
#include <QScrollBar>

namespace paddock {

LogView::LogView(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setLineWrapMode(QPlainTextEdit::NoWrap);
}

void LogView::setLogText(const LogTextPtr &text)
{
    if (!text || text->length() <= m_shown)
        return;
    QScrollBar *bar = verticalScrollBar();
    const bool atTail = bar->value() == bar->maximum();
    moveCursor(QTextCursor::End);
    insertPlainText(text->mid(m_shown, text->length() - m_shown));
    m_shown = text->length();
    if (atTail)
        bar->setValue(bar->maximum());
}

} // namespace paddock

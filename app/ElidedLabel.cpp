// SPDX-License-Identifier: MIT
#include "ElidedLabel.h"

#include <QEvent>
#include <QFontMetrics>

#include <algorithm>

namespace paddock {

namespace {

// The width the label asks for at most: enough for a short status, never a whole sentence.
constexpr int PreferredCharacters = 60;
// The width it needs at least: the start of a word and the ellipsis.
constexpr int LeastCharacters = 8;

} // namespace

ElidedLabel::ElidedLabel(QWidget *parent)
    : ElidedLabel(QString(), parent)
{}

ElidedLabel::ElidedLabel(const QString &text, QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setFullText(text);
}

void ElidedLabel::setFullText(const QString &text, const QString &spoken)
{
    m_fullText = text;
    setToolTip(text);
    // Set only when they change: each set is announced to a screen reader. A name of its own
    // also keeps the shown text, which changes with the width, from being announced.
    const QString said = spoken.isEmpty() ? text : spoken;
    if (accessibleName() != said)
        setAccessibleName(said);
    if (accessibleDescription() != said)
        setAccessibleDescription(said);
    elide();
}

void ElidedLabel::setBrief(const QString &brief)
{
    m_brief = brief;
    elide();
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    m_mode = mode;
    elide();
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    const QMargins margins = contentsMargins();
    return {metrics.averageCharWidth() * LeastCharacters + margins.left() + margins.right(),
            QLabel::minimumSizeHint().height()};
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    const QMargins margins = contentsMargins();
    const int whole = metrics.horizontalAdvance(m_brief.isEmpty() ? m_fullText : m_brief);
    return {std::min(whole, metrics.averageCharWidth() * PreferredCharacters) + margins.left() +
                margins.right(),
            QLabel::sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        elide();
}

void ElidedLabel::elide()
{
    // The text is a status, not markup, and is shown on one line whatever it holds.
    QString line = m_brief.isEmpty() ? m_fullText : m_brief;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    setText(fontMetrics().elidedText(line, m_mode, std::max(0, contentsRect().width())));
}

} // namespace paddock

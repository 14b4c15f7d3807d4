// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>

namespace paddock {

/// A one-line label that shows as much of its text as its width allows, with "…" where text
/// is left out, and never asks for more width than a few characters: a long sentence must not
/// make its window wider than the screen. The whole text is its tooltip; a screen reader gets
/// it, or its spoken form, as the accessible name and description.
class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);
    ElidedLabel(const QString &text, QWidget *parent);

    /// Shows text, elided to the label's width. spoken, when given, is what a screen reader
    /// gets instead: words that stay the same while the shown text counts down.
    void setFullText(const QString &text, const QString &spoken = {});
    /// Shows brief instead of the whole text (still elided); the tooltip and a screen reader
    /// keep the whole. An empty brief shows the whole text again.
    void setBrief(const QString &brief);
    /// Where text is left out: at the end (the default) or in the middle.
    void setElideMode(Qt::TextElideMode mode);
    /// The whole text, as last set.
    const QString &fullText() const { return m_fullText; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void elide();

    QString m_fullText;
    QString m_brief;
    Qt::TextElideMode m_mode = Qt::ElideRight;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>

namespace paddock {

/// A one-line label that shows as much of its text as its width allows, ending in "…", and
/// never asks for more width than a few characters: a long sentence must not make its window
/// wider than the screen. The whole text is its tooltip and accessible description.
class ElidedLabel final : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString &text = QString(), QWidget *parent = nullptr);

    /// Shows text, elided to the label's width.
    void setFullText(const QString &text);
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
};

} // namespace paddock

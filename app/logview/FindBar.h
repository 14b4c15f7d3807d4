// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace paddock {

/// The log view's find bar: a search text, Next and Previous, and Match case. It only
/// asks; the view searches and tells it whether something was found.
class FindBar final : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    bool isCaseSensitive() const;
    /// Shows the bar and puts the focus into its search text, all of it selected.
    void activate();
    /// Shows whether the last search found a match.
    void setFound(bool found);
    /// Shows the bar, if hidden without taking the focus, saying message (where a search
    /// went: it wrapped around, or found nothing).
    void showStatus(const QString &message);
    void clearStatus();
    QString status() const;

Q_SIGNALS:
    /// The user asked for the next match (Enter, the Next button).
    void findNextRequested();
    /// The user asked for the previous match (Shift+Enter, the Previous button).
    void findPreviousRequested();
    /// The bar was closed (Escape, the close button); it is hidden by then.
    void closed();
    /// The search text changed (typed, or set).
    void textChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void dismiss();

    QLineEdit *m_text;
    QCheckBox *m_caseSensitive;
    QLabel *m_status;
};

} // namespace paddock

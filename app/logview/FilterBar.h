// SPDX-License-Identifier: MIT
#pragma once

#include "LogLineScan.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace paddock {

/// The log view's filter bar: a text and a kind of line (problems, connections,
/// checkpoints) that the view then shows alone. It only asks; the view filters and tells it
/// how far it got. Escape or the close button clears the filter and hides the bar.
class FilterBar final : public QWidget {
    Q_OBJECT
public:
    explicit FilterBar(QWidget *parent = nullptr);

    /// What the bar asks for; empty when it asks for all lines.
    LogLineCriteria criteria() const;
    /// Shows the bar and puts the focus into its text.
    void activate();
    /// Shows how the filter stands: rows shown, and whether lines are still being read.
    void setProgress(qsizetype rows, bool complete);

Q_SIGNALS:
    /// The text, the kind or the case changed.
    void criteriaChanged();
    /// The bar was closed and its criteria cleared; it is hidden by then.
    void closed();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void dismiss();

    QLineEdit *m_text;
    QComboBox *m_kind;
    QCheckBox *m_caseSensitive;
    QLabel *m_status;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "WarningColour.h"

#include <QFrame>
#include <QList>
#include <QString>

#include <functional>

class QBoxLayout;
class QLabel;
class QPushButton;
class QToolButton;

namespace paddock {

/// A bar above the log that says what happened in whole sentences, wrapped, with the actions
/// the situation offers as buttons beside it, in the manner of KDE's message widgets. Hidden
/// until something is said; the user may close it.
class MessageBar final : public QFrame {
    Q_OBJECT
public:
    /// One button: its label (with a mnemonic) and what it does when pressed.
    struct Action {
        QString label;
        std::function<void()> perform;
    };

    explicit MessageBar(QWidget *parent = nullptr);
    ~MessageBar() override;

    /// Shows text with a button for each action, in order, tinted as grave as level; replaces
    /// whatever was shown.
    void showMessage(const QString &text, WarningLevel level, const QList<Action> &actions);
    /// Hides the bar and drops its buttons.
    void dismiss();

    QString text() const;
    /// The buttons shown, in order.
    QList<QPushButton *> buttons() const { return m_buttons; }

Q_SIGNALS:
    /// The user closed the bar.
    void closed();

protected:
    void changeEvent(QEvent *event) override;

private:
    void tint();

    QLabel *m_icon;
    QLabel *m_text;
    QBoxLayout *m_buttonRow;
    QToolButton *m_close;
    QList<QPushButton *> m_buttons;
    WarningLevel m_level = WarningLevel::Error;
    bool m_tinting = false;
};

} // namespace paddock

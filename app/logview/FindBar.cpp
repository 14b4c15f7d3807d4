// SPDX-License-Identifier: MIT
#include "FindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

namespace paddock {

FindBar::FindBar(QWidget *parent)
    : QWidget(parent)
    , m_text(new QLineEdit(this))
    , m_caseSensitive(new QCheckBox(tr("Match case"), this))
    , m_status(new QLabel(this))
{
    setAutoFillBackground(true);
    setAccessibleName(tr("Find"));
    m_text->setObjectName(QStringLiteral("findText"));
    m_text->setPlaceholderText(tr("Find in log"));
    m_text->setAccessibleName(tr("Find in log"));
    m_text->setClearButtonEnabled(true);
    m_text->installEventFilter(this);
    m_caseSensitive->setObjectName(QStringLiteral("matchCase"));
    m_status->setObjectName(QStringLiteral("findStatus"));

    auto button = [this](const QString &name, const QString &text, QStyle::StandardPixmap icon) {
        auto *b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(text);
        b->setToolTip(text);
        b->setIcon(style()->standardIcon(icon));
        b->setAutoRaise(true);
        return b;
    };
    QToolButton *previous =
        button(QStringLiteral("findPrevious"), tr("Previous"), QStyle::SP_ArrowUp);
    QToolButton *next = button(QStringLiteral("findNext"), tr("Next"), QStyle::SP_ArrowDown);
    QToolButton *close =
        button(QStringLiteral("closeFind"), tr("Close"), QStyle::SP_TitleBarCloseButton);
    connect(previous, &QToolButton::clicked, this, &FindBar::findPreviousRequested);
    connect(next, &QToolButton::clicked, this, &FindBar::findNextRequested);
    connect(close, &QToolButton::clicked, this, &FindBar::dismiss);
    // A changed search starts afresh: the last verdict no longer applies.
    connect(m_text, &QLineEdit::textChanged, m_status, &QLabel::clear);
    connect(m_text, &QLineEdit::textChanged, this, &FindBar::textChanged);
    // Matching case or not asks another question as much as another text does.
    connect(m_caseSensitive, &QCheckBox::toggled, this, &FindBar::textChanged);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(m_text, 1);
    layout->addWidget(previous);
    layout->addWidget(next);
    layout->addWidget(m_caseSensitive);
    layout->addWidget(m_status);
    layout->addWidget(close);
    setFocusProxy(m_text);
}

QString FindBar::text() const
{
    return m_text->text();
}

void FindBar::setText(const QString &text)
{
    m_text->setText(text);
}

bool FindBar::isCaseSensitive() const
{
    return m_caseSensitive->isChecked();
}

void FindBar::activate()
{
    show();
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
}

void FindBar::setFound(bool found)
{
    m_status->setText(found ? QString() : tr("Not found"));
}

void FindBar::showStatus(const QString &message)
{
    show();
    m_status->setText(message);
}

void FindBar::clearStatus()
{
    m_status->clear();
}

QString FindBar::status() const
{
    return m_status->text();
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                Q_EMIT findPreviousRequested();
            else
                Q_EMIT findNextRequested();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FindBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FindBar::dismiss()
{
    hide();
    Q_EMIT closed();
}

} // namespace paddock

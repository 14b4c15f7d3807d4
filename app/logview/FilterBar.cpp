// SPDX-License-Identifier: MIT
#include "FilterBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <climits>

namespace paddock {

FilterBar::FilterBar(QWidget *parent)
    : QWidget(parent)
    , m_text(new QLineEdit(this))
    , m_kind(new QComboBox(this))
    , m_caseSensitive(new QCheckBox(tr("Match case"), this))
    , m_status(new QLabel(this))
{
    setAutoFillBackground(true);
    setAccessibleName(tr("Filter"));
    auto *label = new QLabel(tr("&Show only:"), this);
    label->setBuddy(m_text);
    m_text->setObjectName(QStringLiteral("filterText"));
    m_text->setPlaceholderText(tr("Lines containing"));
    m_text->setAccessibleName(tr("Show only lines containing"));
    m_text->setClearButtonEnabled(true);
    m_kind->setObjectName(QStringLiteral("filterKind"));
    // On Linux a combo box's accessible name is its current item: its label names it.
    auto *kindLabel = new QLabel(tr("&of kind:"), this);
    kindLabel->setBuddy(m_kind);
    m_kind->addItem(tr("All lines"), int(LogLineKind::Any));
    m_kind->addItem(tr("Problems"), int(LogLineKind::Problems));
    m_kind->addItem(tr("Connections"), int(LogLineKind::Connections));
    m_kind->addItem(tr("Checkpoints"), int(LogLineKind::Checkpoints));
    m_caseSensitive->setObjectName(QStringLiteral("filterMatchCase"));
    m_status->setObjectName(QStringLiteral("filterStatus"));
    auto *close = new QToolButton(this);
    close->setObjectName(QStringLiteral("closeFilter"));
    close->setText(tr("Show All Lines"));
    close->setToolTip(close->text());
    close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close->setAutoRaise(true);

    connect(m_text, &QLineEdit::textChanged, this, &FilterBar::criteriaChanged);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &FilterBar::criteriaChanged);
    connect(m_caseSensitive, &QCheckBox::toggled, this, &FilterBar::criteriaChanged);
    connect(close, &QToolButton::clicked, this, &FilterBar::dismiss);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->addWidget(label);
    layout->addWidget(m_text, 1);
    layout->addWidget(kindLabel);
    layout->addWidget(m_kind);
    layout->addWidget(m_caseSensitive);
    layout->addWidget(m_status);
    layout->addWidget(close);
    setFocusProxy(m_text);
}

LogLineCriteria FilterBar::criteria() const
{
    if (isHidden())
        return {};
    return {m_text->text(), m_caseSensitive->isChecked(),
            LogLineKind(m_kind->currentData().toInt())};
}

void FilterBar::activate()
{
    const bool wasHidden = isHidden();
    show();
    m_text->setFocus(Qt::ShortcutFocusReason);
    m_text->selectAll();
    if (wasHidden && !criteria().isEmpty())
        Q_EMIT criteriaChanged();
}

void FilterBar::setProgress(qsizetype rows, bool complete)
{
    if (criteria().isEmpty())
        m_status->clear();
    else if (!complete)
        m_status->setText(tr("Filtering…"));
    else if (rows == 0)
        m_status->setText(tr("No line matches"));
    else
        m_status->setText(tr("%n row(s)", nullptr, int(std::min<qsizetype>(rows, INT_MAX))));
}

void FilterBar::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FilterBar::dismiss()
{
    {
        const QSignalBlocker quiet(this);
        m_text->clear();
        m_kind->setCurrentIndex(0);
    }
    hide();
    m_status->clear();
    Q_EMIT closed();
}

} // namespace paddock

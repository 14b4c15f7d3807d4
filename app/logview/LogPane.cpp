// SPDX-License-Identifier: MIT
#include "LogPane.h"

#include "FilterBar.h"
#include "FindBar.h"
#include "LogView.h"

#include <QVBoxLayout>

namespace paddock {

LogPane::LogPane(QWidget *parent)
    : QWidget(parent)
    , m_view(new LogView(this))
{
    m_view->setObjectName(QStringLiteral("logView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_view->filterBar()); // above the log: it decides what the log shows
    layout->addWidget(m_view, 1);
    layout->addWidget(m_view->findBar()); // the pane takes the bar from the view
    setFocusProxy(m_view);
}

void LogPane::addAbove(QWidget *widget)
{
    static_cast<QVBoxLayout *>(layout())->insertWidget(m_above++, widget);
}

} // namespace paddock

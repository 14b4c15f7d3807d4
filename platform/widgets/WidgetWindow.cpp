// SPDX-License-Identifier: MIT
#include "WidgetWindow.h"

#include "FileDialogPanel.h"

#include <QWidget>

namespace paddock {

WidgetWindow *WidgetWindow::of(QWidget *widget)
{
    if (!widget)
        return nullptr;
    if (auto *adapter = widget->findChild<WidgetWindow *>(QString(), Qt::FindDirectChildrenOnly))
        return adapter;
    return new WidgetWindow(widget);
}

WidgetWindow::WidgetWindow(QWidget *widget)
    : Window(widget)
    , m_widget(widget)
{}

void WidgetWindow::makeKeyAndOrderFront()
{
    m_widget->show();
    m_widget->raise();
    m_widget->activateWindow();
}

OpenPanel *WidgetWindow::makeOpenPanel()
{
    return new FileDialogPanel(m_widget);
}

} // namespace paddock

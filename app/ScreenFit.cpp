// SPDX-License-Identifier: MIT
#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace paddock {

QRect availableScreenArea(const QWidget *window)
{
    const QWidget *anchor = window;
    if (!window->isVisible() && window->parentWidget())
        anchor = window->parentWidget()->window();
    const QScreen *screen = anchor->screen();
    return screen ? screen->availableGeometry() : QRect();
}

void fitOnScreen(QWidget *window)
{
    const QRect area = availableScreenArea(window);
    if (area.isEmpty())
        return;
    // The frame is known only once the window is shown; before, the window manager keeps a
    // window that fits, frame and all, on screen.
    const QRect frame = window->frameGeometry();
    const QSize border = frame.size() - window->size();
    window->resize(window->size().boundedTo(area.size() - border));
    if (!window->isVisible())
        return;
    const QRect placed = window->frameGeometry();
    const int x = std::clamp(placed.x(), area.left(),
                             std::max(area.left(), area.right() + 1 - placed.width()));
    const int y = std::clamp(placed.y(), area.top(),
                             std::max(area.top(), area.bottom() + 1 - placed.height()));
    if (QPoint(x, y) != placed.topLeft())
        window->move(x, y);
}

} // namespace paddock

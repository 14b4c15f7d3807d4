// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>

class QWidget;

namespace paddock {

/// The part of the screen window is on that windows may take; for a window not shown yet,
/// the screen of the window it belongs to.
QRect availableScreenArea(const QWidget *window);

/// Makes window no larger than that area and, once shown, moves it inside: a window must
/// never open with its controls off screen.
void fitOnScreen(QWidget *window);

} // namespace paddock

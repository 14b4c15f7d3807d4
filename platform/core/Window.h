// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

namespace paddock {

class OpenPanel;

/// A window of the interface as the launcher reaches it: it can be brought to the front,
/// and file choosers open on it. The interface implements it for each of its windows.
class Window : public QObject {
    Q_OBJECT
public:
    Q_DISABLE_COPY_MOVE(Window)

    /// Shows the window, raises it above the others and gives it the keyboard.
    virtual void makeKeyAndOrderFront() = 0;
    /// A new chooser of the kind this window carries, not yet begun; beginning it on this
    /// window hands it to the window.
    virtual OpenPanel *makeOpenPanel() = 0;

protected:
    explicit Window(QObject *parent = nullptr)
        : QObject(parent)
    {}
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include "Window.h"

class QWidget;

namespace paddock {

/// A QWidget as the launcher's Window: it is shown, raised and activated, and its choosers
/// are Qt's file dialog opened window-modal on it. The adapter is a child of its widget and
/// goes away with it.
class WidgetWindow final : public Window {
    Q_OBJECT
public:
    /// The one adapter of widget, made on first use; null for a null widget.
    static WidgetWindow *of(QWidget *widget);

    QWidget *widget() const { return m_widget; }
    void makeKeyAndOrderFront() override;
    OpenPanel *makeOpenPanel() override;

private:
    explicit WidgetWindow(QWidget *widget);

    QWidget *m_widget; // the parent, so it outlives the adapter
};

} // namespace paddock

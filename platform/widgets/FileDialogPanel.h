// SPDX-License-Identifier: MIT
#pragma once

#include "OpenPanel.h"

#include <QPointer>

class QFileDialog;
class QWidget;

namespace paddock {

/// The chooser everyone sees: Qt's own file dialog widget, never the desktop's native one,
/// so it behaves the same on every desktop and can be attached to a window.
class FileDialogPanel final : public OpenPanel {
    Q_OBJECT
public:
    /// A panel whose dialog opens window-modal on host (none: a window of its own).
    explicit FileDialogPanel(QWidget *host);
    /// Closes the dialog if it is still open; its answer then goes nowhere.
    ~FileDialogPanel() override;
    Q_DISABLE_COPY_MOVE(FileDialogPanel)

protected:
    void present(const std::optional<std::string> &directory,
                 const std::optional<std::string> &file) override;
    void raisePanel() override;

private:
    void focusFileName();

    QPointer<QWidget> m_host;
    QPointer<QFileDialog> m_dialog;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

namespace paddock {

class LogView;

/// The log view with its find bar below it, side by side in one container, so both are
/// in the window's accessibility tree and the bar never covers the log.
class LogPane final : public QWidget {
    Q_OBJECT
public:
    explicit LogPane(QWidget *parent = nullptr);

    LogView *logView() const { return m_view; }

private:
    LogView *m_view;
};

} // namespace paddock

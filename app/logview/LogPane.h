// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

namespace paddock {

class LogView;

/// The log view with its filter bar above it and its find bar below it, in one container, so
/// the bars are in the window's accessibility tree and never cover the log.
class LogPane final : public QWidget {
    Q_OBJECT
public:
    explicit LogPane(QWidget *parent = nullptr);

    LogView *logView() const { return m_view; }

private:
    LogView *m_view;
};

} // namespace paddock

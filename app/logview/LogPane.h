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
    /// Puts widget above the log, after any put there before; the pane takes it over.
    void addAbove(QWidget *widget);

private:
    LogView *m_view;
    int m_above = 0; // how many widgets stand above the log
};

} // namespace paddock

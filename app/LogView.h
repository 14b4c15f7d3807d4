#pragma once

#include "LogText.h"

#include <QPlainTextEdit>

namespace paddock {

/// Shows the server output log: read-only, monospace, following the tail.
class LogView final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogView(QWidget *parent = nullptr);

    /// Shows text; only what has not been shown yet is added.
    void setLogText(const LogTextPtr &text);
    /// How many characters of the log are on screen.
    qsizetype shownLength() const { return m_shown; }

private:
    qsizetype m_shown = 0;
};

} // namespace paddock

// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

namespace paddock {

// Lines for the terminal about failures that have no place in the window: a read that
// ended in an error, a file that could not be saved. Switched with QT_LOGGING_RULES, for
// example "paddock.*.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcPaddock)
Q_DECLARE_LOGGING_CATEGORY(lcProcess)
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "Logging.h"

namespace paddock {

Q_LOGGING_CATEGORY(lcPaddock, "paddock")
Q_LOGGING_CATEGORY(lcProcess, "paddock.process")
Q_LOGGING_CATEGORY(lcSettings, "paddock.settings")

} // namespace paddock

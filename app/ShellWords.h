// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <string>
#include <vector>

namespace paddock {

/// words joined by spaces as a shell would need them typed, each quoted where it holds
/// anything but letters, digits and a few safe marks, so that the words can be told apart.
QString shellWords(const std::vector<std::string> &words);

} // namespace paddock

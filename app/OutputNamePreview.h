// SPDX-License-Identifier: MIT
#pragma once

#include "OutputDatabase.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace paddock {

/// The output name a start would form now, and what would keep a start from using it.
struct OutputNamePreview final {
    std::string name;
    OutputNameProblem problem = OutputNameProblem::None;
};

/// Expands nameTemplate for dbPath as a start at moment would and checks the name as Start
/// does; "%R" shows a sample value and draws nothing from the launcher's random generator.
/// The output's folder is checked only where dbPath's own folder exists.
OutputNamePreview previewOutputName(std::string_view nameTemplate,
                                    const std::optional<std::string> &dateFormat,
                                    std::string_view dbPath,
                                    std::chrono::system_clock::time_point moment);

/// The first "%" of nameTemplate followed by anything but the tokens a start expands ("%T",
/// "%R", "%@"), with that character, such as "%Z"; empty when there is none. Such text stays
/// in the name as written.
std::string unknownTemplateToken(std::string_view nameTemplate);

/// Why the log file logName (resolved as an output name is, against dbPath's folder) could not
/// be written: it names a folder, or points into one that does not exist. None for no log
/// file, and where dbPath's own folder does not exist (an example database).
OutputNameProblem logFileProblem(std::string_view dbPath, std::string_view logName);

} // namespace paddock

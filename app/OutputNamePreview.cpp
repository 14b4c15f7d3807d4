// SPDX-License-Identifier: MIT
#include "OutputNamePreview.h"

#include "NameTemplate.h"
#include "String.h"

#include <sys/stat.h>

namespace paddock {

namespace {

// Shown for "%R": a value in the generator's range, so the preview has the real length.
constexpr long sampleRandomValue = 1804289383;

} // namespace

OutputNamePreview previewOutputName(std::string_view nameTemplate,
                                    const std::optional<std::string> &dateFormat,
                                    std::string_view dbPath,
                                    std::chrono::system_clock::time_point moment)
{
    OutputNamePreview preview;
    preview.name = expandNameTemplate(
        nameTemplate, [&dateFormat] { return dateFormat; }, moment, dbPath,
        [] { return sampleRandomValue; });
    struct stat folder = {};
    const bool realFolder = !dbPath.empty() && dbPath.front() == '/' &&
                            ::stat(deletingLastPathComponent(dbPath).c_str(), &folder) == 0 &&
                            S_ISDIR(folder.st_mode);
    preview.problem = outputNameProblem(dbPath, preview.name, realFolder);
    return preview;
}

} // namespace paddock

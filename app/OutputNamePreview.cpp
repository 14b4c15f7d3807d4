// SPDX-License-Identifier: MIT
#include "OutputNamePreview.h"

#include "NameTemplate.h"
#include "String.h"

#include <sys/stat.h>

namespace paddock {

namespace {

// Shown for "%R": a value in the generator's range, so the preview has the real length.
constexpr long sampleRandomValue = 1804289383;

// Whether dbPath lies in a folder that exists, so names beside it can be checked.
bool inRealFolder(std::string_view dbPath)
{
    struct stat folder = {};
    return !dbPath.empty() && dbPath.front() == '/' &&
           ::stat(deletingLastPathComponent(dbPath).c_str(), &folder) == 0 &&
           S_ISDIR(folder.st_mode);
}

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
    preview.problem = outputNameProblem(dbPath, preview.name, inRealFolder(dbPath));
    return preview;
}

std::string unknownTemplateToken(std::string_view nameTemplate)
{
    for (std::size_t at = nameTemplate.find('%');
         at != std::string_view::npos && at + 1 < nameTemplate.size();
         at = nameTemplate.find('%', at + 2)) {
        const char token = nameTemplate[at + 1];
        if (token != 'T' && token != 'R' && token != '@')
            return std::string(nameTemplate.substr(at, 2));
    }
    return {};
}

OutputNameProblem logFileProblem(std::string_view dbPath, std::string_view logName)
{
    if (logName.empty() || !inRealFolder(dbPath))
        return OutputNameProblem::None;
    const OutputNameProblem problem = outputNameProblem(dbPath, logName);
    // Only where it goes matters here; whether the file may be written is judged at Start.
    return problem == OutputNameProblem::FolderMissing || problem == OutputNameProblem::NamesFolder
               ? problem
               : OutputNameProblem::None;
}

} // namespace paddock

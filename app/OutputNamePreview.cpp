#include "OutputNamePreview.h"

#include "NameTemplate.h"
#include "String.h"

#include <filesystem>
#include <system_error>

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
    preview.overwritesInput = wouldOverwriteInput(preview.name, dbPath);
    return preview;
}

bool wouldOverwriteInput(std::string_view outputName, std::string_view dbPath)
{
    namespace fs = std::filesystem;
    if (outputName.empty() || dbPath.empty())
        return false;
    const fs::path input(dbPath);
    fs::path output(outputName);
    if (output.is_relative())
        output = fs::path(deletingLastPathComponent(dbPath)) / output;
    if (output.lexically_normal() == input.lexically_normal())
        return true;
    // Different spellings of one file (a link, "..") count too, when both exist.
    std::error_code error;
    return fs::equivalent(output, input, error) && !error;
}

} // namespace paddock

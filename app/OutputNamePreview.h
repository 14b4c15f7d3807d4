#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace paddock {

/// The output name a start would form now, and whether the server would then write over
/// the very database it was started on.
struct OutputNamePreview final {
    std::string name;
    bool overwritesInput = false;
};

/// Expands nameTemplate for dbPath as a start at moment would; "%R" shows a sample value
/// and draws nothing from the launcher's random generator.
OutputNamePreview previewOutputName(std::string_view nameTemplate,
                                    const std::optional<std::string> &dateFormat,
                                    std::string_view dbPath,
                                    std::chrono::system_clock::time_point moment);

/// Whether outputName, resolved as the server resolves it (against dbPath's folder),
/// names the file dbPath.
bool wouldOverwriteInput(std::string_view outputName, std::string_view dbPath);

} // namespace paddock

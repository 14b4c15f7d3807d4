// SPDX-License-Identifier: MIT
#include "OutputDatabase.h"

#include "String.h"

#include <QCoreApplication>

#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace paddock {

std::string resolvedOutputPath(std::string_view dbPath, std::string_view outputName)
{
    if (!outputName.empty() && outputName.front() == '/')
        return std::string(outputName);
    return deletingLastPathComponent(dbPath) + "/" + std::string(outputName);
}

namespace {

bool isFolder(const std::string &path)
{
    struct stat info = {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool namesInput(const std::string &output, std::string_view dbPath)
{
    namespace fs = std::filesystem;
    const fs::path input(dbPath);
    if (fs::path(output).lexically_normal() == input.lexically_normal())
        return true;
    // Other spellings of one file (a link, "..", a hard link) count too, when both exist.
    std::error_code error;
    return fs::equivalent(fs::path(output), input, error) && !error;
}

} // namespace

OutputNameProblem outputNameProblem(std::string_view dbPath, std::string_view outputName,
                                    bool checkFolder)
{
    if (outputName.empty())
        return OutputNameProblem::Empty;
    const std::string output = resolvedOutputPath(dbPath, outputName);
    if (!dbPath.empty() && namesInput(output, dbPath))
        return OutputNameProblem::OverwritesInput;
    // A name ending in "/", "." or ".." names a folder, not a file the server could write.
    const std::string_view last = std::string_view(output).substr(output.rfind('/') + 1);
    if (last.empty() || last == "." || last == ".." || (checkFolder && isFolder(output)))
        return OutputNameProblem::NamesFolder;
    if (checkFolder && !isFolder(deletingLastPathComponent(output)))
        return OutputNameProblem::FolderMissing;
    return OutputNameProblem::None;
}

std::string describeOutputNameProblem(OutputNameProblem problem, std::string_view outputName)
{
    const char *sentence = nullptr;
    switch (problem) {
    case OutputNameProblem::None:
        return {};
    case OutputNameProblem::Empty:
        sentence = QT_TRANSLATE_NOOP("OutputDatabase",
                                     "The output name is empty: the server would have no name to "
                                     "write its database under.");
        break;
    case OutputNameProblem::FolderMissing:
        sentence = QT_TRANSLATE_NOOP("OutputDatabase",
                                     "The output name \"%1\" points into a folder that does not "
                                     "exist beside the database: the server could not save its "
                                     "database there.");
        break;
    case OutputNameProblem::NamesFolder:
        sentence = QT_TRANSLATE_NOOP("OutputDatabase",
                                     "The output name \"%1\" names a folder, not a file: the server "
                                     "needs a file name to save its database under.");
        break;
    case OutputNameProblem::OverwritesInput:
        sentence = QT_TRANSLATE_NOOP(
            "OutputDatabase",
            "The output name \"%1\" is the database the server runs on: each dump would overwrite "
            "it, a risk (no earlier copy is kept, and a crash could leave no useful database) "
            "that Start asks you to accept.");
        break;
    }
    // Callers read the sentence as UTF-8; a name that is not shows as the window shows names.
    QString text = QCoreApplication::translate("OutputDatabase", sentence);
    if (text.contains(QLatin1String("%1")))
        text = text.arg(displayPath(outputName));
    return text.toStdString();
}

std::optional<OutputDatabaseCheck::Seen> OutputDatabaseCheck::look(const std::string &path)
{
    struct stat info = {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return Seen{info.st_dev, info.st_ino, (long long)info.st_mtim.tv_sec, info.st_mtim.tv_nsec,
                (long long)info.st_size};
}

OutputDatabaseCheck OutputDatabaseCheck::before(std::string_view dbPath,
                                                std::string_view outputName)
{
    OutputDatabaseCheck check;
    check.m_path = resolvedOutputPath(dbPath, outputName);
    check.m_before = outputName.empty() ? std::nullopt : look(check.m_path);
    return check;
}

bool OutputDatabaseCheck::writtenSince() const
{
    // Compared with what was there at launch rather than with the clock: a file's times come
    // from a coarser clock than ours, and the last run may have written it a moment earlier.
    const std::optional<Seen> now = look(m_path);
    return now && now != m_before;
}

} // namespace paddock

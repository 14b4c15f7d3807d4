// SPDX-License-Identifier: MIT
#include "MooController.h"

#include "OutputDatabase.h"

#include <sys/stat.h>

namespace paddock {

namespace {

// The log file a MOO server's own arguments name: "-l FILE" (LambdaMOO), also "-lFILE",
// "--log FILE" and "--log=FILE" as option parsers take them; the last one given counts.
std::optional<std::string> serverLogArgument(const std::vector<std::string> &arguments)
{
    std::optional<std::string> file;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &word = arguments[i];
        if ((word == "-l" || word == "--log") && i + 1 < arguments.size())
            file = arguments[++i];
        else if (word.starts_with("--log="))
            file = word.substr(6);
        else if (word.starts_with("-l") && word.size() > 2 && word[2] != '-')
            file = word.substr(2);
    }
    return file;
}

// path with "." and empty parts dropped, so two spellings of one name compare equal.
std::string withoutDotParts(const std::string &path)
{
    std::string out;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".")
            out += '/' + part;
        start = end + 1;
    }
    return out;
}

bool sameFile(const std::string &a, const std::string &b)
{
    if (withoutDotParts(a) == withoutDotParts(b))
        return true;
    struct stat first = {}, second = {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace

QString MooController::logFileSharedWarning(const std::vector<std::string> &arguments) const
{
    const std::string logFile = logFilePath();
    const std::optional<std::string> own = serverLogArgument(arguments);
    if (logFile.empty() || !own || own->empty() || !dbPath())
        return {};
    // The server opens its -l file from its working folder, the database's.
    if (!sameFile(resolvedOutputPath(*dbPath(), *own), logFile))
        return {};
    return tr("the server writes its own log (-l) to \"%1\", which is also Paddock's log file: "
              "their lines are mixed, and rotation moves the file away from under the server. "
              "Choose another log file in the preferences, or remove -l from the arguments")
        .arg(QString::fromLocal8Bit(logFile));
}

} // namespace paddock

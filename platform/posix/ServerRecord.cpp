// SPDX-License-Identifier: MIT
#include "ServerRecord.h"

#include "DescriptorIo.h"
#include "PrivateFolder.h"
#include "SystemError.h"
#include "UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace paddock {

namespace {

const std::string Header = "paddock-server-record 1";
const std::string Prefix = "server-";
constexpr off_t MaxRecordSize = 256 * 1024;

std::string fileName(pid_t pid)
{
    return Prefix + std::to_string(pid);
}

std::string escape(const std::string &value)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool unescape(const std::string &text, std::string &value)
{
    value.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            value += text[i];
            continue;
        }
        if (++i == text.size())
            return false;
        if (text[i] == '\\') {
            value += '\\';
        } else if (text[i] == 'n') {
            value += '\n';
        } else if (text[i] == 'x' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
                   hexDigit(text[i + 2]) >= 0) {
            value += char(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

bool parseNumber(const std::string &text, std::uint64_t &number)
{
    if (text.empty() || text.size() > 20 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    number = std::strtoull(text.c_str(), nullptr, 10);
    return errno == 0;
}

// "log-start=DEVICE INODE BORN-SECONDS BORN-NANOSECONDS OFFSET", or nothing.
std::string logStartLine(const std::optional<LogFilePosition> &start)
{
    if (!start)
        return {};
    const FileIdentity &file = start->file;
    return "log-start=" + std::to_string(std::uint64_t(file.device)) + ' ' +
           std::to_string(std::uint64_t(file.inode)) + ' ' +
           std::to_string(std::uint64_t(file.bornSeconds)) + ' ' +
           std::to_string(file.bornNanoseconds) + ' ' + std::to_string(start->offset) + "\n";
}

// log-start's value; none when it does not read as five numbers.
std::optional<LogFilePosition> parseLogStart(const std::string &text)
{
    std::uint64_t numbers[5] = {};
    std::size_t at = 0;
    for (std::uint64_t &number : numbers) {
        if (at > text.size())
            return std::nullopt; // fewer than five
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (!parseNumber(text.substr(at, end - at), number))
            return std::nullopt;
        at = end + 1;
    }
    if (at != text.size() + 1 || numbers[3] > 999999999)
        return std::nullopt;
    LogFilePosition start;
    start.file.device = dev_t(numbers[0]);
    start.file.inode = ino_t(numbers[1]);
    start.file.bornSeconds = std::int64_t(numbers[2]);
    start.file.bornNanoseconds = std::uint32_t(numbers[3]);
    start.offset = numbers[4];
    return start;
}

} // namespace

std::string formatServerRecord(const ServerRecord &record)
{
    return Header + "\nserver-pid=" + std::to_string(record.serverPid) +
           "\nserver-start-time=" + std::to_string(record.serverStartTime) +
           "\nkeeper-pid=" + std::to_string(record.keeperPid) +
           "\nkeeper-socket=" + escape(record.keeperSocket) +
           "\nexecutable=" + escape(record.executable) + "\ndatabase=" + escape(record.database) +
           "\noutput-name=" + escape(record.outputName) + "\nlog-file=" + escape(record.logFile) +
           "\n" + logStartLine(record.logStart) +
           (record.world.empty() ? std::string() : "world=" + escape(record.world) + "\n");
}

std::string parseServerRecord(const std::string &text, ServerRecord &record)
{
    if (text.compare(0, Header.size() + 1, Header + "\n") != 0)
        return "it is not a server record of this version";
    if (text.back() != '\n')
        return "it is cut short";
    std::map<std::string, std::string> values;
    for (std::size_t start = Header.size() + 1; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = line.find('=');
        std::string value;
        if (equals == std::string::npos || !unescape(line.substr(equals + 1), value))
            return "a line cannot be read";
        if (!values.emplace(line.substr(0, equals), std::move(value)).second)
            return "a value is given twice";
    }
    const char *const required[] = {"server-pid",    "server-start-time", "keeper-pid",
                                    "keeper-socket", "executable",        "database",
                                    "output-name",   "log-file"};
    for (const char *key : required)
        if (!values.count(key))
            return std::string("it lacks the ") + key;
    std::uint64_t serverPid = 0, startTime = 0, keeperPid = 0;
    if (!parseNumber(values["server-pid"], serverPid) || serverPid == 0 || serverPid > 0x3fffffff ||
        !parseNumber(values["server-start-time"], startTime) ||
        !parseNumber(values["keeper-pid"], keeperPid) || keeperPid > 0x3fffffff)
        return "a process number cannot be read";
    ServerRecord parsed;
    parsed.serverPid = pid_t(serverPid);
    parsed.serverStartTime = startTime;
    parsed.keeperPid = pid_t(keeperPid);
    parsed.keeperSocket = values["keeper-socket"];
    parsed.executable = values["executable"];
    parsed.database = values["database"];
    parsed.outputName = values["output-name"];
    parsed.logFile = values["log-file"];
    parsed.world = values["world"]; // absent in the first world's records
    // Optional: records of earlier versions have none, and then the whole log file counts.
    if (const auto start = values.find("log-start"); start != values.end()) {
        parsed.logStart = parseLogStart(start->second);
        if (!parsed.logStart)
            return "a line cannot be read";
    }
    record = std::move(parsed);
    return {};
}

std::string writeServerRecord(const std::string &folder, const ServerRecord &record)
{
    if (std::string problem = makePrivateFolder(folder); !problem.empty())
        return problem;
    const std::string path = folder + "/" + fileName(record.serverPid);
    std::string temporary = folder + "/." + fileName(record.serverPid) + ".XXXXXX";
    const UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd)
        return "Cannot record the running server in \"" + folder + "\": " + errorText(errno);
    // mkostemp gives 0600 already; the rename only ever shows a whole, synced file.
    if (!writeAll(fd.get(), formatServerRecord(record)) || ::fsync(fd.get()) != 0 ||
        ::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return "Cannot record the running server in \"" + path + "\": " + errorText(error);
    }
    // The rename itself lasts only once the folder is synced.
    const UniqueFd folderFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFd)
        ::fsync(folderFd.get());
    return {};
}

namespace {

// Reads folder/server-PID into record; returns why it cannot be read at all. distrust gets
// why it cannot be trusted although it could be read: its owner, or others can change it or
// its folder. Nothing is read through a link.
std::string readRecordFile(const std::string &folder, pid_t serverPid, ServerRecord &record,
                           std::string &distrust)
{
    distrust = checkPrivateFolder(folder);
    struct stat status;
    if (::lstat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return distrust;
    const std::string path = folder + "/" + fileName(serverPid);
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd)
        return "Cannot read the server record \"" + path + "\": " + errorText(errno);
    if (::fstat(fd.get(), &status) != 0)
        return "Cannot read the server record \"" + path + "\": " + errorText(errno);
    if (!S_ISREG(status.st_mode))
        return "The server record \"" + path + "\" is not a regular file";
    // The folder's sentence, if any, comes first.
    if (distrust.empty() && status.st_uid != ::geteuid())
        distrust = "The server record \"" + path + "\" belongs to another user";
    else if (distrust.empty() && (status.st_mode & (S_IWGRP | S_IWOTH)))
        distrust = "The server record \"" + path + "\" can be changed by other users";
    if (status.st_size > MaxRecordSize)
        return "The server record \"" + path + "\" is too large";
    std::string text(std::size_t(status.st_size), '\0');
    const ReadOutcome read = readFully(fd.get(), text.data(), text.size());
    if (read.error)
        return "Cannot read the server record \"" + path + "\": " + errorText(read.error);
    text.resize(read.bytes);
    ServerRecord parsed;
    if (std::string why = parseServerRecord(text, parsed); !why.empty())
        return "The server record \"" + path + "\" cannot be used: " + why;
    if (parsed.serverPid != serverPid)
        return "The server record \"" + path + "\" names another process";
    record = std::move(parsed);
    return {};
}

} // namespace

std::string readServerRecord(const std::string &folder, pid_t serverPid, ServerRecord &record)
{
    ServerRecord read;
    std::string distrust;
    if (std::string problem = readRecordFile(folder, serverPid, read, distrust); !problem.empty())
        return problem;
    if (!distrust.empty())
        return distrust;
    record = std::move(read);
    return {};
}

ServerRecords readServerRecords(const std::string &folder)
{
    ServerRecords result;
    DIR *listing = ::opendir(folder.c_str());
    if (!listing) {
        if (errno != ENOENT)
            result.refused.push_back(
                {folder, "Cannot read the folder \"" + folder + "\": " + errorText(errno), {}});
        return result;
    }
    std::vector<pid_t> pids;
    while (const dirent *entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        std::uint64_t pid = 0;
        if (name.compare(0, Prefix.size(), Prefix) == 0 &&
            parseNumber(name.substr(Prefix.size()), pid) && pid > 0 && pid <= 0x3fffffff)
            pids.push_back(pid_t(pid));
    }
    ::closedir(listing);
    for (const pid_t pid : pids) {
        ServerRecord record;
        std::string distrust;
        const std::string problem = readRecordFile(folder, pid, record, distrust);
        if (problem.empty() && distrust.empty())
            result.records.push_back(std::move(record));
        else if (problem.empty())
            result.refused.push_back({folder + "/" + fileName(pid), distrust, std::move(record)});
        else
            result.refused.push_back({folder + "/" + fileName(pid), problem, {}});
    }
    return result;
}

std::string removeServerRecord(const std::string &folder, pid_t serverPid)
{
    const std::string path = folder + "/" + fileName(serverPid);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return "Cannot remove the server record \"" + path + "\": " + errorText(errno);
    return {};
}

} // namespace paddock

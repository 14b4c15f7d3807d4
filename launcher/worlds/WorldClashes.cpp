// SPDX-License-Identifier: MIT
#include "WorldClashes.h"

#include "ServerArguments.h"
#include "SettingsKeys.h"
#include "String.h"
#include "UserDefaults.h"

#include <charconv>
#include <sys/stat.h>

namespace paddock {

namespace {

// A port as a word gives it: decimal digits alone, 1 to 65535.
std::optional<int> portIn(std::string_view word)
{
    int port = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), port);
    if (word.empty() || error != std::errc() || end != word.data() + word.size() || port < 1 ||
        port > 65535)
        return std::nullopt;
    return port;
}

std::vector<std::string> wordsOf(const UserDefaults &store, const QString &key)
{
    SplitArguments split = splitArguments(store.stringForKey(key).value_or(std::string()));
    return split.ok() ? std::move(split.words) : std::vector<std::string>();
}

} // namespace

std::vector<int> portArguments(const UserDefaults &store)
{
    std::vector<int> ports;
    const auto add = [&ports](std::string_view word) {
        if (const std::optional<int> port = portIn(word))
            ports.push_back(*port);
    };
    const std::vector<std::string> after = wordsOf(store, MOOArgumentsAfter);
    for (const std::vector<std::string> &words : {wordsOf(store, MOOArgumentsBefore), after}) {
        for (std::size_t i = 0; i < words.size(); ++i) {
            const std::string &word = words[i];
            if ((word == "-p" || word == "--port") && i + 1 < words.size())
                add(words[++i]);
            else if (word.starts_with("--port="))
                add(std::string_view(word).substr(7));
            else if (word.starts_with("-p") && word.size() > 2 && word[2] != '-')
                add(std::string_view(word).substr(2));
        }
    }
    if (!after.empty())
        add(after.front());
    return ports;
}

bool sameDatabaseFolder(const std::string &a, const std::string &b)
{
    const std::string first = folderOf(absolutePath(a));
    const std::string second = folderOf(absolutePath(b));
    if (first == second)
        return true;
    struct stat one = {}, other = {};
    return ::stat(first.c_str(), &one) == 0 && ::stat(second.c_str(), &other) == 0 &&
           one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

} // namespace paddock

// SPDX-License-Identifier: MIT
#include "ServerArguments.h"

#include "LaunchError.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

namespace paddock {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

SplitArguments splitArguments(std::string_view text)
{
    SplitArguments result;
    // A word reaches the server as a C string, which a NUL byte would cut short.
    if (text.find('\0') != std::string_view::npos) {
        result.error = "It contains a NUL byte, which no argument can carry.";
        return result;
    }
    std::string word;
    // A word can be empty ('' or ""), so whether one has begun is kept apart from its text.
    bool inWord = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (isBlank(c)) {
            if (inWord)
                result.words.push_back(std::move(word));
            word.clear();
            inWord = false;
            ++i;
        } else if (c == '\'') {
            const std::size_t close = text.find('\'', i + 1);
            if (close == std::string_view::npos) {
                result.error = "A single quote (') is not closed.";
                return result;
            }
            word.append(text.substr(i + 1, close - i - 1));
            inWord = true;
            i = close + 1;
        } else if (c == '"') {
            inWord = true;
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    result.error = "A double quote (\") is not closed.";
                    return result;
                }
                const char d = text[i];
                if (d == '"') {
                    ++i;
                    break;
                }
                if (d == '\\' && i + 1 < text.size()) {
                    const char next = text[i + 1];
                    if (next == '"' || next == '\\' || next == '$' || next == '`') {
                        word += next;
                        i += 2;
                        continue;
                    }
                    if (next == '\n') {
                        i += 2;
                        continue;
                    }
                }
                word += d;
                ++i;
            }
        } else if (c == '\\') {
            if (i + 1 >= text.size()) {
                result.error = "A backslash (\\) at the end escapes nothing.";
                return result;
            }
            if (text[i + 1] != '\n') {
                word += text[i + 1];
                inWord = true;
            }
            i += 2;
        } else {
            word += c;
            inWord = true;
            ++i;
        }
    }
    if (inWord)
        result.words.push_back(std::move(word));
    return result;
}

std::vector<std::string> serverArgumentVector(const UserDefaults *store, const std::string &db,
                                              const std::string &output)
{
    const auto wordsOf = [store](const QString &key, const char *what) {
        const std::optional<std::string> text = store ? store->stringForKey(key) : std::nullopt;
        if (!text)
            return std::vector<std::string>();
        SplitArguments split = splitArguments(*text);
        if (!split.ok()) {
            // The whole sentence is the reason: the window names the preference at fault.
            const std::string sentence = std::string("The server arguments ") + what +
                                         " the database names cannot be used: " + split.error;
            throw LaunchError(sentence, 0, sentence);
        }
        return std::move(split.words);
    };
    std::vector<std::string> arguments = wordsOf(MOOArgumentsBefore, "before");
    arguments.push_back(db);
    arguments.push_back(output);
    for (std::string &word : wordsOf(MOOArgumentsAfter, "after"))
        arguments.push_back(std::move(word));
    return arguments;
}

} // namespace paddock

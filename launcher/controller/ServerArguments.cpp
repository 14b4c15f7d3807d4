// SPDX-License-Identifier: MIT
#include "ServerArguments.h"

#include "LaunchError.h"
#include "SettingsKeys.h"
#include "UserDefaults.h"

#include <QCoreApplication>

namespace paddock {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// A sentence marked for the catalogue, as UTF-8.
std::string sentence(const char *text)
{
    return QCoreApplication::translate("ServerArguments", text).toStdString();
}

} // namespace

SplitArguments splitArguments(std::string_view text)
{
    SplitArguments result;
    // A word reaches the server as a C string, which a NUL byte would cut short.
    if (text.find('\0') != std::string_view::npos) {
        result.error = sentence(QT_TRANSLATE_NOOP(
            "ServerArguments", "It contains a NUL byte, which no argument can carry."));
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
                result.error = sentence(
                    QT_TRANSLATE_NOOP("ServerArguments", "A single quote (') is not closed."));
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
                    result.error = sentence(
                        QT_TRANSLATE_NOOP("ServerArguments", "A double quote (\") is not closed."));
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
                result.error = sentence(QT_TRANSLATE_NOOP(
                    "ServerArguments", "A backslash (\\) at the end escapes nothing."));
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
                                              const std::string &output, bool emergency)
{
    const auto wordsOf = [store](const QString &key, const char *refusal) {
        const std::optional<std::string> text = store ? store->stringForKey(key) : std::nullopt;
        if (!text)
            return std::vector<std::string>();
        SplitArguments split = splitArguments(*text);
        if (!split.ok()) {
            // The whole sentence is the reason: the window names the preference at fault.
            const std::string sentence = QCoreApplication::translate("ServerArguments", refusal)
                                             .arg(QString::fromStdString(split.error))
                                             .toStdString();
            throw LaunchError(sentence, 0, sentence);
        }
        return std::move(split.words);
    };
    std::vector<std::string> arguments = wordsOf(
        MOOArgumentsBefore,
        QT_TRANSLATE_NOOP("ServerArguments",
                          "The server arguments before the database names cannot be used: %1"));
    if (emergency)
        arguments.push_back("-e");
    arguments.push_back(db);
    arguments.push_back(output);
    for (std::string &word : wordsOf(
             MOOArgumentsAfter,
             QT_TRANSLATE_NOOP("ServerArguments",
                               "The server arguments after the database names cannot be used: %1")))
        arguments.push_back(std::move(word));
    return arguments;
}

} // namespace paddock

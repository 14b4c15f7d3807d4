// SPDX-License-Identifier: MIT
#include "ShellWords.h"

#include "String.h"

#include <QStringList>

#include <algorithm>

namespace paddock {

QString shellWords(const std::vector<std::string> &words)
{
    QStringList shown;
    for (const std::string &word : words) {
        const QString text = displayPath(word);
        const bool plain = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
            return c.isLetterOrNumber() || QStringLiteral("/._-+=:,%@").contains(c);
        });
        shown.append(plain ? text
                           : QLatin1Char('\'') +
                                 QString(text).replace(QLatin1Char('\''), QStringLiteral("'\\''")) +
                                 QLatin1Char('\''));
    }
    return shown.join(QLatin1Char(' '));
}

} // namespace paddock

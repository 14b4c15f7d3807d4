// SPDX-License-Identifier: MIT
#pragma once

#include <QFile>
#include <QString>

#include <cstdio>
#include <random>
#include <string>

namespace paddock::bench {

/// Writes bytes (a little more) of object records as a MOO database holds them: numbers,
/// names, verb code; varied enough that a compressor has real work, repetitive as a real
/// database is. With ended, the file ends as a server ends a database. Returns success.
inline bool writeSampleDatabase(const QString &path, qint64 bytes, bool ended = false)
{
    constexpr qint64 MiB = qint64(1) << 20;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 random(42);
    std::string block;
    block.reserve(size_t(MiB + 4096));
    for (int object = 0; file.size() + qint64(block.size()) < bytes; ++object) {
        char record[256];
        const int n = std::snprintf(record, sizeof record,
                                    "#%d\nthing %u\n\n%d\n%d\n%u\n%d\n"
                                    "player:tell(\"You see \", this.name, \" here (%u).\");\n",
                                    object, unsigned(random()), object % 7, -1,
                                    unsigned(random() % 100000), object + 1, unsigned(random()));
        block.append(record, size_t(n));
        if (block.size() >= size_t(MiB)) {
            if (file.write(block.data(), qint64(block.size())) != qint64(block.size()))
                return false;
            block.clear();
        }
    }
    if (ended)
        block += "0 active connections with listeners\n";
    return file.write(block.data(), qint64(block.size())) == qint64(block.size()) && file.flush();
}

} // namespace paddock::bench

// SPDX-License-Identifier: MIT
// log_filter [MiB [memory]]: how fast the log view's filter reads a long history, by kind and by
// text. Logs MiB (default 4096) of MOO-like lines through a log file, as the controller does, so
// that all but the newest few MiB are read back from the file (cached by the kernel after the first
// pass), then filters the whole of it as the view does, a slice at a time, and prints GiB/s, the
// best of a few runs, each against the bar of 1 GiB/s of processor time; the exit status is 1
// when one misses it. The file is removed afterwards. With "memory", the log stays in memory and no
// file is written.

#include "LogFileWriter.h"
#include "LogLineFilter.h"
#include "LogText.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <time.h>

using namespace paddock;

namespace {

constexpr qsizetype MiB = qsizetype(1) << 20;
constexpr int Runs = 3;

// The processor time this thread has used: moves far less with other work on the machine
// than the wall clock does.
double threadSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// One MiB of a busy world's log: mostly its own notes, some logins and logouts, a checkpoint
// now and then, and one error and one warning.
std::string worldBlock(int salt)
{
    std::string block;
    char line[200];
    for (int n = 0; block.size() < size_t(MiB - 200); ++n) {
        const int kind = n % 97;
        if (kind == 0)
            std::snprintf(line, sizeof line,
                          "Dec  9 10:%02d:%02d: CONNECTED: Player%d (#%d) on port 7777 from "
                          "host%d.example.net, port %d\n",
                          n % 60, (n / 60) % 60, n % 500, 1000 + n % 500, n % 50,
                          40000 + n % 20000);
        else if (kind == 1)
            std::snprintf(line, sizeof line,
                          "Dec  9 10:%02d:%02d: DISCONNECTED: Player%d (#%d) on port 7777 from "
                          "host%d.example.net, port %d\n",
                          n % 60, (n / 60) % 60, n % 500, 1000 + n % 500, n % 50,
                          40000 + n % 20000);
        else if (n == 5000)
            std::snprintf(line, sizeof line,
                          "Dec  9 11:00:00: CHECKPOINTING on world.db.#%d# ...\n", salt);
        else if (n == 5001)
            std::snprintf(line, sizeof line, "Dec  9 11:00:03: *** Cannot write world.db.#%d#\n",
                          salt);
        else if (n == 5002)
            std::snprintf(line, sizeof line, "Dec  9 11:00:04: ### Low on memory\n");
        else
            std::snprintf(line, sizeof line,
                          "Dec  9 10:%02d:%02d: > #%d:tell_contents, line %d: wandering "
                          "the halls of the castle %d\n",
                          n % 60, (n / 60) % 60, 100 + n % 9000, n % 40, salt);
        block += line;
    }
    return block;
}

} // namespace

int main(int argc, char **argv)
{
    const qsizetype size = (argc > 1 ? std::atoll(argv[1]) : 4096) * MiB;
    const bool inMemory = argc > 2 && std::string(argv[2]) == "memory";
    QTemporaryDir folder;
    LogFileWriter writer(folder.path().toStdString() + "/server.log", 0);
    LogTextPtr log = LogText::create();
    for (int salt = 0; log->length() < size; ++salt) {
        const std::string block = worldBlock(salt % 64);
        LogKeeping keeping;
        if (inMemory) {
            log = log->appending(block);
            continue;
        }
        keeping.file = writer.segments();
        keeping.fileOffset = writer.written();
        if (!writer.append(block).ok()) {
            std::fprintf(stderr, "cannot write the log file\n");
            return 1;
        }
        log = log->appending(block, keeping);
    }
    std::printf("%.2f GiB of log, %.0f MiB of it in memory; GiB/s over all of it by the wall "
                "clock and by processor time, best of %d\n",
                double(log->length()) / double(1024 * MiB),
                double(log->memoryInUse()) / double(MiB), Runs);
    // The bar: 1 GiB/s of processor time for every filter.
    constexpr double Bar = 1.0;
    std::printf("%-30s %10s %8s %10s  bar %.1f GiB/s\n", "filter", "rows", "wall", "processor",
                Bar);
    bool allMet = true;
    struct Case {
        const char *name;
        LogLineCriteria criteria;
    };
    const Case cases[] = {
        {"problems", {QString(), false, LogLineKind::Problems}},
        {"connections", {QString(), false, LogLineKind::Connections}},
        {"checkpoints", {QString(), false, LogLineKind::Checkpoints}},
        {"text \"cannot write\"", {QStringLiteral("cannot write"), false, LogLineKind::Any}},
        {"text \"Player42 (\", kept", {QStringLiteral("Player42 ("), true, LogLineKind::Any}},
        {"text \"castle 7\" in problems",
         {QStringLiteral("castle 7"), false, LogLineKind::Problems}},
    };
    for (const Case &c : cases) {
        double best = 0, bestProcessor = 0;
        qsizetype rows = 0;
        for (int run = 0; run < Runs; ++run) {
            QElapsedTimer clock;
            clock.start();
            const double started = threadSeconds();
            LogLineFilter filter(c.criteria);
            // Slices as the view takes them between turns of the event loop.
            while (!filter.extend(*log, log->length(), 4 * MiB)) {
            }
            const double seconds = std::max(1e-9, double(clock.nsecsElapsed()) / 1e9);
            const double processor = std::max(1e-9, threadSeconds() - started);
            rows = filter.rowCount();
            const double gib = double(log->length()) / double(1024 * MiB);
            best = std::max(best, gib / seconds);
            bestProcessor = std::max(bestProcessor, gib / processor);
        }
        allMet &= bestProcessor >= Bar;
        std::printf("%-30s %10lld %8.2f %10.2f  %s\n", c.name, (long long)rows, best, bestProcessor,
                    bestProcessor >= Bar ? "met" : "NOT MET");
    }
    return allMet ? 0 : 1;
}
